// Number reading for VCD text, independent of the C locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelm {

// A decimal floating-point number: optional sign, then "inf", "infinity" or
// "nan" in any case, or digits with an optional fraction (at least one digit
// on either side of the point) and an optional exponent (e/E, optional sign,
// digits). Nothing else is accepted: no spaces, no hex floats. Out-of-range
// magnitudes round to infinity or zero, keeping the sign.
std::optional<double> parse_decimal_real(std::string_view text) noexcept;

}  // namespace trelm
