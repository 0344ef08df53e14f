#include "base/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace trelm {

namespace {

// Length of the valid sequence that starts at text[i], or 0 when there is
// none; then `bad` is the length of the maximal invalid subsequence there.
size_t sequence_length(std::string_view text, size_t i, size_t& bad) noexcept {
  auto at = [&](size_t k) -> unsigned { return static_cast<unsigned char>(text[k]); };
  bad = 1;
  const unsigned lead = at(i);
  if (lead < 0x80) return 1;
  size_t extra;
  unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    if (lead == 0xE0) low = 0xA0;        // no overlong forms
    else if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (size_t k = 1; k <= extra; ++k) {
    if (i + k >= text.size()) return 0;
    const unsigned byte = at(i + k);
    if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return 0;
    bad = k + 1;
  }
  return extra + 1;
}

}  // namespace

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
    size_t bad;
    const size_t length = sequence_length(text, i, bad);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string utf8_lossy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t bad;
    const size_t length = sequence_length(text, i, bad);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      i += bad;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace trelm
