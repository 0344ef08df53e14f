#include "eval/batch_eval.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <utility>

#include "eval/value_ops.hpp"

namespace trelm {

namespace {

// Bigger programs keep the general evaluator: the batch's arrays grow with
// leaves and stack depth.
constexpr size_t kMaxLeaves = 32;
constexpr size_t kMaxValues = 32;
// Indices below this keep every sum of an index and an admitted offset
// within 64 signed bits.
constexpr Index kMaxBatchIndex = Index{1} << 62;

// A value on the evaluation stack: one integer per stretch, or one integer
// for all of them (constants, and operators on constants).
struct Operand {
  const uint64_t* values;
  uint64_t scalar;
  bool is_scalar;
};

template <class F>
void apply(F f, Operand& a, const Operand& b, uint64_t* out, size_t n) {
  if (a.is_scalar && b.is_scalar) {
    a.scalar = f(a.scalar, b.scalar);
    return;
  }
  if (a.is_scalar) {
    for (size_t k = 0; k < n; ++k) out[k] = f(a.scalar, b.values[k]);
  } else if (b.is_scalar) {
    for (size_t k = 0; k < n; ++k) out[k] = f(a.values[k], b.scalar);
  } else {
    for (size_t k = 0; k < n; ++k) out[k] = f(a.values[k], b.values[k]);
  }
  a = Operand{out, 0, false};
}

template <class F>
void apply(F f, Operand& a, uint64_t* out, size_t n) {
  if (a.is_scalar) {
    a.scalar = f(a.scalar);
    return;
  }
  for (size_t k = 0; k < n; ++k) out[k] = f(a.values[k]);
  a = Operand{out, 0, false};
}

// One loop per operator, instantiated with the operator fixed, so that the
// operator table folds to the operator alone inside each loop.
using OperatorLoop = void (*)(const StretchProgram::Instr& ins, Operand* operands, uint64_t* out, size_t n);

template <ExprKind Kind>
void operator_loop(const StretchProgram::Instr& ins, Operand* operands, uint64_t* out, size_t n) {
  if constexpr (is_binary_kind(Kind)) {
    apply([](uint64_t x, uint64_t y) { return apply_int(Kind, x, y); }, operands[0], operands[1], out, n);
  } else if constexpr (Kind == ExprKind::Slice) {
    const SliceBits bits = slice_bits(ins.high, ins.low);
    apply([bits](uint64_t v) { return apply_slice(v, bits); }, operands[0], out, n);
  } else {
    const uint64_t high = ins.high, low = ins.low;
    apply([high, low](uint64_t v) { return apply_int_unary(Kind, v, high, low); }, operands[0], out, n);
  }
}

template <ExprKind Kind>
constexpr OperatorLoop loop_for() {
  if constexpr (is_binary_kind(Kind) || is_unary_kind(Kind))
    return &operator_loop<Kind>;
  else
    return nullptr;
}

// The loops by ExprKind (the last kind is AlwaysTrue); none for kinds that
// are not operators.
template <size_t... Kinds>
constexpr std::array<OperatorLoop, sizeof...(Kinds)> operator_loops(std::index_sequence<Kinds...>) {
  return {loop_for<static_cast<ExprKind>(Kinds)>()...};
}
constexpr auto kOperatorLoops =
    operator_loops(std::make_index_sequence<static_cast<size_t>(ExprKind::AlwaysTrue) + 1>());

}  // namespace

bool BatchEvaluator::supports(const StretchProgram& program) noexcept {
  using Op = StretchProgram::Op;
  const Index max_index = program.max_index();
  if (max_index >= kMaxBatchIndex) return false;
  if (program.leaf_count() > kMaxLeaves || program.max_values() > kMaxValues) return false;
  for (const auto& ins : program.code()) {
    switch (ins.op) {
      case Op::RelBegin:
      case Op::RelEnd: return false;
      case Op::ShiftedSignal:
        // A larger shift never reaches 0..max_index: Unknown throughout.
        if (ins.offset > static_cast<int64_t>(max_index) || ins.offset < -static_cast<int64_t>(max_index))
          return false;
        break;
      case Op::Const:
        if (ins.constant->kind() != ValueKind::Int) return false;
        break;
      case Op::Unary:
        if (!is_unary_kind(ins.kind)) return false;
        break;
      default: break;
    }
  }
  return true;
}

BatchEvaluator::BatchEvaluator(const StretchProgram& program, const SignalStore& store)
    : program_(program),
      general_(program, store),
      leaves_(program.leaf_count()),
      leaf_values_(program.leaf_count() * kBatch),
      results_(std::max<size_t>(program.max_values(), 1) * kBatch) {
  using Op = StretchProgram::Op;
  for (const auto& ins : program.code()) {
    if (ins.op == Op::Signal || ins.op == Op::ShiftedSignal) {
      Leaf& leaf = leaves_[ins.leaf];
      leaf.column = store.column(ins.id);
      leaf.offset = ins.op == Op::ShiftedSignal ? ins.offset : 0;
    }
  }
}

void BatchEvaluator::list_runs(Leaf& leaf, int64_t begin, int64_t end, size_t limit) {
  const int64_t max_index = static_cast<int64_t>(program_.max_index());
  const SignalColumn* c = leaf.column;
  leaf.count = 0;
  leaf.at = 0;
  leaf.horizon = begin;
  // Until the leaf lists an Int, the general evaluator takes the indices up
  // to where its value may become one.
  leaf.blocked_until = std::numeric_limits<int64_t>::max();
  const int64_t target = begin + leaf.offset;
  if (!c || target > max_index) return;  // Unknown from here on
  if (target < 0) {
    leaf.blocked_until = -leaf.offset;  // the target reaches 0 there
    return;
  }
  const Index t = static_cast<Index>(target);
  // An ascending scan finds the run at the hint or just after it.
  size_t run = find_run(*c, t, leaf.hint);
  const Index target_limit = static_cast<Index>(max_index) + 1;
  if (run == SignalColumn::npos) {
    // Unknown before the first run (until it starts) or after the list.
    if (c->run_count() && t < c->run_start(0))
      leaf.blocked_until = static_cast<int64_t>(std::min(c->run_start(0), target_limit)) - leaf.offset;
    return;
  }
  leaf.first_run = run;
  leaf.hint = run;
  if (c->run_kind(run) != ValueKind::Int) {
    leaf.blocked_until = static_cast<int64_t>(std::min(c->run_end(run), target_limit)) - leaf.offset;
    return;
  }
  // Targets past max_index are Unknown: the leaf's entries stop there.
  const int64_t stop = std::min(end, max_index + 1 - leaf.offset);
  Index starts[65];
  // The index (not target) where run k of the chunk read last ends.
  auto end_of = [&](size_t k) {
    return static_cast<int64_t>(std::min(starts[k + 1], target_limit)) - leaf.offset;
  };
  while (leaf.count < limit && run < c->run_count()) {
    const size_t chunk = std::min<size_t>({64, limit - leaf.count, c->run_count() - run});
    // Values go straight to their entries; those past the Int runs taken
    // lie beyond `count` and are never read.
    const uint64_t ints = c->read_runs(run, chunk, starts, leaf.values + leaf.count);
    // The leading Int runs, up to the first that reaches `stop`.
    size_t take = ~ints == 0 ? chunk : std::min<size_t>(chunk, static_cast<size_t>(std::countr_one(ints)));
    bool reached = false;
    if (take && end_of(take - 1) >= stop) {
      size_t lo = 0, hi = take - 1;  // the first k with end_of(k) >= stop
      while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (end_of(mid) >= stop)
          hi = mid;
        else
          lo = mid + 1;
      }
      take = lo + 1;
      reached = true;
    }
    int64_t* pos = leaf.pos + leaf.count;
    for (size_t k = 0; k < take; ++k)
      pos[k] = std::max(begin, static_cast<int64_t>(std::min(starts[k], target_limit)) - leaf.offset);
    leaf.count += take;
    if (take) leaf.horizon = end_of(take - 1);
    if (reached) {
      leaf.horizon = stop;
      return;
    }
    if (take < chunk) return;  // a run of another kind: the general evaluator takes it from here
    run += chunk;
  }
}

