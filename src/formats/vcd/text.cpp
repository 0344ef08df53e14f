#include "formats/vcd/text.hpp"

namespace trelm {

namespace {

inline unsigned char byte_at(std::string_view text, size_t pos) noexcept {
  return static_cast<unsigned char>(text[pos]);
}

inline bool is_ascii_white_space(unsigned char c) noexcept { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Three-byte white space: U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000.
inline bool is_three_byte_white_space(unsigned char a, unsigned char b, unsigned char c) noexcept {
  if (a == 0xE1) return b == 0x9A && c == 0x80;
  if (a == 0xE2) {
    if (b == 0x80) return c <= 0x8A ? c >= 0x80 : (c == 0xA8 || c == 0xA9 || c == 0xAF);
    return b == 0x81 && c == 0x9F;
  }
  return a == 0xE3 && b == 0x80 && c == 0x80;
}

inline bool is_two_byte_white_space(unsigned char a, unsigned char b) noexcept {
  return a == 0xC2 && (b == 0x85 || b == 0xA0);
}

}  // namespace

size_t white_space_length_at(std::string_view text, size_t pos) noexcept {
  const size_t left = text.size() - pos;
  if (left == 0) return 0;
  unsigned char a = byte_at(text, pos);
  if (a < 0x80) return is_ascii_white_space(a) ? 1 : 0;
  if (left >= 2 && is_two_byte_white_space(a, byte_at(text, pos + 1))) return 2;
  if (left >= 3 && is_three_byte_white_space(a, byte_at(text, pos + 1), byte_at(text, pos + 2))) return 3;
  return 0;
}

size_t white_space_length_before(std::string_view text, size_t end) noexcept {
  if (end == 0) return 0;
  unsigned char last = byte_at(text, end - 1);
  if (last < 0x80) return is_ascii_white_space(last) ? 1 : 0;
  // In valid UTF-8 a lead byte always starts a character, so matching the
  // whole sequence ending here is enough.
  if (end >= 2 && is_two_byte_white_space(byte_at(text, end - 2), last)) return 2;
  if (end >= 3 && is_three_byte_white_space(byte_at(text, end - 3), byte_at(text, end - 2), last)) return 3;
  return 0;
}

std::string_view trim_white_space(std::string_view text) noexcept {
  size_t begin = 0;
  while (size_t k = white_space_length_at(text, begin)) begin += k;
  size_t end = text.size();
  while (end > begin) {
    size_t k = white_space_length_before(text, end);
    if (k == 0) break;
    end -= k;
  }
  return text.substr(begin, end - begin);
}

bool WhiteSpaceSplitter::next(std::string_view& part) noexcept {
  while (size_t k = white_space_length_at(text_, pos_)) pos_ += k;
  if (pos_ >= text_.size()) return false;
  size_t begin = pos_;
  while (pos_ < text_.size() && white_space_length_at(text_, pos_) == 0) {
    // Step over a whole character so that a split never lands inside one.
    unsigned char c = byte_at(text_, pos_);
    pos_ += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  }
  if (pos_ > text_.size()) pos_ = text_.size();
  part = text_.substr(begin, pos_ - begin);
  return true;
}

}  // namespace trelm
