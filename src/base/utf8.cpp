#include "base/utf8.hpp"

#include <cstring>

namespace trelm {

Utf8Char decode_utf8(std::string_view text, size_t pos) noexcept {
  auto at = [&](size_t k) -> uint32_t { return static_cast<unsigned char>(text[k]); };
  const uint32_t lead = at(pos);
  if (lead < 0x80) return {lead, 1};
  size_t extra;
  uint32_t code_point;
  uint32_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;        // no overlong forms
    else if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {kNotUtf8, 1};
  }
  for (size_t k = 1; k <= extra; ++k) {
    if (pos + k >= text.size()) return {kNotUtf8, k};
    const uint32_t byte = at(pos + k);
    if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return {kNotUtf8, k};
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  return {code_point, extra + 1};
}

bool is_valid_utf8(std::string_view text) noexcept {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Eight ASCII bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const Utf8Char c = decode_utf8(text, i);
    if (c.code_point == kNotUtf8) return false;
    i += c.length;
  }
  return true;
}

std::string utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const Utf8Char c = decode_utf8(text, i);
    if (c.code_point == kNotUtf8) out += "\xEF\xBF\xBD";
    else out.append(text.substr(i, c.length));
    i += c.length;
  }
  return out;
}

}  // namespace trelm
