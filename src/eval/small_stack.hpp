// A stack that keeps its first N elements inline and spills to the heap only
// beyond them, so shallow evaluations allocate nothing.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace trelm {

template <class T, size_t N>
class SmallStack {
 public:
  bool empty() const noexcept { return size_ == 0; }
  size_t size() const noexcept { return size_; }

  void push(T value) {
    if (size_ < N) {
      inline_[size_] = std::move(value);
    } else {
      spill_.push_back(std::move(value));
    }
    ++size_;
  }
  T& top() noexcept { return size_ <= N ? inline_[size_ - 1] : spill_.back(); }
  T pop() {
    T value = std::move(top());
    if (size_ > N) spill_.pop_back();
    --size_;
    return value;
  }

 private:
  T inline_[N];
  std::vector<T> spill_;
  size_t size_ = 0;
};

}  // namespace trelm
