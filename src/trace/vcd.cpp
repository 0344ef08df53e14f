// The VCD reader: one pass over the text, line by line.
//
// Values are written to the store in ascending index order. A change is held
// per signal until the next time line (a later change of the same signal at
// the same index replaces it), then written with the signal carried forward up
// to the index before; one carry of every signal to the last index finishes
// the store. That equals filling every signal forward at every time line, at a
// cost that follows the number of changes instead of signals x indices.
#include "trace/vcd.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_set>

#include "base/file.hpp"
#include "signal/bitpack.hpp"
#include "trace/vcd_code_map.hpp"
#include "trace/vcd_lines.hpp"
#include "trace/vcd_number.hpp"
#include "trace/vcd_text.hpp"

namespace trelm {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && std::memcmp(text.data(), prefix.data(), prefix.size()) == 0;
}

inline bool is_ascii_white_space(unsigned char c) noexcept { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// trim_white_space with a fast path for the ASCII ends of nearly every line.
inline std::string_view trim_line(std::string_view line) noexcept {
  size_t begin = 0, end = line.size();
  while (begin < end) {
    unsigned char c = static_cast<unsigned char>(line[begin]);
    if (c >= 0x80) return trim_white_space(line.substr(begin));
    if (!is_ascii_white_space(c)) break;
    ++begin;
  }
  while (end > begin) {
    unsigned char c = static_cast<unsigned char>(line[end - 1]);
    if (c >= 0x80) return trim_white_space(line.substr(begin, end - begin));
    if (!is_ascii_white_space(c)) break;
    --end;
  }
  return line.substr(begin, end - begin);
}

inline std::string_view trim_ascii(std::string_view line) noexcept {
  size_t begin = 0, end = line.size();
  while (begin < end && is_ascii_white_space(static_cast<unsigned char>(line[begin]))) ++begin;
  while (end > begin && is_ascii_white_space(static_cast<unsigned char>(line[end - 1]))) --end;
  return line.substr(begin, end - begin);
}

// The common vector change: ASCII digits without X or Z (which parse_binary_str
// reads as an Int, every digit other than 1 a 0 bit) up to the first space.
// Returns the offset of that space in `digits` with the value, or npos when
// the line needs the general reading (X, Z or a non-ASCII character before the
// space, or no space at all).
inline size_t scan_two_state_digits(std::string_view digits, uint64_t& value) noexcept {
  uint64_t v = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight digits at a time while they are all 0 or 1: the low bits of the
    // bytes, gathered first byte highest by one multiplication.
    for (; i + 8 <= digits.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, digits.data() + i, 8);
      if ((word & 0xFEFEFEFEFEFEFEFEull) != 0x3030303030303030ull) break;
      v = (v << 8) | (((word & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56);
    }
  }
  for (; i < digits.size(); ++i) {
    char c = digits[i];
    unsigned d = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
    if (d > 1) {
      if (c == ' ') {
        value = v;
        return i;
      }
      if (c == 'x' || c == 'X' || c == 'z' || c == 'Z' || static_cast<unsigned char>(c) >= 0x80)
        return std::string_view::npos;
      d = 0;
    }
    v = (v << 1) | d;
  }
  return std::string_view::npos;
}

// The code of a vector or real change: the text after the space at `space`,
// trimmed. The line's end is trimmed already, so only the start can hold
// white space.
inline std::string_view code_after_space(std::string_view line, size_t space) noexcept {
  std::string_view code = line.substr(space + 1);
  size_t begin = 0;
  while (begin < code.size()) {
    unsigned char c = static_cast<unsigned char>(code[begin]);
    if (c >= 0x80) return trim_white_space(code.substr(begin));
    if (!is_ascii_white_space(c)) break;
    ++begin;
  }
  return code.substr(begin);
}

// The time of a time line from the text after '#': an unsigned decimal with an
// optional '+' after trimming, 0 when it does not read. Plain digits (all but
// hand-written files) are read inline.
inline uint64_t read_time(std::string_view text) noexcept {
  if (!text.empty() && text.size() <= 19) {
    uint64_t value = 0;  // 19 digits cannot overflow
    size_t i = 0;
    for (; i < text.size(); ++i) {
      unsigned d = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
      if (d > 9) break;
      value = value * 10 + d;
    }
    if (i == text.size()) return value;
  }
  return parse_unsigned_decimal(trim_white_space(text)).value_or(0);
}

constexpr uint8_t kZBit[1] = {kLogicZ};

}  // namespace

class VcdParser {
 public:
  VcdParser() : trace_(new VcdTrace) {}

