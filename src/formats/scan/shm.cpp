// The SHM scanner: names and scopes from the records of a .dsn design file,
// Int values from the value records of .trn transition files. Records are
// recognised by tags and header marks; what is not recognised is skipped.
#include "formats/scan/shm.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/byte_reader.hpp"
#include "base/file.hpp"
#include "base/utf8.hpp"
#include "formats/scan/common.hpp"
#include "signal/staged_store.hpp"

namespace trelm {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kMagic = "\xA1\x95\x11\xBF"sv;
constexpr std::string_view kValueRecordMark = "\x00\x1B\x22\x00"sv;
constexpr size_t kDesignHeader = 128;
constexpr size_t kValueHeader = 64;
// Byte-stream steps and toggle events of one transition file; the rest of a
// hostile header's claims are dropped.
constexpr uint64_t kMaxTransitionWork = uint64_t{1} << 19;

enum class Tag { Other, ScopeDef, ScopeInst, Signal };

// The tag's meaning, or nothing for a word that is not a known tag.
std::optional<Tag> known_tag(uint64_t word) {
  switch (word) {
    case 0x00070501:
    case 0x00270501: return Tag::ScopeDef;
    case 0x00070601: return Tag::ScopeInst;
    case 0x00090700:
    case 0x00290700: return Tag::Signal;
    case 0x00010102:
    case 0x00031102:
    case 0x000F0400:
    case 0x00020C07:
    case 0x00100B02:
    case 0x00100B04:
    case 0x00100B05:
    case 0x00120C0B:
    case 0x00140B07: return Tag::Other;
    default: return std::nullopt;
  }
}

bool is_record_start(Bytes d, size_t at) {
  uint64_t word = load_be(d, at, 4).value_or(0);
  if (known_tag(word)) return true;
  uint8_t second = d[at + 1];
  return d[at] == 0 && (second == 0x02 || second == 0x07 || second == 0x09 || second == 0x0F || second == 0x10 ||
                        second == 0x14 || second == 0x27 || second == 0x29);
}

// Strings starting at a printable byte and running to a zero byte or to the
// end of the range; only valid UTF-8 is kept.
std::vector<std::string_view> extract_strings(Bytes d, uint64_t from, uint64_t to) {
  std::vector<std::string_view> out;
  uint64_t end = std::min<uint64_t>(to, d.size());
  uint64_t p = from;
  while (p < end) {
    if (!is_printable(d[p])) {
      ++p;
      continue;
    }
    const void* zero = std::memchr(d.data() + p, 0, end - p);
    uint64_t stop = zero ? static_cast<uint64_t>(static_cast<const uint8_t*>(zero) - d.data()) : end;
    Bytes s = d.subspan(p, stop - p);
    if (is_valid_utf8(as_text(s))) out.push_back(as_text(s));
    p = stop + 1;
  }
  return out;
}

bool is_ident(std::string_view s) {
  if (s.empty()) return false;
  uint8_t first = static_cast<uint8_t>(s[0]);
  if (!is_ascii_letter(first) && first != '_') return false;
  for (char ch : s) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (!(is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '$' || c == '(' || c == ')' || c == '.' ||
          c == '[' || c == ']'))
      return false;
  }
  return true;
}

// Positions of a buffer that pass a test, with the first such position in a
// range found in constant time (one bit per position, and for every 64-bit
// word the next word holding a mark).
class PositionIndex {
 public:
  template <class Test>
  PositionIndex(size_t size, Test test) : bits_((size + 63) / 64), next_word_(bits_.size() + 1) {
    for (size_t x = 0; x < size; ++x)
      if (test(x)) bits_[x / 64] |= uint64_t{1} << (x % 64);
    next_word_[bits_.size()] = bits_.size();
    for (size_t w = bits_.size(); w-- > 0;) next_word_[w] = bits_[w] ? w : next_word_[w + 1];
  }

  // The first marked position in [from, to), or kNotFound.
  size_t first_in(size_t from, size_t to) const {
    if (from >= to || from / 64 >= bits_.size()) return kNotFound;
    size_t w = from / 64;
    uint64_t word = bits_[w] & (~uint64_t{0} << (from % 64));
    if (!word) {
      w = next_word_[w + 1];
      if (w == bits_.size()) return kNotFound;
      word = bits_[w];
    }
    size_t at = w * 64 + static_cast<size_t>(std::countr_zero(word));
    return at < to ? at : kNotFound;
  }

 private:
  std::vector<uint64_t> bits_;
  std::vector<size_t> next_word_;
};

struct ValueRecord {
  uint64_t t, cnt, a, b, c;
};

