#include "signal/exact_value.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "base/scratch_bytes.hpp"

namespace trelm {

namespace {

// The digits of a Logic view or of its kept text, read by position.
class Digits {
 public:
  Digits(const SignalValue& view, std::string_view kept) noexcept
      : kept_(kept), logic_(view.logic_bits()), size_(kept.empty() ? logic_.size() : kept.size()) {}
  size_t size() const noexcept { return size_; }
  // Position 0 is the most significant digit.
  char at(size_t position) const noexcept {
    if (!kept_.empty()) return kept_[position];
    static constexpr char kChars[4] = {'0', '1', 'x', 'z'};
    uint8_t code = logic_[position];
    return code < 4 ? kChars[code] : 'x';
  }
  // The digit that extends the value on the left.
  char pad() const noexcept {
    if (size_ == 0) return '0';
    char first = at(0);
    return first == '0' || first == '1' ? '0' : first;
  }
  // Position `from_right` counted from the least significant digit, the
  // extension included.
  char from_right(size_t from_right) const noexcept { return from_right < size_ ? at(size_ - 1 - from_right) : pad(); }

 private:
  std::string_view kept_;
  std::span<const uint8_t> logic_;
  size_t size_;
};

bool bits_equal(const SignalValue& a, const SignalValue& b) noexcept {
  auto words = [](const SignalValue& v) {
    return v.kind() == ValueKind::Int ? std::span<const uint64_t>() : v.wide_words();
  };
  auto word = [&](const SignalValue& v, size_t k) -> uint64_t {
    if (v.kind() == ValueKind::Int) return k == 0 ? v.int_value() : 0;
    auto w = words(v);
    return k < w.size() ? w[k] : 0;
  };
  size_t count = std::max({size_t{1}, words(a).size(), words(b).size()});
  for (size_t k = 0; k < count; ++k)
    if (word(a, k) != word(b, k)) return false;
  return true;
}

// Logic byte of a digit, and whether the byte gives it back.
struct DigitCode {
  uint8_t code;
  bool recoverable;
};
constexpr DigitCode digit_code(char c) noexcept {
  switch (c) {
    case '0': return {kLogic0, true};
    case '1': return {kLogic1, true};
    case 'x': return {kLogicX, true};
    case 'z': return {kLogicZ, true};
    case 'Z': return {kLogicZ, false};
    case 'l':
    case 'L': return {kLogic0, false};
    case 'h':
    case 'H': return {kLogic1, false};
    default: return {kLogicX, false};
  }
}

}  // namespace

DigitsView view_of_digit(char digit) noexcept {
  if (digit == '0' || digit == '1') return {SignalValue::from_int(digit == '1' ? 1 : 0), false};
  DigitCode code = digit_code(digit);
  return {SignalValue::logic(std::span<const uint8_t>(&code.code, 1)), !code.recoverable};
}

DigitsView view_of_digits(std::string_view digits) {
  if (digits.empty()) return {};
  size_t i = 0;
  while (i < digits.size() && (digits[i] == '0' || digits[i] == '1')) ++i;
  if (i == digits.size()) {
    if (digits.size() <= 64) {
      uint64_t bits = 0;
      for (char c : digits) bits = bits << 1 | static_cast<uint64_t>(c - '0');
      return {SignalValue::from_int(bits), false};
    }
    std::vector<uint64_t> words((digits.size() + 63) / 64, 0);
    for (size_t k = 0; k < digits.size(); ++k) {
      size_t bit = digits.size() - 1 - k;
      words[bit / 64] |= static_cast<uint64_t>(digits[k] - '0') << (bit % 64);
    }
    return {SignalValue::wide(words), false};
  }
  ScratchBytes<64> room(digits.size());
  uint8_t* codes = room.data();
  bool keep = false;
  for (size_t k = 0; k < digits.size(); ++k) {
    DigitCode code = digit_code(digits[k]);
    codes[k] = code.code;
    keep |= !code.recoverable;
  }
  return {SignalValue::logic(std::span<const uint8_t>(codes, digits.size())), keep};
}

std::string exact_digits(const SignalValue& view, std::string_view kept, uint64_t width) {
  Digits digits(view, kept);
  const uint64_t length = std::max<uint64_t>(width, digits.size());
  if (length > kMaxDigitText) throw std::bad_alloc();
  std::string text(static_cast<size_t>(length - digits.size()), digits.pad());
  text.reserve(static_cast<size_t>(length));
  for (size_t i = 0; i < digits.size(); ++i) text.push_back(digits.at(i));
  return text;
}

bool exact_equal(const SignalValue& a, std::string_view kept_a, const SignalValue& b, std::string_view kept_b,
                 uint64_t width) noexcept {
  const ExactKind kind = exact_kind(a);
  if (kind != exact_kind(b)) return false;
  switch (kind) {
    case ExactKind::None: return true;
    case ExactKind::Bits: return bits_equal(a, b);
    case ExactKind::Real:
    case ExactKind::Text: return a.same_representation(b);
    case ExactKind::Digits: break;
  }
  if (kept_a.empty() && kept_b.empty() && a == b) return true;
  Digits x(a, kept_a), y(b, kept_b);
  const uint64_t longer = std::max(x.size(), y.size());
  if (std::max<uint64_t>(width, x.size()) != std::max<uint64_t>(width, y.size())) return false;
  for (size_t i = 0; i < longer; ++i)
    if (x.from_right(i) != y.from_right(i)) return false;
  return width <= longer || x.pad() == y.pad();
}

ExactBits exact_bits(const SignalValue& view, std::string_view kept) noexcept {
  switch (view.kind()) {
    case ValueKind::Int: return {view.int_value(), true};
    case ValueKind::Wide: {
      auto words = view.wide_words();
      bool fits = true;
      for (size_t k = 1; k < words.size(); ++k) fits &= words[k] == 0;
      return {words.empty() ? 0 : words[0], fits};
    }
    case ValueKind::Logic: {
      Digits digits(view, kept);
      uint64_t bits = 0;
      for (size_t i = 0; i < digits.size() && i < 64; ++i)
        bits |= static_cast<uint64_t>(digits.from_right(i) == '1') << i;
      return {bits, false};
    }
    default: return {};
  }
}

double exact_double(const SignalValue& view) noexcept {
  switch (view.kind()) {
    case ValueKind::Int: return static_cast<double>(view.int_value());
    case ValueKind::Wide: {
      double value = 0.0;
      auto words = view.wide_words();
      for (size_t k = words.size(); k-- > 0;) value = value * 18446744073709551616.0 + static_cast<double>(words[k]);
      return value;
    }
    case ValueKind::Real: return view.real_value();
    default: return std::numeric_limits<double>::quiet_NaN();
  }
}

}  // namespace trelm
