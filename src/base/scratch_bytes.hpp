// ScratchBytes: room for a short-lived run of bytes, on the stack when it is
// short (as nearly every value is), on the heap otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trelm {

template <size_t kInline>
class ScratchBytes {
 public:
  explicit ScratchBytes(size_t size) {
    if (size > kInline) {
      large_.resize(size);
      data_ = large_.data();
    }
  }
  ScratchBytes(const ScratchBytes&) = delete;
  ScratchBytes& operator=(const ScratchBytes&) = delete;

  uint8_t* data() noexcept { return data_; }

 private:
  uint8_t small_[kInline];
  std::vector<uint8_t> large_;
  uint8_t* data_ = small_;
};

}  // namespace trelm
