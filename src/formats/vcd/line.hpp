// Reading one line of VCD text: trimming, classifying, and decoding a value
// change into a sink. The line-at-a-time reader and the readers of text
// pieces on worker threads share these, so both read every line alike.
//
// Two readings: the literal one, and the front door's exact one (kExact),
// in which every scalar digit of the nine-valued logic (U X 0 1 Z W L H -,
// either case) is a change, vectors keep every digit (see view_of_digits),
// and "s" lines are string values.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/utf8.hpp"
#include "signal/bitpack.hpp"
#include "signal/exact_value.hpp"
#include "signal/store.hpp"
#include "signal/value.hpp"
#include "formats/vcd/codes.hpp"
#include "formats/vcd/number.hpp"
#include "formats/vcd/text.hpp"

namespace trelm::vcd_line {

inline bool starts_with(std::string_view text, std::string_view prefix) noexcept {
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

enum class LineKind : uint8_t { Skip, Scope, Upscope, Var, Time, Value };

// Trims `line` (a line without its line feed; `ascii` when it is known to
// hold no byte above 0x7F) and tells what it is. Invalid UTF-8 lines, empty
// lines and keyword lines other than $scope, $upscope and $var are skipped:
// they change nothing, before or after the first time line, as no value
// change begins with '$'. A carriage return goes with the trimming.
inline LineKind classify(std::string_view& line, bool ascii) noexcept {
  if (ascii) {
    line = trim_ascii(line);
  } else {
    if (!is_valid_utf8(line)) return LineKind::Skip;
    line = trim_line(line);
  }
  if (line.empty()) return LineKind::Skip;
  switch (line.front()) {
    case '$':
      if (starts_with(line, "$scope")) return LineKind::Scope;
      if (starts_with(line, "$upscope")) return LineKind::Upscope;
      if (starts_with(line, "$var")) return LineKind::Var;
      return LineKind::Skip;
    case '#': return LineKind::Time;
    default: return LineKind::Value;
  }
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

// A decoded change: the common kinds as plain bits (Digit: an exact
// scalar's digit), other values as a SignalValue handed over separately
// (Kept: with digits to keep beside it).
enum class ChangeKind : uint8_t { Int, Real, Unknown, LogicZ, Value, Digit, Kept };

inline constexpr uint8_t kZBit[1] = {kLogicZ};

// The SignalValue of a change of one of the plain kinds but Digit.
inline SignalValue plain_value(ChangeKind kind, uint64_t bits) noexcept {
  switch (kind) {
    case ChangeKind::Int: return SignalValue::from_int(bits);
    case ChangeKind::Real: return SignalValue::from_real(std::bit_cast<double>(bits));
    case ChangeKind::LogicZ: return SignalValue::logic(kZBit);
    default: return SignalValue::unknown();
  }
}

// Appends a change of one of the plain kinds to a column (see
// SignalColumn::carry_and_set).
inline void append_plain(SignalColumn& column, Index index, ChangeKind kind, uint64_t bits) {
  if (kind == ChangeKind::Int) return column.carry_and_set_int(index, bits);
  if (kind != ChangeKind::Digit) return column.carry_and_set(index, plain_value(kind, bits));
  const char digit = static_cast<char>(bits);
  DigitsView view = view_of_digit(digit);
  column.carry_and_set(index, std::move(view.view), view.keep ? std::string_view(&digit, 1) : std::string_view());
}

// The exact scalar digits: the nine values of VHDL's logic in either case.
inline bool is_exact_scalar_digit(char c) noexcept {
  switch (c) {
    case 'u': case 'U': case 'x': case 'X': case 'z': case 'Z': case 'w': case 'W':
    case 'l': case 'L': case 'h': case 'H': case '-': return true;
    default: return false;
  }
}

// Decodes a value-change line (trimmed, of LineKind::Value) whose code is
// known, calling sink.change(id, kind, bits), sink.change_value(id, value)
// or (exact only) sink.change_kept(id, value, digits). Lines of no known
// kind or code change nothing.
template <bool kExact = false, class Sink>
inline void read_value_line(std::string_view line, const VcdCodeMap& codes, Sink& sink) {
  switch (line.front()) {
    case '0':
    case '1':
      if (auto id = codes.find(line.substr(1))) sink.change(*id, ChangeKind::Int, line.front() == '1' ? 1 : 0);
      return;
    case 'x':
    case 'X':
      if constexpr (!kExact)
        if (auto id = codes.find(line.substr(1))) sink.change(*id, ChangeKind::Unknown, 0);
      if constexpr (kExact) break;
      return;
    case 'z':
    case 'Z':
      if constexpr (!kExact)
        if (auto id = codes.find(line.substr(1))) sink.change(*id, ChangeKind::LogicZ, 0);
      if constexpr (kExact) break;
      return;
    case 'b':
    case 'B':
    case 'r':
    case 'R': break;
    case 's':
    case 'S':
      if constexpr (kExact) {
        // A string value runs to the last space, which the code follows.
        size_t space = line.rfind(' ');
        if (space == std::string_view::npos) return;
        if (auto id = codes.find(code_after_space(line, space)))
          sink.change_value(*id, SignalValue::str(line.substr(1, space - 1)));
      }
      return;
    default:
      if constexpr (kExact) break;
      return;
  }
  if constexpr (kExact) {
    if (is_exact_scalar_digit(line.front())) {
      if (auto id = codes.find(line.substr(1))) sink.change(*id, ChangeKind::Digit, static_cast<uint8_t>(line.front()));
      return;
    }
    if (line.front() != 'b' && line.front() != 'B' && line.front() != 'r' && line.front() != 'R') return;
  }
  // Vector and real changes: the value, one space (U+0020 only), the code.
  const bool vector = line.front() == 'b' || line.front() == 'B';
  if constexpr (kExact) {
    if (vector) {
      size_t space = line.find(' ');
      if (space == std::string_view::npos) return;
      auto id = codes.find(code_after_space(line, space));
      if (!id) return;
      std::string_view digits = line.substr(1, space - 1);
      DigitsView view = view_of_digits(digits);
      if (view.view.is_int()) sink.change(*id, ChangeKind::Int, view.view.int_value());
      else if (view.keep) sink.change_kept(*id, std::move(view.view), digits);
      else sink.change_value(*id, std::move(view.view));
      return;
    }
  }
  if (vector) {
    uint64_t bits;
    size_t digits_end = scan_two_state_digits(line.substr(1), bits);
    if (digits_end != std::string_view::npos && digits_end > 0) {
      if (auto id = codes.find(code_after_space(line, digits_end + 1))) sink.change(*id, ChangeKind::Int, bits);
      return;
    }
  }
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  auto id = codes.find(code_after_space(line, space));
  if (!id) return;
  std::string_view value_text = line.substr(0, space);
  if (vector) {
    sink.change_value(*id, parse_binary_str(value_text));
  } else {
    double real = parse_decimal_real(value_text.substr(1)).value_or(0.0);
    sink.change(*id, ChangeKind::Real, std::bit_cast<uint64_t>(real));
  }
}

// The two commonest lines of simulator output, read in one pass: a scalar
// change ("1!") or a two-state vector change ("b0110 !"), each with a code of
// printable ASCII characters ('!' to '~') that ends at a line feed, nothing
// else on the line. Reads the line at `p` (never at or past `end`) and
// returns its length with the line feed, the change handed to the sink when
// the code is known; returns 0 for any other line, which then needs the
// general reading (classify, read_value_line) and gets the same result from
// it. Such a line is ASCII, so it is valid UTF-8 and needs no trimming.
// Exact: x and z scalars are digits, and vectors of more than 64 digits
// need the general reading.
template <bool kExact = false, class Sink>
inline size_t read_plain_change(const char* p, const char* end, const VcdCodeMap& codes, Sink& sink) {
  const char* q = p + 1;
  ChangeKind kind = ChangeKind::Int;
  uint64_t bits = 0;
  switch (*p) {
    case '0': break;
    case '1': bits = 1; break;
    case 'x':
    case 'X':
    case 'z':
    case 'Z':
      if constexpr (kExact) {
        kind = ChangeKind::Digit;
        bits = static_cast<uint8_t>(*p);
      } else {
        kind = *p == 'x' || *p == 'X' ? ChangeKind::Unknown : ChangeKind::LogicZ;
      }
      break;
    case 'b':
    case 'B': {
      if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time: the leading digits (bytes '0' or '1') are
        // gathered first byte highest by one multiplication.
        while (end - q >= 8) {
          uint64_t word;
          std::memcpy(&word, q, 8);
          const uint64_t other = (word & 0xFEFEFEFEFEFEFEFEull) ^ 0x3030303030303030ull;  // 0 bytes: digits
          const uint64_t gathered = ((word & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56;
          if (other == 0) {
            bits = (bits << 8) | gathered;
            q += 8;
            continue;
          }
          const uint64_t flagged = (((other & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | other) &
                                   0x8080808080808080ull;
          const unsigned digits = static_cast<unsigned>(std::countr_zero(flagged)) / 8;
          if (digits > 0) {
            const uint64_t leading = ((word & ((uint64_t{1} << (8 * digits)) - 1) & 0x0101010101010101ull) *
                                      0x8040201008040201ull) >> 56;
            bits = (bits << digits) | (leading >> (8 - digits));
            q += digits;
          }
          break;
        }
      }
      for (;; ++q) {
        if (q == end) return 0;
        if (*q == '0' || *q == '1') bits = (bits << 1) | static_cast<uint64_t>(*q - '0');
        else if (*q == ' ') break;
        else return 0;
      }
      if (q == p + 1) return 0;
      if (kExact && q - (p + 1) > 64) return 0;
      ++q;
      break;
    }
    default: return 0;
  }
  const char* code = q;
  while (q < end && static_cast<unsigned char>(*q - '!') <= static_cast<unsigned char>('~' - '!')) ++q;
  if (q == end || *q != '\n' || q == code) return 0;
  if (auto id = codes.find(std::string_view(code, static_cast<size_t>(q - code)))) sink.change(*id, kind, bits);
  return static_cast<size_t>(q + 1 - p);
}

}  // namespace trelm::vcd_line
