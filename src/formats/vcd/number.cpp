#include "formats/vcd/number.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace trelm {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

bool equals_ignoring_case(std::string_view text, std::string_view lower) noexcept {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<double> parse_decimal_real(std::string_view text) noexcept {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (equals_ignoring_case(text, "inf") || equals_ignoring_case(text, "infinity")) {
    double inf = std::numeric_limits<double>::infinity();
    return negative ? -inf : inf;
  }
  if (equals_ignoring_case(text, "nan")) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    return negative ? -nan : nan;
  }

  // Check the grammar here; std::from_chars alone would also take partial
  // input, "nan(...)" and other forms that must not read.
  size_t i = 0;
  const size_t n = text.size();
  size_t integer_digits = 0, leading_zeros = 0, fraction_zeros = 0;
  bool nonzero_seen = false;
  while (i < n && is_digit(text[i])) {
    if (text[i] != '0') nonzero_seen = true;
    if (!nonzero_seen) ++leading_zeros;
    ++integer_digits;
    ++i;
  }
  size_t fraction_digits = 0;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && is_digit(text[i])) {
      if (text[i] != '0') nonzero_seen = true;
      if (!nonzero_seen) ++fraction_zeros;
      ++fraction_digits;
      ++i;
    }
  }
  if (integer_digits + fraction_digits == 0) return std::nullopt;
  int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exponent_negative = text[i] == '-';
      ++i;
    }
    if (i == n || !is_digit(text[i])) return std::nullopt;
    while (i < n && is_digit(text[i])) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (i != n) return std::nullopt;

  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + n, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow: tell the
    // two apart by the decimal magnitude.
    if (!nonzero_seen) {
      value = 0.0;
    } else {
      int64_t significant_integer_digits = static_cast<int64_t>(integer_digits - leading_zeros);
      int64_t magnitude = significant_integer_digits > 0 ? significant_integer_digits + exponent
                                                         : exponent - static_cast<int64_t>(fraction_zeros);
      value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
  } else if (error != std::errc() || end != text.data() + n) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace trelm