int64_t BatchEvaluator::next_batch(int64_t begin, int64_t end) {
  true_ranges_.clear();
  const size_t leaf_count = leaves_.size();
  const size_t per_leaf = leaf_count ? std::min(kBatch / leaf_count, list_limit_) : 0;
  int64_t horizon = end;
  // The leaf that stopped the last batch goes first: it likely stops this one.
  for (size_t k = 0; k < leaf_count; ++k) {
    size_t j = (blocked_leaf_ + k) % leaf_count;
    Leaf& leaf = leaves_[j];
    list_runs(leaf, begin, end, per_leaf);
    horizon = std::min(horizon, leaf.horizon);
    if (horizon <= begin) {
      blocked_leaf_ = j;
      break;
    }
  }
  // Where other kinds of values are frequent, long lists would mostly be
  // thrown away: they start short after each hand-over and grow with use.
  list_limit_ = horizon <= begin ? kMinListed : std::min(list_limit_ * 2, kBatch);
  if (horizon <= begin) {
    // A leaf reads something other than an Int here: the general evaluator
    // takes over until it may read an Int again (a batch's worth at most).
    const int64_t region_end = std::min(end, leaves_[blocked_leaf_].blocked_until);
    int64_t i = begin;
    for (size_t steps = 0; steps < kBatch && i < region_end; ++steps) {
      Wide128 general_end;
      bool truth = general_.run(static_cast<Index>(i), general_end);
      int64_t last = static_cast<int64_t>(std::min<Wide128>(general_end, static_cast<Wide128>(region_end)));
      if (truth) {
        if (!true_ranges_.empty() && true_ranges_.back().last == i)
          true_ranges_.back().last = last;
        else
          true_ranges_.push_back(Range{i, last});
      }
      i = last;
    }
    return i;
  }

  // Merge the leaves' entries into stretches: a new stretch begins wherever
  // any leaf moves to its next entry.
  size_t n = 0;
  int64_t i = begin;
  if (leaf_count == 1) {
    Leaf& leaf = leaves_[0];
    n = leaf.count;
    std::copy_n(leaf.pos, n, starts_);
    std::copy_n(leaf.values, n, leaf_values_.data());
    i = horizon;
  } else if (leaf_count == 2) {
    // The same merge as below for the common pair (a signal and its shifted
    // self in an edge test), with the positions kept in registers.
    Leaf& a = leaves_[0];
    Leaf& b = leaves_[1];
    a.pos[a.count] = horizon;
    b.pos[b.count] = horizon;
    uint64_t* a_values = leaf_values_.data();
    uint64_t* b_values = a_values + kBatch;
    size_t x = 0, y = 0;
    while (i < horizon) {
      starts_[n] = i;
      a_values[n] = a.values[x];
      b_values[n] = b.values[y];
      const int64_t a_next = a.pos[x + 1], b_next = b.pos[y + 1];
      i = std::min(a_next, b_next);
      x += a_next == i;
      y += b_next == i;
      ++n;
    }
    a.at = x;
    b.at = y;
  } else {
    // Each list ends with the batch's horizon, so that no step needs to test
    // for the end of a list; at most kBatch stretches come out, since the
    // lists hold at most kBatch entries together.
    for (Leaf& leaf : leaves_) leaf.pos[leaf.count] = horizon;
    while (i < horizon) {
      starts_[n] = i;
      int64_t next = horizon;
      for (size_t j = 0; j < leaf_count; ++j) {
        const Leaf& leaf = leaves_[j];
        leaf_values_[j * kBatch + n] = leaf.values[leaf.at];
        next = std::min(next, leaf.pos[leaf.at + 1]);
      }
      for (Leaf& leaf : leaves_) leaf.at += leaf.pos[leaf.at + 1] == next;
      ++n;
      i = next;
    }
  }
  starts_[n] = i;
  for (Leaf& leaf : leaves_) leaf.hint = leaf.first_run + std::min(leaf.at, leaf.count - 1);

  bool is_scalar = true;
  uint64_t scalar = 0;
  const uint64_t* results = evaluate(n, is_scalar, scalar);
  // The stretches are contiguous: a true range opens where the truth turns
  // on and closes where it turns off.
  if (is_scalar) {
    if (scalar != 0 && n) true_ranges_.push_back(Range{starts_[0], starts_[n]});
    return i;
  }
  bool on = false;
  int64_t opened = 0;
  for (size_t k = 0; k < n; ++k) {
    const bool truth = results[k] != 0;
    if (truth == on) continue;
    if (truth)
      opened = starts_[k];
    else
      true_ranges_.push_back(Range{opened, starts_[k]});
    on = truth;
  }
  if (on) true_ranges_.push_back(Range{opened, starts_[n]});
  return i;
}

