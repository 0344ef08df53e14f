// Finding the run of a column that covers an index, for point queries such as
// changed_at: first at a remembered run and its successor (queries tend to
// move forward a little at a time), otherwise from an interpolated guess with
// a galloping search, which for the evenly spread changes of a dump touches a
// few cache lines where a plain binary search touches one per level.
#pragma once

#include "signal/store.hpp"

namespace trelm {

// A run number near the one covering `index`, assuming evenly spread changes.
inline size_t guess_run(const SignalColumn& c, Index index) noexcept {
  const size_t count = c.run_count();
  if (count == 0 || c.length() == 0) return 0;
  if (index >= c.length()) return count - 1;
  return static_cast<size_t>(static_cast<unsigned __int128>(index) * count / c.length());
}

// The run covering `index` (npos when the index reads Unknown implicitly).
// `hint` is any run number, typically the previous answer for this column;
// the search continues from `guess` (any run number) when the hint misses.
size_t find_run(const SignalColumn& column, Index index, size_t hint, size_t guess) noexcept;
inline size_t find_run(const SignalColumn& column, Index index, size_t hint) noexcept {
  return find_run(column, index, hint, guess_run(column, index));
}

}  // namespace trelm
