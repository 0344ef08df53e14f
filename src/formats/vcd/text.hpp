// Text helpers of the VCD reader: trimming and splitting at Unicode
// White_Space (U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000), not C's isspace.
// All functions take text that is already known to be valid UTF-8
// (base/utf8.hpp checks it).
#pragma once

#include <cstddef>
#include <string_view>

namespace trelm {

// Byte length of the white-space character that starts at `pos`, or 0.
size_t white_space_length_at(std::string_view text, size_t pos) noexcept;

// Byte length of the white-space character that ends just before `end`, or 0.
size_t white_space_length_before(std::string_view text, size_t end) noexcept;

std::string_view trim_white_space(std::string_view text) noexcept;

// Iterates the parts of a text separated by runs of white space; empty parts
// are never produced.
class WhiteSpaceSplitter {
 public:
  explicit WhiteSpaceSplitter(std::string_view text) noexcept : text_(text) {}
  // The next part, or false when there is none.
  bool next(std::string_view& part) noexcept;

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace trelm
