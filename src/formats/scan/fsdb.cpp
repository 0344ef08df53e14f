// The FSDB scanner. The layout is not documented to us, so the file is not
// parsed: after the magic, the scan looks for zlib streams, sorts them into
// name sections and value blocks by what their first bytes look like, and
// collects identifiers, a width table and values from them.
#include "formats/scan/fsdb.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_reader.hpp"
#include "base/file.hpp"
#include "formats/scan/fsdb_values.hpp"
#include "formats/scan/common.hpp"

namespace trelm {

namespace {

using namespace std::string_view_literals;

constexpr uint32_t kLegacyMagic = 0xFDE099C1;
constexpr uint32_t kModernMagic = 0x1C3ED948;
constexpr size_t kMaxStreams = 20;
// Bounds against hostile files, far above what real name and value data need:
// inflation work of the stream scan and of the section-table blocks (failed
// attempts count too), output of the width table, and value decoding work
// (time stamps merged and store runs moved) after which blocks are skipped.
// Events are bounded per block and per file in fsdb_values.hpp.
constexpr uint64_t kStreamScanInflateBudget = uint64_t{128} << 20;
constexpr uint64_t kSectionInflateBudget = uint64_t{64} << 20;
constexpr size_t kWidthTableCap = size_t{64} << 20;
constexpr uint64_t kValueWorkBudget = uint64_t{1} << 26;

struct Stream {
  size_t position;
  std::vector<uint8_t> bytes;
};

struct Section {
  uint64_t offset;
  uint64_t size;
};

uint64_t le(Bytes b, uint64_t offset, unsigned width) { return load_le(b, offset, width).value_or(0); }

std::string hex8(uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

void add_names(NameList& names, const std::vector<std::string>& found) {
  for (const std::string& name : found) names.add(name);
}

std::unique_ptr<FsdbTrace> finish(NameList names, std::vector<uint64_t> timestamps, SignalStore store,
                                  const std::vector<uint64_t>& widths = {}) {
  std::vector<std::string> scopes = derive_scopes(names.names());
  return std::make_unique<FsdbTrace>(
      std::move(names).into_record(std::move(scopes), std::move(timestamps), std::move(store), widths));
}

std::unique_ptr<FsdbTrace> parse_legacy(Bytes b) {
  NameList names;
  if (b.size() > 272) add_names(names, extract_fsdb_identifiers(b.subspan(272)));
  return finish(std::move(names), {0}, SignalStore());
}

// Step A: the section table, and the width-table offset that sits beside it.
std::vector<Section> read_section_table(Bytes b, uint64_t& width_table) {
  std::vector<Section> table;
  width_table = 0;
  const uint64_t L = b.size();
  if (L <= 384 || le(b, 40, 4) >= 85) return table;
  uint64_t T = le(b, 264, 4);
  width_table = le(b, 272, 4);
  if (T == 0 || T + 24 >= L) return table;
  uint64_t count = le(b, T + 22, 2);
  for (uint64_t k = 0; k < count; ++k) {
    uint64_t entry = T + 24 + 12 * k;
    if (!range_fits(entry, 12, L)) break;
    uint64_t offset = le(b, entry, 4);
    uint64_t size = le(b, entry + 8, 4);
    if (offset != 0 && offset < L) table.push_back({offset, size});
  }
  return table;
}

// Step B: up to 20 zlib streams, each found by its two header bytes.
std::vector<Stream> scan_streams(Bytes b) {
  std::vector<Stream> streams;
  uint64_t work = 0;
  size_t p = 0;
  while (streams.size() < kMaxStreams && p + 2 <= b.size()) {
    const void* hit = std::memchr(b.data() + p, 0x78, b.size() - 1 - p);
    if (!hit) break;
    p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - b.data());
    uint8_t level = b[p + 1];
    if ((level == 0x01 || level == 0x5E || level == 0x9C || level == 0xDA) && work < kStreamScanInflateBudget) {
      if (auto out = try_zlib_decompress(b.subspan(p), &work)) {
        size_t advance = std::max<size_t>(out->consumed, 2);
        streams.push_back({p, std::move(out->bytes)});
        p += advance;
        continue;
      }
    }
    ++p;
  }
  return streams;
}

enum class Kind { Dropped, Rich, Marked, Plain, ValueOnly };

// Step D: what a stream not named by the section table holds, by its looks.
Kind classify(Bytes s, bool table_empty) {
  const size_t n = s.size();
  Bytes window = s.first(std::min<size_t>(n, 1024));
  bool has_8c = find_bytes(window, "8C"sv) != kNotFound;
  size_t text_count = 0;
  for_each_terminated_run(window, [&](std::string_view run) {
    if (run.size() >= 3) ++text_count;
  });
  bool log = false;
  for (std::string_view marker : {"simv"sv, ".log"sv, "csrc"sv, "daidir"sv})
    log = log || find_bytes(window, marker) != kNotFound;
  bool values = false;
  if (n >= 11) {
    size_t triples = 0;
    for (size_t i = 0; i + 2 < n; i += 3)
      if (s[i] == 0x01 && s[i + 2] >= 0x40 && s[i + 2] <= 0x7F) ++triples;
    size_t small_words = 0;
    if (n >= 21) {
      size_t limit = std::min<size_t>(n, 200);
      for (size_t off = 8; off + 4 <= limit; off += 4)
        if ((le(s, off, 4) & 0x00FFFFFC) < 100) ++small_words;
    }
    values = triples > 5 || small_words > 3;
  }
  bool short_tail = n >= 3 && n <= 119 && s[n - 3] == 0x21 && s[n - 2] == 0 && s[n - 1] == 0 && !log;
  bool end_mark = (n >= 4 && find_bytes(s, "\xC1\x21\x00\x00"sv, n - 4) != kNotFound) ||
                  (n >= 8 && find_bytes(s.subspan(n - 8, 4), "\xC1\x21\x00\x00"sv) != kNotFound);

  auto outcome_y = [&] { return table_empty ? Kind::ValueOnly : Kind::Dropped; };
  auto outcome_x = [&] { return text_count >= 6 ? Kind::Marked : outcome_y(); };
  auto outcome_z = [&] { return text_count >= 11 ? Kind::Rich : text_count >= 3 ? Kind::Plain : Kind::Dropped; };
  if (log || values) return Kind::Dropped;
  if (short_tail) return has_8c ? outcome_x() : text_count >= 3 ? outcome_z() : Kind::Dropped;
  if (has_8c) return outcome_x();
  if (end_mark && text_count < 3) return outcome_y();
  return outcome_z();
}

bool is_fallback_name(std::string_view text) noexcept {
  if (text.empty()) return false;
  uint8_t first = static_cast<uint8_t>(text[0]);
  if (!is_ascii_letter(first) && first != '_') return false;
  for (char ch : text) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (!(is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '$' || c == '.' || c == ':' || c == '[' ||
          c == ']'))
      return false;
  }
  return true;
}

// Step F: chains of NUL-terminated strings after a 0x02 mark in the last 4 KiB.
void tail_fallback(Bytes b, NameList& names) {
  constexpr size_t kTail = 4096;
  Bytes r = b.last(kTail);
  size_t i = 0;
  while (i + 1 < kTail) {
    if (!(r[i] == 0x02 && is_ascii_letter(r[i + 1]))) {
      ++i;
      continue;
    }
    std::vector<std::string_view> chain;
    size_t s = i + 1;
    size_t resume;
    for (;;) {
      if (s >= kTail || !is_printable(r[s])) {
        resume = s;
        break;
      }
      size_t e = s + 1;
      while (e < kTail && is_printable(r[e])) ++e;
      if (e == kTail) return;  // the run reaches the end: the fallback ends
      if (r[e] != 0x00) {
        resume = e;
        break;
      }
      chain.push_back(as_text(r.subspan(s, e - s)));
      s = e + 1;
    }
    if (!(i > 0 && r[i - 1] == 0x04))
      for (std::string_view candidate : chain)
        if (is_fallback_name(candidate)) names.add(std::string(candidate));
    i = resume;
  }
}

// Step G: signal widths by record type, in name order.
std::vector<uint64_t> read_widths(Bytes b, uint64_t H, size_t name_count) {
  std::vector<uint64_t> widths;
  const uint64_t L = b.size();
  if (H == 0 || H + 4 >= L || name_count == 0) return widths;
  uint64_t n = le(b, H, 4);
  if (H + 4 + n > L) return widths;
  auto table = inflate_whole_stream(b.subspan(H + 4, n), kWidthTableCap);
  if (!table || table->empty()) return widths;
  const std::vector<uint8_t>& d = *table;
  widths.assign(name_count, 1);
  size_t q = 0;
  size_t k = 0;
  while (q < d.size() && k < name_count) {
    uint8_t c = d[q];
    if (c == 0x01) {
      if (q + 2 >= d.size()) break;
      uint8_t type = d[q + 2];
      uint64_t width = 1;
      size_t length = 3;
      switch (type) {
        case 'C':
        case 'D':
          width = 8;
          length = q + 4 < d.size() ? 5 : 3;
          break;
        case 'j': width = 2; break;
        case 'x': width = 16; break;
        case '}': width = 32; break;
        default: break;
      }
      widths[k++] = width;
      q += length;
    } else if (c == 0x02) {
      q += 4;
    } else if (c == 0x21) {
      break;
    } else {
      ++q;
    }
  }
  return widths;
}

std::unique_ptr<FsdbTrace> parse_modern(Bytes b) {
  const uint64_t L = b.size();
  uint64_t width_table = 0;
  std::vector<Section> table = read_section_table(b, width_table);
  std::vector<Stream> streams = scan_streams(b);

  std::vector<uint64_t> table_offsets;
  for (const Section& s : table) table_offsets.push_back(s.offset);
  std::sort(table_offsets.begin(), table_offsets.end());
  std::vector<const Stream*> rich, marked, plain, stream_blocks;
  for (const Stream& stream : streams) {
    if (std::binary_search(table_offsets.begin(), table_offsets.end(), stream.position)) continue;
    switch (classify(stream.bytes, table.empty())) {
      case Kind::Rich: rich.push_back(&stream); break;
      case Kind::Plain: plain.push_back(&stream); break;
      case Kind::Marked:
        marked.push_back(&stream);
        stream_blocks.push_back(&stream);
        break;
      case Kind::ValueOnly: stream_blocks.push_back(&stream); break;
      case Kind::Dropped: break;
    }
  }

  NameList names;
  for (const auto* list : {&rich, &marked, &plain})
    for (const Stream* s : *list) add_names(names, extract_fsdb_identifiers(s->bytes));
  if (L > 4096 && names.size() == 0) tail_fallback(b, names);
  std::vector<uint64_t> widths = read_widths(b, width_table, names.size());

  // Value blocks: the section-table blocks in table order (inflated one at a
  // time), then the stream copies in scan order.
  FsdbValues values;
  bool any_decoded = false;
  // Once a block has given every signal its start value and the file's events
  // are spent, later blocks can change nothing.
  auto within_budget = [&] {
    return values.work + values.store.work() <= kValueWorkBudget && !(any_decoded && values.events_left == 0);
  };
  auto decode = [&](Bytes block) {
    if (block.size() >= 8) any_decoded = decode_fsdb_value_block(block, names.size(), values) || any_decoded;
  };
  uint64_t inflate_work = 0;
  for (const Section& s : table) {
    if (!within_budget() || inflate_work >= kSectionInflateBudget) break;
    uint64_t end = std::min(s.offset + s.size, L);
    auto out = try_zlib_decompress(b.subspan(s.offset, end - s.offset), &inflate_work);
    if (!out) {
      end = std::min(s.offset + s.size + 2, L);
      out = try_zlib_decompress(b.subspan(s.offset, end - s.offset), &inflate_work);
    }
    if (out) decode(out->bytes);
  }
  for (const Stream* s : stream_blocks) {
    if (!within_budget()) break;
    decode(s->bytes);
  }
  values.store.fill_through(values.timestamps.size());
  SignalStore store = std::move(values.store).finish();
  return finish(std::move(names), std::move(values.timestamps), std::move(store), widths);
}

}  // namespace

Result<std::unique_ptr<FsdbTrace>> FsdbTrace::from_bytes(std::span<const uint8_t> bytes) {
  if (bytes.size() < 12) return fail(std::string("FSDB file too small"));
  uint64_t magic = load_be(bytes, 4, 4).value_or(0);
  if (magic == kLegacyMagic) return parse_legacy(bytes);
  if (magic == kModernMagic) return parse_modern(bytes);
  return fail("Not an FSDB file (magic=0x" + hex8(magic) + ")");
}

Result<std::unique_ptr<FsdbTrace>> FsdbTrace::from_file(const std::string& path) {
  auto bytes = read_whole_file(path);
  if (!bytes.ok()) return fail("Failed to read " + path + ": " + bytes.error());
  return from_bytes(bytes.value());
}

}  // namespace trelm
