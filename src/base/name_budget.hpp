// The room readers give the text of scope paths and full names. A full name
// repeats its whole scope path, so a small input of deeply nested scopes
// could ask for far more memory than any real design: the text is capped at
// 1024 bytes per input byte plus 64 MiB, far above what real dumps take
// relative to their size, yet bounded by the input.
#pragma once

#include <cstdint>

namespace trelm {

class NameBudget {
 public:
  explicit NameBudget(uint64_t input_size) noexcept
      : limit_(input_size > (UINT64_MAX - kBase) / kPerInputByte ? UINT64_MAX : kPerInputByte * input_size + kBase) {}

  // Takes `bytes` from what is left; false, taking nothing, when they do not fit.
  bool take(uint64_t bytes) noexcept {
    if (bytes > limit_ - used_) return false;
    used_ += bytes;
    return true;
  }
  uint64_t limit() const noexcept { return limit_; }

 private:
  static constexpr uint64_t kPerInputByte = 1024;
  static constexpr uint64_t kBase = uint64_t{64} << 20;
  uint64_t limit_;
  uint64_t used_ = 0;
};

}  // namespace trelm
