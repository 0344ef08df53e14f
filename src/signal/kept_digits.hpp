// KeptDigits: the digits written for some runs of one column, kept where the
// run's value cannot hold them (see exact_value.hpp): one byte per digit in
// one arena, the end of each entry's digits, and the run number of each
// entry, ascending. A column without such runs has none of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace trelm {

class KeptDigits {
 public:
  bool empty() const noexcept { return runs_.empty(); }
  size_t size() const noexcept { return runs_.size(); }

  // The digits of `run`; empty when it has none.
  std::string_view of(size_t run) const noexcept {
    auto it = std::lower_bound(runs_.begin(), runs_.end(), static_cast<uint64_t>(run));
    if (it == runs_.end() || *it != run) return {};
    size_t k = static_cast<size_t>(it - runs_.begin());
    uint64_t begin = k == 0 ? 0 : ends_[k - 1];
    return {arena_.data() + begin, static_cast<size_t>(ends_[k] - begin)};
  }
  // Digits for a run after every run held (`digits` not empty).
  void push(size_t run, std::string_view digits) {
    arena_.insert(arena_.end(), digits.begin(), digits.end());
    ends_.push_back(arena_.size());
    runs_.push_back(run);
  }
  // Drops the digits of runs from `run` on.
  void drop_from(size_t run) noexcept {
    while (!runs_.empty() && runs_.back() >= run) {
      runs_.pop_back();
      ends_.pop_back();
      arena_.resize(ends_.empty() ? 0 : ends_.back());
    }
  }
  void clear() noexcept {
    arena_.clear();
    ends_.clear();
    runs_.clear();
  }
  void shrink_to_fit() {
    arena_.shrink_to_fit();
    ends_.shrink_to_fit();
    runs_.shrink_to_fit();
  }

 private:
  std::vector<char> arena_;
  std::vector<uint64_t> ends_;
  std::vector<uint64_t> runs_;
};

}  // namespace trelm
