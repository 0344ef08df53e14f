// Splitting streamed text into lines at line feeds, in large blocks; a line
// may span any number of blocks.
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

// Calls f(line, ascii) for every line of a text held whole; `ascii` tells that
// the line has no byte above 0x7F. The text is checked in windows of about
// 1 MiB, each ending at a line end.
template <class F>
void for_each_line(std::string_view text, F&& f) {
  constexpr size_t kWindow = size_t{1} << 20;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.size();
    if (text.size() - begin > kWindow) {
      const void* lf = std::memchr(text.data() + begin + kWindow, '\n', text.size() - begin - kWindow);
      if (lf) end = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    std::string_view window = text.substr(begin, end - begin);
    bool ascii = is_ascii(window.data(), window.size());
    size_t rest = for_each_complete_line(window, 0, [&](std::string_view line) { f(line, ascii); });
    if (rest < window.size()) f(window.substr(rest), ascii);
    begin = end;
  }
}

// A read buffer that keeps the unfinished last line of each block in front of
// the next one, doubling when one line outgrows it.
class VcdBlockBuffer {
 public:
  static constexpr size_t kBlockSize = size_t{4} << 20;

  VcdBlockBuffer() : bytes_(kBlockSize) {}

  char* free_space() noexcept { return bytes_.data() + held_; }
  size_t free_size() const noexcept { return bytes_.size() - held_; }

  // `added` bytes were read into free_space(): hands every completed line to
  // f(line, ascii) and keeps the rest.
  template <class F>
  void consume_lines(size_t added, F&& f) {
    // Only the new bytes can hold a line feed: the held ones had none.
    size_t search_from = held_;
    held_ += added;
    std::string_view text(bytes_.data(), held_);
    const bool ascii = is_ascii(text.data(), text.size());
    auto line_ascii = [&](std::string_view line) { f(line, ascii); };
    size_t first_end = search_from;
    const void* lf = std::memchr(text.data() + search_from, '\n', held_ - search_from);
    size_t rest = 0;
    if (lf) {
      first_end = static_cast<size_t>(static_cast<const char*>(lf) - text.data());
      f(text.substr(0, first_end), ascii);
      rest = for_each_complete_line(text, first_end + 1, line_ascii);
    }
    if (rest > 0) std::memmove(bytes_.data(), bytes_.data() + rest, held_ - rest);
    held_ -= rest;
    if (held_ == bytes_.size()) bytes_.resize(bytes_.size() * 2);
    if (held_ < kBlockSize / 2 && bytes_.size() > kBlockSize) {
      // Back to the normal size after an outsized line.
      std::vector<char>(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(held_)).swap(bytes_);
      bytes_.resize(kBlockSize);
    }
  }

  // The unfinished rest, the last line of an input without a final line feed.
  std::string_view held() const noexcept { return {bytes_.data(), held_}; }

 private:
  std::vector<char> bytes_;
  size_t held_ = 0;
};

}  // namespace trelm