const uint64_t* BatchEvaluator::evaluate(size_t n, bool& is_scalar, uint64_t& scalar) {
  using Op = StretchProgram::Op;
  Operand stack[kMaxValues];
  size_t sp = 0;
  for (const auto& ins : program_.code()) {
    switch (ins.op) {
      case Op::Signal:
      case Op::ShiftedSignal: stack[sp++] = Operand{leaf_values_.data() + ins.leaf * kBatch, 0, false}; break;
      case Op::Const: stack[sp++] = Operand{nullptr, ins.constant->int_value(), true}; break;
      case Op::True: stack[sp++] = Operand{nullptr, 1, true}; break;
      case Op::Unary:
        kOperatorLoops[static_cast<size_t>(ins.kind)](ins, stack + sp - 1, results_.data() + (sp - 1) * kBatch, n);
        break;
      case Op::Binary:
        --sp;
        kOperatorLoops[static_cast<size_t>(ins.kind)](ins, stack + sp - 1, results_.data() + (sp - 1) * kBatch, n);
        break;
      case Op::RelBegin:
      case Op::RelEnd:
      case Op::Done: break;
    }
  }
  is_scalar = stack[0].is_scalar;
  scalar = stack[0].scalar;
  return stack[0].values;
}

}  // namespace trelm