class ShmScan {
 public:
  // Names and scopes from the design file; an error text for a bad magic.
  std::optional<std::string> read_design(Bytes d);
  void read_transitions(Bytes d);
  std::unique_ptr<ShmTrace> finish() &&;

 private:
  void decode_record(Bytes d, const ValueRecord& r, size_t records_after, uint64_t unit);
  void event(uint64_t time, SignalId id, uint64_t value) {
    events_.push_back({id, time, value});
    if (time != 0) late_[id] = file_serial_;
  }
  const PositionIndex& index(std::optional<PositionIndex>& slot, Bytes d, auto test) {
    if (!slot) slot.emplace(d.size(), test);
    return *slot;
  }

  NameList names_;
  std::vector<std::string> scopes_;
  std::vector<uint64_t> timestamps_{0};
  StagedStore store_;

  // Working state of the transition file being decoded.
  uint64_t g_ = 0;
  uint64_t work_ = 0;
  std::vector<StagedStore::Write> events_;  // times in the index field
  std::vector<uint32_t> late_;  // file serial of a signal's last event at a time other than 0
  uint32_t file_serial_ = 0;
  std::optional<PositionIndex> bits_not_plain_, bits_not_bit6_, tail_marks_, tail_codes_;
};

std::optional<std::string> ShmScan::read_design(Bytes d) {
  const uint64_t len = d.size();
  if (len < kDesignHeader) return std::nullopt;
  if (find_bytes(d.first(4), kMagic) != 0) {
    char text[40];
    std::snprintf(text, sizeof text, "Bad DSN magic: 0x%08X", static_cast<unsigned>(load_be(d, 0, 4).value_or(0)));
    return std::string(text);
  }
  if (len < 140) return std::nullopt;
  uint64_t p = kDesignHeader;
  while (p + 4 <= len) {
    if (load_le(d, p, 4).value_or(0) == 0) {
      uint64_t old = p;
      p += 4;
      if (old + 16 > len) break;
      continue;
    }
    uint64_t tag = load_be(d, p, 4).value_or(0);
    uint64_t E = load_be(d, p + 4, 4).value_or(0);
    uint64_t K = load_be(d, p + 8, 4).value_or(0);
    uint64_t from = p < K && K <= len ? std::max(K, p + 12) : p + 12;
    uint64_t to = p < E && E <= len ? E : std::min(p + 256, len);
    std::vector<std::string_view> strings = extract_strings(d, from, to);
    switch (known_tag(tag).value_or(Tag::Other)) {
      case Tag::ScopeDef:
      case Tag::ScopeInst:
        for (std::string_view s : strings)
          if (s.size() >= 2) scopes_.emplace_back(s);
        break;
      case Tag::Signal:
        if (K == 0 || K >= p || K >= len) {
          for (std::string_view s : strings)
            if (is_ident(s)) names_.add(std::string(s));
        } else {
          for (std::string_view s : extract_strings(d, K, std::min(K + 64, len))) {
            if (!s.empty() && is_ident(s) && !names_.contains(s)) {
              names_.add(std::string(s));
              break;
            }
          }
        }
        break;
      case Tag::Other: break;
    }
    if (p < E && E <= len) {
      p = E;
    } else {
      uint64_t limit = std::min(p + 1036, len - 12);
      uint64_t next = 0;
      for (uint64_t q = p + 12; q < limit; q += 4) {
        if (is_record_start(d, q)) {
          next = q;
          break;
        }
      }
      if (next == 0) break;
      p = next;
    }
    if (p + 12 > len) break;
  }
  return std::nullopt;
}

void ShmScan::read_transitions(Bytes d) {
  const uint64_t len = d.size();
  const uint64_t N = names_.size();
  if (len < 24 || find_bytes(d.first(4), kMagic) != 0 || N == 0) return;
  uint64_t word = load_be(d, 8, 4).value_or(0);
  uint64_t unit = word == 6 ? 100 : word == 5 ? 10 : 1000;

  std::vector<ValueRecord> records;
  uint64_t end_time = 0;
  for (size_t q = find_bytes(d, kValueRecordMark); q != kNotFound && q + kValueHeader <= len;
       q = find_bytes(d, kValueRecordMark, q)) {
    auto field = [&](uint64_t at) { return load_be(d, q + at, 4).value_or(0); };
    ValueRecord r{field(28), field(40), field(48), field(52), field(56)};
    end_time = std::max(end_time, r.t);
    if (r.cnt != 0 && r.b <= r.c && r.a <= len && r.b < len && r.c <= len) records.push_back(r);
    q += kValueHeader;
  }

  ++file_serial_;
  late_.resize(N);
  events_.clear();
  g_ = 0;
  work_ = 0;
  bits_not_plain_.reset();
  bits_not_bit6_.reset();
  tail_marks_.reset();
  tail_codes_.reset();
  for (size_t i = 0; i < records.size(); ++i) decode_record(d, records[i], records.size() - 1 - i, unit);

  events_.push_back({0, end_time * unit / 1000, 0});  // the end time joins the time stamps
  std::vector<uint64_t> times = place_times(events_);
  events_.pop_back();
  store_.set_many(std::move(events_));
  events_ = {};
  store_.zero_unknown_starts(N);
  store_.fill_through(times.size());
  timestamps_ = std::move(times);
}

