// Stretch evaluation: an expression tree compiled into a flat postfix program
// that is run once per stretch of indices over which none of its inputs
// changes. Each signal leaf reads through its own store cursor, whose segment
// tells how long the value it read stays the same; a RelEval adds the indices
// where its target enters or leaves 0..max_index. The result at the first
// index of a stretch is the result at every index of it, so a scan costs in
// proportion to the value changes of the signals it reads.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "eval/expr.hpp"

namespace trelm {

using Wide128 = unsigned __int128;

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
  // Reads one signal's runs at ascending indices: moving to the next run is
  // a comparison, anything else a binary search.
  struct LeafCursor {
    const SignalColumn* column = nullptr;
    size_t run = SignalColumn::npos;
    Index begin = 1;  // empty until the first read
    Index end = 0;    // kIndexEnd for the Unknown tail
    SignalValue value;

    const SignalValue& at(Index index) {
      if (index >= begin && index < end) return value;
      // Runs are contiguous: the next one starts where this one ends.
      if (run != SignalColumn::npos && index >= end) {
        size_t next = run + 1;
        if (next < column->run_count()) {
          Index next_end = column->run_end(next);
          if (index < next_end) {
            run = next;
            begin = end;
            end = next_end;
            load(next);
            return value;
          }
        }
      }
      seek(index);
      return value;
    }
    void seek(Index index);
    // The value is built in place from the run (no temporary that the next
    // read would have to wait for); Int, Real and Unknown own nothing, so
    // only other kinds need releasing first.
    void load(size_t k) {
      release_value();
      new (&value) SignalValue(column->run_value(k));
    }
    void load_unknown() {
      release_value();
      new (&value) SignalValue();
    }
    void release_value() {
      ValueKind kind = value.kind();
      if (kind != ValueKind::Int && kind != ValueKind::Real && kind != ValueKind::Unknown) value.~SignalValue();
    }
  };

  const StretchProgram& program_;
  std::vector<LeafCursor> cursors_;
  std::vector<const SignalValue*> values_;  // the operands on the run-time stack
  std::vector<SignalValue> results_;        // computed values, one place per stack slot
  std::vector<Index> contexts_;  // the index each open RelEval reads at (always in range)
};

}  // namespace trelm
