// Batch evaluation: the stretch evaluation of a program whose values are all
// 64-bit integers, run over a few hundred stretches at a time. The leaves'
// runs are merged into stretches first, with each leaf's value per stretch in
// an array; then every instruction runs once over the whole batch as a tight
// loop. This removes the per-stretch interpretation cost that dominates
// scans whose inputs change at almost every index (a clock, an edge test).
//
// It applies to programs without a RelEval over a subtree (a RelEval of a
// signal is a shifted leaf) whose constants are all Int; on those, every
// operator maps Int operands to an Int. A stretch where a leaf reads anything
// but an Int (an Unknown tail, a target out of range, a Logic value) is
// handed to the general StretchEvaluator, so results are always the same.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/stretch_eval.hpp"

namespace trelm {

class BatchEvaluator {
 public:
  // Whether the program can run here (small enough and integer only).
  static bool supports(const StretchProgram& program) noexcept;

  BatchEvaluator(const StretchProgram& program, const SignalStore& store);

  // Calls on_true(first, last_exclusive) for each maximal range of true
  // indices in [begin, end), in ascending order (end <= max_index + 1).
  template <class OnTrue>
  void scan(Wide128 begin, Wide128 end, OnTrue&& on_true) {
    int64_t i = static_cast<int64_t>(begin);
    // A range that reaches the end of a batch may go on in the next one.
    Range open{0, 0};
    bool is_open = false;
    while (i < static_cast<int64_t>(end)) {
      i = next_batch(i, static_cast<int64_t>(end));
      for (const Range& r : true_ranges_) {
        if (is_open && open.last == r.first) {
          open.last = r.last;
          continue;
        }
        if (is_open) on_true(static_cast<Wide128>(open.first), static_cast<Wide128>(open.last));
        open = r;
        is_open = true;
      }
    }
    if (is_open) on_true(static_cast<Wide128>(open.first), static_cast<Wide128>(open.last));
  }

  static constexpr size_t kBatch = 256;

 private:
  struct Range {
    int64_t first;
    int64_t last;
  };

  // One leaf: a column read at index + offset. Indices fit in 62 bits and
  // |offset| <= max_index (supports() checks both), so index arithmetic is
  // plain 64-bit. A batch lists, per leaf, the Int runs its targets meet:
  // entry k is run first_run + k and applies from index pos[k] on.
  struct Leaf {
    const SignalColumn* column = nullptr;
    int64_t offset = 0;
    size_t hint = SignalColumn::npos;  // a run at or just before the next target
    size_t first_run = 0;
    size_t count = 0;
    size_t at = 0;        // the entry being merged
    int64_t horizon = 0;  // the entries cover the indices up to here
    int64_t blocked_until = 0;  // with no entries: where the leaf may read an Int again
    int64_t pos[kBatch + 1];
    uint64_t values[kBatch];
  };

  // Evaluates the stretches from `begin` on, at most kBatch of them, and
  // leaves the true ones in true_ranges_; returns where the batch stopped.
  int64_t next_batch(int64_t begin, int64_t end);
  // Lists at most `limit` entries of the leaf from index `begin` on, up to
  // `end`; none when its target at `begin` is not an Int.
  void list_runs(Leaf& leaf, int64_t begin, int64_t end, size_t limit);
  // Runs the program over the batch's first n stretches; returns the result
  // array (or the single value of a constant result through `scalar`).
  const uint64_t* evaluate(size_t n, bool& is_scalar, uint64_t& scalar);

  static constexpr size_t kMinListed = 8;

  const StretchProgram& program_;
  StretchEvaluator general_;
  size_t list_limit_ = kMinListed;  // entries listed per leaf in the next batch
  size_t blocked_leaf_ = 0;         // the leaf that last stopped a batch
  std::vector<Leaf> leaves_;
  std::vector<uint64_t> leaf_values_;  // kBatch per leaf
  std::vector<uint64_t> results_;      // kBatch per stack slot
  int64_t starts_[kBatch + 1];
  std::vector<Range> true_ranges_;
};

}  // namespace trelm