void ShmScan::decode_record(Bytes d, const ValueRecord& r, size_t records_after, uint64_t unit) {
  const uint64_t len = d.size();
  const uint64_t N = names_.size();
  const uint64_t g = g_;
  const uint64_t span = r.c - r.b;
  const uint64_t rem = N > g ? N - g : 0;
  const uint64_t k = std::min(span, rem);
  const uint64_t tail = r.a > r.c ? r.a - r.c : 0;
  bool decoded = false;

  if (k > 0 && r.b + k <= len) {
    auto not_plain = [&](size_t x) {
      uint8_t bits = d[x] & 0x18;
      return bits != 0x08 && bits != 0x10;
    };
    auto not_bit6 = [&](size_t x) { return (d[x] & 0xBF) != 0; };
    if (index(bits_not_plain_, d, not_plain).first_in(r.b, r.b + k) == kNotFound) {
      for (uint64_t i = 0; i < k; ++i) event(0, g + i, (d[r.b + i] & 0x18) == 0x10 ? 1 : 0);
      decoded = true;
    } else if (index(bits_not_bit6_, d, not_bit6).first_in(r.b, r.b + k) == kNotFound) {
      for (uint64_t i = 0; i < k; ++i) event(0, g + i, (d[r.b + i] >> 6) & 1);
      decoded = true;
    }
  }

  bool tail_code_found = false;
  if (tail >= 12 && r.a <= len) {
    auto mark = [&](size_t x) { return d[x] == 0x01 && x + 1 < len && (d[x + 1] == 0x8F || d[x + 1] == 0x81); };
    size_t at = index(tail_marks_, d, mark).first_in(r.c + 4, r.a - 2);
    uint64_t m = at == kNotFound ? 4 : at - r.c;
    if (m != 4) {
      auto code_start = [&](size_t x) {
        if (x + 3 >= len) return false;
        uint8_t y = d[x + 1];
        uint8_t third = d[x + 3];
        return y >= 0x11 && y <= 0x14 && (third == 0x7C || third == 0x88 || third == 0xFC || d[x + 2] > 0x3F);
      };
      size_t found = index(tail_codes_, d, code_start).first_in(r.c, r.c + m - 4);
      if (found != kNotFound && g < N) {
        tail_code_found = true;
        Bytes z = d.subspan(r.c, r.a - r.c);
        uint64_t u = found - r.c;
        uint8_t y = z[u + 1];
        std::optional<uint64_t> shift;
        if (span == 1 && r.cnt == 1) {
          auto bit = [&](uint64_t at_byte, unsigned bit_no) { return uint64_t{(z[at_byte] >> bit_no) & 1u}; };
          if (y == 0x13 && m - 2 - u >= 7) {
            uint64_t code = bit(u + 5, 6) << 6 | bit(u + 5, 5) << 5 | bit(u + 7, 2) << 4 | bit(u + 7, 0) << 3 |
                            bit(u + 8, 6) << 2 | bit(u + 8, 4) << 1 | bit(u + 8, 2);
            if (code != 0 && code != 0x7F) shift = (r.t / 2 + code * 108) % 127;
          } else if (y == 0x12 && m - 2 - u >= 5) {
            uint64_t code = bit(u + 2, 7) << 10 | bit(u + 2, 5) << 9 | bit(u + 5, 5) << 8 | bit(u + 5, 2) << 7 |
                            bit(u + 5, 1) << 6 | bit(u + 6, 7) << 5 | bit(u + 6, 6) << 4 | bit(u + 6, 5) << 3 |
                            bit(u + 6, 4) << 2 | bit(u + 6, 2) << 1 | bit(u + 6, 0);
            if (code != 0 && code < 0x7FF) shift = (r.t / 2 + code * 1297) % 2047;
          }
          if (shift && *shift <= r.t) event(*shift * unit / 1000, g, (d[r.b] & 0x18) != 0x10 ? 1 : 0);
        }
      }
    }
  }

  if (span >= 4 && !decoded && !tail_code_found && r.t > 0 && r.cnt != 1 && span >= r.cnt + 2 &&
      span - r.cnt <= 4) {
    uint64_t lanes = std::min<uint64_t>(rem, 8);
    uint8_t state = d[r.b];
    for (uint64_t m = 0; m < lanes; ++m) event(0, g + m, (state >> (7 - m)) & 1);
    uint64_t step = r.t * unit / 1000;
    for (uint64_t j = 0; j < r.cnt && work_ < kMaxTransitionWork; ++j, ++work_) {
      uint8_t next = d[r.b + 1 + j] ^ state;
      for (uint64_t m = 0; m < lanes; ++m) {
        unsigned bit = 7 - static_cast<unsigned>(m);
        if (((next ^ state) >> bit) & 1) event(step * (j + 1) / (r.cnt + 1), g + m, (next >> bit) & 1);
      }
      state = next;
    }
    decoded = true;
  }

  if (decoded && r.t > 0 && g < N && k > 0) {
    bool all_at_zero = true;
    for (uint64_t i = 0; i < k && all_at_zero; ++i) all_at_zero = late_[g + i] != file_serial_;
    if (all_at_zero) {
      uint64_t t0 = r.t * unit / 1000;
      for (uint64_t j = 1; j <= r.cnt && work_ < kMaxTransitionWork; ++j) {
        for (uint64_t i = 0; i < k && work_ < kMaxTransitionWork; ++i, ++work_)
          event(t0 * j / (r.cnt + 1), g + i, (j & 1) ^ ((d[r.b + i] & 0x18) == 0x10 ? 1 : 0));
      }
    }
  }

  if (decoded)
    g_ = g + k;
  else if (span == 0)
    g_ = g + 1;
  else if (records_after == 0)
    g_ = g + std::max<uint64_t>(rem, 1);
  else
    g_ = g + (rem > records_after + 1 ? rem - records_after : 1);
}