  // One line without its line feed; `ascii` when it is known to hold no byte
  // above 0x7F. A carriage return before the line feed goes with the
  // trimming, as it is white space.
  void feed_line(std::string_view line, bool ascii) {
    if (ascii) {
      line = trim_ascii(line);
    } else {
      if (!is_valid_utf8(line)) return;
      line = trim_line(line);
    }
    if (line.empty()) return;
    switch (line.front()) {
      case '$':
        if (starts_with(line, "$scope")) on_scope(line);
        else if (starts_with(line, "$upscope")) on_upscope();
        else if (starts_with(line, "$var")) on_var(line);
        // Every other keyword line changes nothing, before or after the first
        // time line: no value change begins with '$'.
        return;
      case '#': on_time(line); return;
      default: break;
    }
    if (started_) on_value_line(line);
  }

  std::unique_ptr<VcdTrace> finish() {
    if (started_) {
      flush_changes();
      trace_->store_.carry_all_forward(current_);
    }
    trace_->store_.shrink_to_fit();
    return std::move(trace_);
  }

 private:
  void on_scope(std::string_view line) {
    WhiteSpaceSplitter parts(line);
    std::string_view keyword, kind, name;
    if (!parts.next(keyword) || !parts.next(kind) || !parts.next(name)) return;
    scope_lengths_.push_back(scope_path_.size());
    if (scope_lengths_.size() > 1) scope_path_ += '.';
    scope_path_.append(name);
    if (known_scopes_.find(std::string_view(scope_path_)) == known_scopes_.end()) {
      known_scopes_.insert(scope_path_);
      trace_->scopes_.push_back(scope_path_);
    }
  }

  void on_upscope() {
    if (scope_lengths_.empty()) return;
    scope_path_.resize(scope_lengths_.back());
    scope_lengths_.pop_back();
  }

  void on_var(std::string_view line) {
    WhiteSpaceSplitter parts(line);
    std::string_view keyword, kind, width_text, code, reference;
    if (!parts.next(keyword) || !parts.next(kind) || !parts.next(width_text) || !parts.next(code) ||
        !parts.next(reference))
      return;
    uint32_t width = 1;
    if (auto w = parse_unsigned_decimal(width_text); w && *w <= std::numeric_limits<uint32_t>::max())
      width = static_cast<uint32_t>(*w);
    reference = reference.substr(0, reference.find('['));

    std::string full_name;
    if (!scope_lengths_.empty()) {
      full_name.reserve(scope_path_.size() + 1 + reference.size());
      full_name.append(scope_path_).append(1, '.');
    }
    full_name.append(reference);

    SignalId id;
    if (auto known = codes_.find(code)) {
      id = *known;
    } else {
      id = id_count_++;
      codes_.insert(code, id);
      last_position_.push_back(0);
    }

    auto& vars = trace_->vars_;
    auto it = vars.find(std::string_view(full_name));
    if (it != vars.end()) {
      it->second = VcdTrace::Variable{width, id};
    } else {
      // A name is listed exactly when it has a record in vars.
      trace_->signal_names_.push_back(full_name);
      vars.emplace(std::move(full_name), VcdTrace::Variable{width, id});
    }
  }

  void on_time(std::string_view line) {
    uint64_t time = read_time(line.substr(1));
    if (started_) flush_changes();
    auto& timestamps = trace_->timestamps_;
    current_ = timestamps.size();
    timestamps.push_back(time);
    started_ = true;
  }

  void on_value_line(std::string_view line) {
    switch (line.front()) {
      case '0':
      case '1':
        if (auto id = codes_.find(line.substr(1))) hold(*id, Held::Int, line.front() == '1' ? 1 : 0);
        return;
      case 'x':
      case 'X':
        if (auto id = codes_.find(line.substr(1))) hold(*id, Held::Unknown, 0);
        return;
      case 'z':
      case 'Z':
        if (auto id = codes_.find(line.substr(1))) hold(*id, Held::LogicZ, 0);
        return;
      case 'b':
      case 'B':
      case 'r':
      case 'R': break;
      default: return;
    }
    // Vector and real changes: the value, one space (U+0020 only), the code.
    if (line.front() == 'b' || line.front() == 'B') {
      uint64_t bits;
      size_t digits_end = scan_two_state_digits(line.substr(1), bits);
      if (digits_end != std::string_view::npos && digits_end > 0) {
        if (auto id = codes_.find(code_after_space(line, digits_end + 1))) hold(*id, Held::Int, bits);
        return;
      }
    }
    size_t space = line.find(' ');
    if (space == std::string_view::npos) return;
    auto id = codes_.find(code_after_space(line, space));
    if (!id) return;
    std::string_view value_text = line.substr(0, space);
    if (line.front() == 'b' || line.front() == 'B') {
      held_values_.push_back(parse_binary_str(value_text));
      hold(*id, Held::Value, held_values_.size() - 1);
    } else {
      double real = parse_decimal_real(value_text.substr(1)).value_or(0.0);
      hold(*id, Held::Real, std::bit_cast<uint64_t>(real));
    }
  }

