// The front door's exact values, read from a run's view (its SignalValue) and
// the digits kept beside it (empty when the view holds them all):
//   two-state bits (Int, or Wide of any width): an unsigned number;
//   any other digit (Logic): the digits, most significant first, as written
//     when they were kept, else 0 1 x z from the view; extended on the left
//     to the declared width by the VCD rule (a leading 0 or 1 extends with 0,
//     any other digit with itself);
//   Real: a number; Str: a text; Unknown: no value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "signal/value.hpp"

namespace trelm {

// The view of written digits (most significant first): digits all 0 or 1
// are Int up to 64 of them and Wide (every bit) beyond; any other digit
// makes a Logic value, one byte per digit: 0 and l/L 0, 1 and h/H 1, z/Z Z,
// every other digit X. `keep` when the Logic bytes do not give the digits
// back, that is when one is not among 0 1 x z. No digits read Unknown.
struct DigitsView {
  SignalValue view;
  bool keep = false;
};
DigitsView view_of_digits(std::string_view digits);

// The same for one digit; the value holds no heap memory.
DigitsView view_of_digit(char digit) noexcept;

enum class ExactKind : uint8_t { None, Bits, Digits, Real, Text };

inline ExactKind exact_kind(const SignalValue& view) noexcept {
  switch (view.kind()) {
    case ValueKind::Int:
    case ValueKind::Wide: return ExactKind::Bits;
    case ValueKind::Logic: return ExactKind::Digits;
    case ValueKind::Real: return ExactKind::Real;
    case ValueKind::Str: return ExactKind::Text;
    case ValueKind::Unknown: break;
  }
  return ExactKind::None;
}

// Digit texts longer than this are refused with std::bad_alloc: only an
// absurd declared width asks for one.
inline constexpr uint64_t kMaxDigitText = uint64_t{1} << 26;

// The digits of a Logic view (or its kept digits), extended to `width`.
std::string exact_digits(const SignalValue& view, std::string_view kept, uint64_t width);

// Whether two runs of one signal (declared `width` bits) hold the same exact
// value. Reals compare bit for bit, as runs do.
bool exact_equal(const SignalValue& a, std::string_view kept_a, const SignalValue& b, std::string_view kept_b,
                 uint64_t width) noexcept;

// The value as 64 bits: two-state numbers (their lowest 64 bits), and the 0/1
// digits of other digit values with 0 in place of every other digit; 0 for
// the rest. `known` when the value is a two-state number below 2^64.
struct ExactBits {
  uint64_t bits = 0;
  bool known = false;
};
ExactBits exact_bits(const SignalValue& view, std::string_view kept) noexcept;

// The value as a double: reals, and two-state numbers (rounded); NaN for the
// rest.
double exact_double(const SignalValue& view) noexcept;

}  // namespace trelm
