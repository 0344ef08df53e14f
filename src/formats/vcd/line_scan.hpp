// Finding lines in VCD text: line feeds and the ASCII check.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace trelm {

// True when no byte has its high bit set, so the text is valid UTF-8 as it is.
inline bool is_ascii(const char* data, size_t size) noexcept {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    any |= word;
  }
  for (; i < size; ++i) any |= static_cast<unsigned char>(data[i]);
  return (any & 0x8080808080808080ull) == 0;
}

// Offset of the first line feed in data[from, size), or size. VCD lines are
// mostly a dozen bytes long, where a word-at-a-time scan inline beats a call
// to memchr; long lines go to memchr.
inline size_t find_line_feed(const char* data, size_t from, size_t size) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    size_t limit = from + 64 < size ? from + 64 : size;
    size_t i = from;
    for (; i + 8 <= limit; i += 8) {
      uint64_t word;
      std::memcpy(&word, data + i, 8);
      uint64_t x = word ^ (kOnes * '\n');
      // The lowest flagged byte is exactly the first zero byte of x.
      uint64_t zero = (x - kOnes) & ~x & kHighs;
      if (zero) return i + static_cast<size_t>(std::countr_zero(zero)) / 8;
    }
    from = i;
  }
  const void* lf = std::memchr(data + from, '\n', size - from);
  return lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : size;
}

// Calls f(line) for every line ended by a line feed in text[from..], the
// line feed excluded. Returns the offset where the unfinished rest begins.
template <class F>
size_t for_each_complete_line(std::string_view text, size_t from, F&& f) {
  const char* data = text.data();
  size_t begin = from;
  while (begin < text.size()) {
    size_t end = find_line_feed(data, begin, text.size());
    if (end == text.size()) break;
    f(std::string_view(data + begin, end - begin));
    begin = end + 1;
  }
  return begin;
}

}  // namespace trelm
