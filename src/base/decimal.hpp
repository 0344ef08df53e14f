// Unsigned decimal numbers as dumps and the environment write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelm {

// Unsigned decimal with an optional single leading '+', digits only; nothing
// on any other character or on overflow.
inline std::optional<uint64_t> parse_unsigned_decimal(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (__builtin_mul_overflow(value, uint64_t{10}, &value) ||
        __builtin_add_overflow(value, static_cast<uint64_t>(c - '0'), &value))
      return std::nullopt;
  }
  return value;
}

}  // namespace trelm
