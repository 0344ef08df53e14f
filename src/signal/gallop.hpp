// Searching ascending values from a first guess: the guess assumes the values
// are spread evenly, and the search gallops outwards from it. For the evenly
// spread changes of a dump this touches a few cache lines near the answer,
// where a plain binary search touches one per halving of the whole list.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace trelm {

// Where `value` would lie among n (> 0) values spread evenly over [first,
// last], the first at position 0 and the last at n - 1.
inline size_t even_guess(uint64_t value, uint64_t first, uint64_t last, size_t n) noexcept {
  if (value <= first || last <= first) return 0;
  if (value >= last) return n - 1;
  double share = static_cast<double>(value - first) / static_cast<double>(last - first);
  return std::min(static_cast<size_t>(share * static_cast<double>(n - 1)), n - 1);
}

// Position of the first of the n ascending values at(0) .. at(n - 1) that is
// greater than `value`, searched outwards from `guess` (< n) by doubling
// steps and then by halving.
template <class At>
size_t gallop_upper_bound(At&& at, size_t n, uint64_t value, size_t guess) noexcept {
  // The answer lies in (low, high]: at(low) <= value, and high == n or
  // at(high) > value.
  size_t low, high;
  if (at(guess) <= value) {
    low = guess;
    size_t step = 1;
    while (guess + step < n && at(guess + step) <= value) {
      low = guess + step;
      step *= 2;
    }
    high = std::min(guess + step, n);
  } else {
    high = guess;
    size_t step = 1;
    while (step <= guess && at(guess - step) > value) {
      high = guess - step;
      step *= 2;
    }
    if (step > guess) {
      if (at(0) > value) return 0;
      low = 0;
    } else {
      low = guess - step;
    }
  }
  while (high - low > 1) {
    size_t middle = low + (high - low) / 2;
    if (at(middle) <= value)
      low = middle;
    else
      high = middle;
  }
  return high;
}

}  // namespace trelm
