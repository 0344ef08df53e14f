// Finding the run of a column that covers an index, and reading a column
// at ascending indices. Scans and point queries alike tend to move forward a
// little at a time, so both look first at the run they used last and at its
// successor, and only then search, from an interpolated guess with a
// galloping search.
#pragma once

#include <new>

#include "signal/gallop.hpp"
#include "signal/store.hpp"

namespace trelm {

// A run number near the one covering `index`, assuming evenly spread changes.
inline size_t guess_run(const SignalColumn& c, Index index) noexcept {
  const size_t count = c.run_count();
  if (count == 0) return 0;
  // With the list's end counted as one run more, the guess is the run that
  // `index` would fall in were all runs of one length.
  return std::min(even_guess(index, 0, c.length(), count + 1), count - 1);
}

// The run covering `index`, searched from `guess` (any run number, or npos
// for guess_run's); npos when the index reads Unknown implicitly (before the
// first run, or at or after the length).
size_t search_run(const SignalColumn& column, Index index, size_t guess = SignalColumn::npos) noexcept;

inline bool run_covers(const SignalColumn& c, size_t k, Index index) noexcept {
  return k < c.run_count() && c.run_start(k) <= index && index < c.run_end(k);
}

// The same answer, found first at `hint` (any run number, typically the
// previous answer for this column) or at its successor.
inline size_t find_run(const SignalColumn& c, Index index, size_t hint,
                       size_t guess = SignalColumn::npos) noexcept {
  if (run_covers(c, hint, index)) return hint;
  if (hint != SignalColumn::npos && run_covers(c, hint + 1, index)) return hint + 1;
  return search_run(c, index, guess);
}

// Reads one signal at ascending indices in amortised constant time (any
// order stays correct, at the cost of a search). The value reference stays
// valid until the cursor moves.
class RunCursor {
 public:
  RunCursor(const SignalStore& store, SignalId id) noexcept : column_(store.column(id)) {}
  explicit RunCursor(const SignalColumn* column) noexcept : column_(column) {}

  const SignalValue& at(Index index) {
    if (index >= begin_ && index < end_) return value_;
    // Runs are contiguous: the next one starts where this one ends.
    if (run_ != SignalColumn::npos && index >= end_) {
      const size_t next = run_ + 1;
      if (next < column_->run_count()) {
        const Index next_end = column_->run_end(next);
        if (index < next_end) {
          run_ = next;
          begin_ = end_;
          end_ = next_end;
          load(next);
          return value_;
        }
      }
    }
    seek(index);
    return value_;
  }
  // The segment holding the last index passed to at(): [begin, end) all read
  // the same value. end is kIndexEnd for the Unknown tail.
  Index segment_begin() const noexcept { return begin_; }
  Index segment_end() const noexcept { return end_; }

 private:
  void seek(Index index);
  // Int, Real and Unknown own nothing and copy without failing: such a value
  // replaces another such in place, without a temporary that the next read
  // would have to wait for. Other kinds take the ordinary assignment, out of
  // line so that the scans' inner loops stay small.
  static bool owns_nothing(ValueKind kind) noexcept {
    return kind == ValueKind::Int || kind == ValueKind::Real || kind == ValueKind::Unknown;
  }
  void load(size_t k) {
    if (owns_nothing(value_.kind()) && owns_nothing(column_->run_kind(k)))
      new (&value_) SignalValue(column_->run_value(k));
    else
      assign(k);
  }
  void assign(size_t k);

  const SignalColumn* column_;
  size_t run_ = SignalColumn::npos;
  Index begin_ = 1;  // empty segment: the first at() seeks
  Index end_ = 0;
  SignalValue value_;
};

}  // namespace trelm
