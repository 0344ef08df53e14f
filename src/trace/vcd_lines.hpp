// Splitting streamed text into lines at line feeds, in large blocks; a line
// may span any number of blocks.
#pragma once

#include <cstring>
#include <string_view>
#include <vector>

namespace trelm {

// Calls f(line) for every line ended by a line feed in text[from..], the
// line feed excluded. Returns the offset where the unfinished rest begins.
template <class F>
size_t for_each_complete_line(std::string_view text, size_t from, F&& f) {
  const char* data = text.data();
  size_t begin = from;
  while (begin < text.size()) {
    const void* lf = std::memchr(data + begin, '\n', text.size() - begin);
    if (!lf) break;
    size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data);
    f(std::string_view(data + begin, end - begin));
    begin = end + 1;
  }
  return begin;
}

// A read buffer that keeps the unfinished last line of each block in front of
// the next one, doubling when one line outgrows it.
class VcdBlockBuffer {
 public:
  static constexpr size_t kBlockSize = size_t{4} << 20;

  VcdBlockBuffer() : bytes_(kBlockSize) {}

  char* free_space() noexcept { return bytes_.data() + held_; }
  size_t free_size() const noexcept { return bytes_.size() - held_; }

  // `added` bytes were read into free_space(): hands every completed line to f
  // and keeps the rest.
  template <class F>
  void consume_lines(size_t added, F&& f) {
    // Only the new bytes can hold a line feed: the held ones had none.
    size_t search_from = held_;
    held_ += added;
    std::string_view text(bytes_.data(), held_);
    size_t first_end = search_from;
    const void* lf = std::memchr(text.data() + search_from, '\n', held_ - search_from);
    size_t rest = 0;
    if (lf) {
      first_end = static_cast<size_t>(static_cast<const char*>(lf) - text.data());
      f(text.substr(0, first_end));
      rest = for_each_complete_line(text, first_end + 1, f);
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