std::unique_ptr<ShmTrace> ShmScan::finish() && {
  store_.fill_through(timestamps_.size());
  SignalStore store = std::move(store_).finish();
  return std::make_unique<ShmTrace>(
      std::move(names_).into_record(std::move(scopes_), std::move(timestamps_), std::move(store)));
}

std::string lower_ascii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool ends_with(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct ShmFiles {
  std::optional<std::string> design;
  std::vector<std::string> transitions;
};

std::optional<ShmFiles> locate(const std::string& path) {
  namespace fs = std::filesystem;
  ShmFiles files;
  std::error_code ec;
  if (path.find('\0') == std::string::npos && fs::is_directory(path, ec)) {
    fs::directory_iterator it(path, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      std::string name = lower_ascii(it->path().filename().string());
      if (ends_with(name, ".dsn"))
        files.design = it->path().string();
      else if (ends_with(name, ".trn"))
        files.transitions.push_back(it->path().string());
    }
    if (!files.design && files.transitions.empty()) return std::nullopt;
    std::sort(files.transitions.begin(), files.transitions.end());
    return files;
  }
  fs::path p(path);
  std::string extension = lower_ascii(p.extension().string());
  if (extension == ".dsn") {
    files.design = path;
    fs::path sibling = fs::path(p).replace_extension("trn");
    if (fs::exists(sibling, ec)) files.transitions.push_back(sibling.string());
  } else if (extension == ".trn") {
    files.transitions.push_back(path);
    fs::path sibling = fs::path(p).replace_extension("dsn");
    if (fs::exists(sibling, ec)) files.design = sibling.string();
  } else {
    files.design = path;
  }
  return files;
}

}  // namespace

Result<std::unique_ptr<ShmTrace>> ShmTrace::from_bytes(const std::vector<uint8_t>* design,
                                                       const std::vector<std::vector<uint8_t>>& transitions) {
  ShmScan scan;
  if (design)
    if (auto error = scan.read_design(*design)) return fail(std::move(*error));
  for (const auto& t : transitions) scan.read_transitions(t);
  return std::move(scan).finish();
}

Result<std::unique_ptr<ShmTrace>> ShmTrace::from_file(const std::string& path) {
  std::optional<ShmFiles> files = locate(path);
  if (!files) return fail("No .dsn/.trn in " + path);
  ShmScan scan;
  if (files->design) {
    auto bytes = read_whole_file(*files->design);
    if (!bytes.ok()) return fail("DSN: " + bytes.error());
    if (auto error = scan.read_design(bytes.value())) return fail(std::move(*error));
  }
  for (const std::string& t : files->transitions) {
    auto bytes = read_whole_file(t);
    if (bytes.ok()) scan.read_transitions(bytes.value());
  }
  return std::move(scan).finish();
}

}  // namespace trelm
