// Stretch evaluation: an expression tree compiled into a flat postfix program
// that is run once per stretch of indices over which none of its inputs
// changes. Each signal leaf reads through its own run cursor, whose segment
// tells how long the value it read stays the same; a RelEval adds the indices
// where its target enters or leaves 0..max_index. The result at the first
// index of a stretch is the result at every index of it, so a scan costs in
// proportion to the value changes of the signals it reads.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/expr.hpp"
#include "signal/run_cursor.hpp"

namespace trelm {

class StretchProgram {
 public:
  enum class Op : uint8_t { Signal, ShiftedSignal, Const, True, Unary, Binary, RelBegin, RelEnd, Done };

  struct Instr {
    Op op;
    ExprKind kind;          // Unary, Binary
    uint32_t leaf = 0;      // Signal: which cursor
    uint32_t skip_to = 0;   // RelBegin: the instruction after the matching RelEnd
    int64_t offset = 0;     // RelBegin, ShiftedSignal (a RelEval of a Signal in one step)
    uint64_t high = 0;      // Unary Slice
    uint64_t low = 0;
    SignalId id = 0;                      // Signal
    const SignalValue* constant = nullptr;  // Const: points into the tree
  };

  // Compiles without recursion; the program borrows the tree's constants, so
  // the Expr must outlive it.
  StretchProgram(const Expr& expr, Index max_index);

  const std::vector<Instr>& code() const noexcept { return code_; }
  size_t leaf_count() const noexcept { return leaf_ids_.size(); }
  SignalId leaf_id(size_t k) const noexcept { return leaf_ids_[k]; }
  size_t max_values() const noexcept { return max_values_; }
  size_t max_contexts() const noexcept { return max_contexts_; }
  Index max_index() const noexcept { return max_index_; }

 private:
  std::vector<Instr> code_;
  std::vector<SignalId> leaf_ids_;
  size_t max_values_ = 0;
  size_t max_contexts_ = 1;
  Index max_index_;
};

// The per-thread state that runs a program over ascending indices.
class StretchEvaluator {
 public:
  StretchEvaluator(const StretchProgram& program, const SignalStore& store);

  // Evaluates at `index` and returns whether the result is true; `end`
  // receives the first index after `index` at which the result may differ.
  bool run(Index index, Wide128& end);

  // Calls on_true(first, last_exclusive) for each stretch of true indices in
  // [begin, end), in ascending order.
  template <class OnTrue>
  void scan(Wide128 begin, Wide128 end, OnTrue&& on_true) {
    Wide128 i = begin;
    while (i < end) {
      Wide128 stretch_end;
      bool truth = run(static_cast<Index>(i), stretch_end);
      if (stretch_end > end) stretch_end = end;
      if (truth) on_true(i, stretch_end);
      i = stretch_end;
    }
  }

 private:
  const StretchProgram& program_;
  std::vector<RunCursor> cursors_;  // one per leaf
  std::vector<const SignalValue*> values_;  // the operands on the run-time stack
  std::vector<SignalValue> results_;        // computed values, one place per stack slot
  std::vector<Index> contexts_;  // the index each open RelEval reads at (always in range)
};

}  // namespace trelm
