#include "signal/run_search.hpp"

namespace trelm {

namespace {

bool covers(const SignalColumn& c, size_t k, Index index) noexcept {
  return k < c.run_count() && c.run_start(k) <= index && index < c.run_end(k);
}

}  // namespace

size_t find_run(const SignalColumn& c, Index index, size_t hint, size_t guess) noexcept {
  const size_t count = c.run_count();
  if (count == 0 || index >= c.length()) return SignalColumn::npos;
  if (covers(c, hint, index)) return hint;
  if (hint != SignalColumn::npos && covers(c, hint + 1, index)) return hint + 1;
  if (guess >= count) guess = count - 1;

  // Gallop from the guess to bracket the answer: lo's start <= index, and
  // hi is past the answer (hi == count or hi's start > index).
  size_t lo, hi;
  if (c.run_start(guess) <= index) {
    lo = guess;
    size_t step = 1;
    hi = guess + 1;
    while (hi < count && c.run_start(hi) <= index) {
      lo = hi;
      step *= 2;
      hi = hi + step < count ? hi + step : count;
    }
  } else {
    hi = guess;
    size_t step = 1;
    lo = guess >= step ? guess - step : 0;
    while (c.run_start(lo) > index) {
      if (lo == 0) return SignalColumn::npos;  // before the first run
      hi = lo;
      step *= 2;
      lo = lo >= step ? lo - step : 0;
    }
  }
  // Binary search for the last run in [lo, hi) starting at or before index.
  while (hi - lo > 1) {
    size_t mid = lo + (hi - lo) / 2;
    if (c.run_start(mid) <= index) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace trelm
