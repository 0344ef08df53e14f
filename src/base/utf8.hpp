// Strict UTF-8, the one check of every reader: no overlong forms, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
#pragma once

#include <string>
#include <string_view>

namespace trelm {

bool is_valid_utf8(std::string_view text) noexcept;

// The text with each maximal invalid subsequence (the longest start of a
// sequence that could still have become valid, or else one byte) replaced by
// U+FFFD, as decoders that replace rather than refuse do.
std::string utf8_lossy(std::string_view text);

}  // namespace trelm
