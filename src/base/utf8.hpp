// Strict UTF-8, the one decoder of it for every reader and name query: no
// overlong forms, no surrogates, nothing above U+10FFFF, no sequence cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trelm {

inline constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;

struct Utf8Char {
  uint32_t code_point;  // kNotUtf8 where no valid sequence starts
  // The bytes of the character; for kNotUtf8 those of the maximal invalid
  // subsequence (the longest start of a sequence that could still have become
  // valid, or else one byte).
  size_t length;
};

// The character that starts at text[pos], which must lie inside the text.
Utf8Char decode_utf8(std::string_view text, size_t pos) noexcept;

bool is_valid_utf8(std::string_view text) noexcept;

// The text with each maximal invalid subsequence replaced by U+FFFD, as
// decoders that replace rather than refuse do.
std::string utf8_lossy(std::string_view text);

}  // namespace trelm
