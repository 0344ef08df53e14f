// Reading a column's runs as exact values (see exact_value.hpp): at an
// index, over a range, and as the list of its changes.
#pragma once

#include <algorithm>
#include <string_view>
#include <vector>

#include "signal/exact_value.hpp"
#include "signal/store.hpp"

namespace trelm {

// A run's view and the digits kept beside it; Unknown for no run.
struct ExactRun {
  SignalValue view;
  std::string_view kept;
};

inline ExactRun exact_run(const SignalColumn* column, size_t run) {
  if (column == nullptr || run == SignalColumn::npos) return {};
  return {column->run_value(run), column->run_digits(run)};
}

// The run covering `index`, or npos where the index reads Unknown.
inline size_t run_covering(const SignalColumn* column, Index index) noexcept {
  return column ? column->run_at(index) : SignalColumn::npos;
}

// Calls f(begin, end, run) for consecutive stretches that cover [start,
// stop), each read from one run (npos for a stretch without a value).
template <class F>
void for_each_stretch(const SignalColumn* column, Index start, Index stop, F&& f) {
  Index i = start;
  if (i >= stop) return;
  if (column == nullptr || column->run_count() == 0) return f(i, stop, SignalColumn::npos);
  if (i < column->run_start(0)) {
    Index end = std::min(stop, column->run_start(0));
    f(i, end, SignalColumn::npos);
    i = end;
  }
  if (i < stop && i < column->length()) {
    for (size_t k = column->run_at(i); k < column->run_count() && i < stop; ++k) {
      Index end = std::min(stop, column->run_end(k));
      f(i, end, k);
      i = end;
    }
  }
  if (i < stop) f(i, stop, SignalColumn::npos);
}

// One change of a column: the index where its exact value becomes that of
// `run` (npos: no value).
struct ExactChange {
  Index index;
  size_t run;
};

// Every index below `count` whose exact value differs from the index
// before, the first with a value included, for a signal declared `width`
// bits.
inline std::vector<ExactChange> exact_changes(const SignalColumn* column, Index count, uint64_t width) {
  std::vector<ExactChange> out;
  if (column == nullptr) return out;
  out.reserve(column->run_count() + 1);
  SignalValue previous;
  std::string_view previous_kept;
  for (size_t k = 0; k < column->run_count() && column->run_start(k) < count; ++k) {
    SignalValue value = column->run_value(k);
    std::string_view kept = column->run_digits(k);
    if (!exact_equal(previous, previous_kept, value, kept, width)) out.push_back({column->run_start(k), k});
    previous = std::move(value);
    previous_kept = kept;
  }
  if (column->length() < count && !previous.is_unknown()) out.push_back({column->length(), SignalColumn::npos});
  return out;
}

}  // namespace trelm