  // A change held for the current index: the common kinds as plain bits, the
  // rest (Logic vectors) in held_values_, `bits` giving the position.
  enum class Held : uint8_t { Int, Real, Unknown, LogicZ, Value };
  struct HeldChange {
    SignalId id;
    uint64_t bits;
    Held kind;
  };

  void hold(SignalId id, Held kind, uint64_t bits) { held_.push_back(HeldChange{id, bits, kind}); }

  // Writes the changes held for the current index; of several changes of one
  // signal, the last. No state per signal is touched while a line is read:
  // with thousands of signals and few changes per index that would cost a
  // cache miss per change. A few changes are checked against each other;
  // more go through last_position_.
  void flush_changes() {
    const size_t n = held_.size();
    if (n <= kPairwiseLimit) {
      for (size_t i = 0; i < n; ++i) {
        bool overwritten = false;
        for (size_t j = i + 1; j < n; ++j) overwritten |= held_[j].id == held_[i].id;
        if (!overwritten) write(held_[i]);
      }
    } else {
      for (size_t i = 0; i < n; ++i) last_position_[held_[i].id] = i;
      for (size_t i = 0; i < n; ++i)
        if (last_position_[held_[i].id] == i) write(held_[i]);
    }
    held_.clear();
    held_values_.clear();
  }

  static constexpr size_t kPairwiseLimit = 8;

  [[gnu::always_inline]] void write(HeldChange& change) {
    SignalStore& store = trace_->store_;
    const SignalId id = change.id;
    if (current_ > 0) store.carry_forward(id, current_ - 1);
    switch (change.kind) {
      case Held::Int: store.set(id, current_, SignalValue::from_int(change.bits)); break;
      case Held::Real: store.set(id, current_, SignalValue::from_real(std::bit_cast<double>(change.bits))); break;
      case Held::Unknown: store.set(id, current_, SignalValue::unknown()); break;
      case Held::LogicZ: store.set(id, current_, SignalValue::logic(kZBit)); break;
      case Held::Value: store.set(id, current_, std::move(held_values_[change.bits])); break;
    }
  }

  std::unique_ptr<VcdTrace> trace_;
  VcdCodeMap codes_;
  SignalId id_count_ = 0;

  std::string scope_path_;
  std::vector<size_t> scope_lengths_;  // length of scope_path_ before each open scope
  std::unordered_set<std::string, TextHash, std::equal_to<>> known_scopes_;

  bool started_ = false;
  Index current_ = 0;
  std::vector<HeldChange> held_;  // changes at the current index, in order
  std::vector<SignalValue> held_values_;
  std::vector<size_t> last_position_;  // by id: its last change in held_
};

std::unique_ptr<VcdTrace> VcdTrace::parse(std::string_view text) {
  VcdParser parser;
  for_each_line(text, [&](std::string_view line, bool ascii) { parser.feed_line(line, ascii); });
  return parser.finish();
}

Result<std::unique_ptr<VcdTrace>> VcdTrace::from_file(const std::string& path) {
  auto opened = FileStream::open(path);
  if (!opened) return fail("Failed to open " + path + ": " + opened.error());
  FileStream stream = std::move(opened).value();

  VcdParser parser;
  VcdBlockBuffer buffer;
  for (;;) {
    auto got = stream.read(reinterpret_cast<uint8_t*>(buffer.free_space()), buffer.free_size());
    // A read error ends the load; retrying could loop forever (a directory
    // gives EISDIR on every call) and treating it as the end would hand back
    // a silently shortened trace.
    if (!got) return fail("Failed to open " + path + ": " + got.error());
    if (*got == 0) break;
    buffer.consume_lines(*got, [&](std::string_view line, bool ascii) { parser.feed_line(line, ascii); });
  }
  if (auto last = buffer.held(); !last.empty()) parser.feed_line(last, is_ascii(last.data(), last.size()));
  return parser.finish();
}

SignalValue VcdTrace::signal_value(std::string_view name, Index index) const {
  auto it = vars_.find(name);
  return it == vars_.end() ? SignalValue::unknown() : store_.get(it->second.id, index);
}

uint64_t VcdTrace::signal_width(std::string_view name) const noexcept {
  auto it = vars_.find(name);
  return it == vars_.end() ? 0 : it->second.width;
}

std::optional<SignalId> VcdTrace::signal_id(std::string_view name) const noexcept {
  auto it = vars_.find(name);
  if (it == vars_.end()) return std::nullopt;
  return it->second.id;
}

std::vector<SignalValue> VcdTrace::signal_values_range(std::string_view name, Index start, Index end) const {
  auto it = vars_.find(name);
  if (it != vars_.end()) return store_.get_range(it->second.id, start, end);
  std::vector<SignalValue> out;
  if (start >= end) return out;
  // A count no vector can hold is an allocation failure, not a length error.
  if (end - start > out.max_size()) throw std::bad_alloc();
  out.resize(end - start);
  return out;
}

}  // namespace trelm
