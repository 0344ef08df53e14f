#include "eval/stretch_eval.hpp"

#include <limits>
#include <new>

#include "eval/expr_node.hpp"
#include "eval/value_ops.hpp"

namespace trelm {

StretchProgram::StretchProgram(const Expr& expr, Index max_index) : max_index_(max_index) {
  // Post-order emission with an explicit stack; RelEval also emits a marker
  // before its child so that an out-of-range target can skip the subtree.
  struct Pending {
    const ExprNode* node;
    uint8_t stage;
    size_t begin_at;
  };
  std::vector<Pending> stack;
  stack.push_back({&expr.root(), 0, 0});
  size_t depth = 0;  // values on the stack at run time
  size_t contexts = 1;
  while (!stack.empty()) {
    Pending& p = stack.back();
    const ExprNode& n = *p.node;
    Instr ins{};
    switch (n.kind) {
      case ExprKind::Signal:
        ins.op = Op::Signal;
        ins.id = n.id;
        ins.leaf = static_cast<uint32_t>(leaf_ids_.size());
        leaf_ids_.push_back(n.id);
        code_.push_back(ins);
        ++depth;
        stack.pop_back();
        break;
      case ExprKind::Const:
        ins.op = Op::Const;
        ins.constant = &n.constant;
        code_.push_back(ins);
        ++depth;
        stack.pop_back();
        break;
      case ExprKind::AlwaysTrue:
        ins.op = Op::True;
        code_.push_back(ins);
        ++depth;
        stack.pop_back();
        break;
      case ExprKind::RelEval:
        if (p.stage == 0 && n.left->kind == ExprKind::Signal) {
          ins.op = Op::ShiftedSignal;
          ins.offset = n.offset;
          ins.id = n.left->id;
          ins.leaf = static_cast<uint32_t>(leaf_ids_.size());
          leaf_ids_.push_back(n.left->id);
          code_.push_back(ins);
          ++depth;
          stack.pop_back();
        } else if (p.stage == 0) {
          p.stage = 1;
          p.begin_at = code_.size();
          ins.op = Op::RelBegin;
          ins.offset = n.offset;
          code_.push_back(ins);
          ++contexts;
          if (contexts > max_contexts_) max_contexts_ = contexts;
          stack.push_back({n.left, 0, 0});
        } else {
          ins.op = Op::RelEnd;
          code_.push_back(ins);
          code_[p.begin_at].skip_to = static_cast<uint32_t>(code_.size());
          --contexts;
          stack.pop_back();
        }
        break;
      default:
        if (is_binary_kind(n.kind)) {
          if (p.stage < 2) {
            const ExprNode* child = p.stage == 0 ? n.left : n.right;
            ++p.stage;
            stack.push_back({child, 0, 0});
          } else {
            ins.op = Op::Binary;
            ins.kind = n.kind;
            code_.push_back(ins);
            --depth;
            stack.pop_back();
          }
        } else if (p.stage == 0) {
          p.stage = 1;
          stack.push_back({n.left, 0, 0});
        } else {
          ins.op = Op::Unary;
          ins.kind = n.kind;
          ins.high = n.high;
          ins.low = n.low;
          code_.push_back(ins);
          stack.pop_back();
        }
        break;
    }
    if (depth > max_values_) max_values_ = depth;
  }
  Instr done{};
  done.op = Op::Done;
  code_.push_back(done);
}

namespace {

const SignalValue kTrue = SignalValue::from_int(1);
const SignalValue kFalse = SignalValue::from_int(0);
const SignalValue kUnknownValue = SignalValue::unknown();

// Computed values are only ever Int or Unknown, which own nothing: a slot is
// overwritten in place, and a 0/1 result points at a shared constant instead.
inline const SignalValue* place_int(SignalValue* slot, uint64_t n) {
  if (n <= 1) return n ? &kTrue : &kFalse;
  new (slot) SignalValue(SignalValue::from_int(n));
  return slot;
}

inline const SignalValue* place(SignalValue* slot, const SignalValue& v) {
  return v.kind() == ValueKind::Int ? place_int(slot, v.int_value()) : &kUnknownValue;
}

}  // namespace

StretchEvaluator::StretchEvaluator(const StretchProgram& program, const SignalStore& store)
    : program_(program),
      values_(program.max_values()),
      results_(program.max_values()),
      contexts_(program.max_contexts()) {
  cursors_.reserve(program.leaf_count());
  for (size_t k = 0; k < program.leaf_count(); ++k) cursors_.emplace_back(store.column(program.leaf_id(k)));
}

bool StretchEvaluator::run(Index index, Wide128& end) {
  using Op = StretchProgram::Op;
  const StretchProgram::Instr* code = program_.code().data();
  const Index max_index = program_.max_index();
  const __int128 i = index;
  const SignalValue** values = values_.data();
  SignalValue* results = results_.data();
  // Indices are compared in 128 bits so that no shift by an offset can wrap.
  __int128 bound = std::numeric_limits<__int128>::max();
  size_t sp = 0;  // values
  size_t cp = 0;  // contexts
  contexts_[cp++] = index;
  const StretchProgram::Instr* ins = code;

  // Threaded dispatch: every instruction jumps straight to the next one's
  // handler, which the processor predicts far better than one shared switch.
  static void* const kHandlers[] = {&&signal, &&shifted_signal, &&constant, &&always_true, &&unary,
                                    &&binary,  &&rel_begin,      &&rel_end,  &&done};
  static_assert(static_cast<int>(Op::Done) == 8);
#define TRELM_NEXT() goto* kHandlers[static_cast<uint8_t>((++ins)->op)]
  goto* kHandlers[static_cast<uint8_t>(ins->op)];

signal: {
  Index j = contexts_[cp - 1];
  RunCursor& c = cursors_[ins->leaf];
  values[sp++] = &c.at(j);
  if (c.segment_end() != kIndexEnd) {
    __int128 until = i + (c.segment_end() - j);
    if (until < bound) bound = until;
  }
  TRELM_NEXT();
}
shifted_signal: {
  // RelBegin, Signal and RelEnd in one step.
  __int128 j = static_cast<__int128>(contexts_[cp - 1]) + ins->offset;
  if (j >= 0 && j <= static_cast<__int128>(max_index)) {
    Index target = static_cast<Index>(j);
    __int128 until = i + (max_index - target) + 1;
    if (until < bound) bound = until;
    RunCursor& c = cursors_[ins->leaf];
    values[sp++] = &c.at(target);
    if (c.segment_end() != kIndexEnd) {
      until = i + (c.segment_end() - target);
      if (until < bound) bound = until;
    }
  } else {
    if (j < 0) {
      __int128 until = i - j;
      if (until < bound) bound = until;
    }
    values[sp++] = &kUnknownValue;
  }
  TRELM_NEXT();
}
constant:
  values[sp++] = ins->constant;
  TRELM_NEXT();
always_true:
  values[sp++] = &kTrue;
  TRELM_NEXT();
unary: {
  const SignalValue& v = *values[sp - 1];
  values[sp - 1] = v.kind() == ValueKind::Int
                       ? place_int(results + sp - 1, apply_int_unary(ins->kind, v.int_value(), ins->high, ins->low))
                       : place(results + sp - 1, apply_unary(ins->kind, v, ins->high, ins->low));
  TRELM_NEXT();
}
binary: {
  --sp;
  const SignalValue& l = *values[sp - 1];
  const SignalValue& r = *values[sp];
  values[sp - 1] = l.kind() == ValueKind::Int && r.kind() == ValueKind::Int
                       ? place_int(results + sp - 1, apply_int(ins->kind, l.int_value(), r.int_value()))
                       : place(results + sp - 1, apply_binary(ins->kind, l, r));
  TRELM_NEXT();
}
rel_begin: {
  __int128 j = static_cast<__int128>(contexts_[cp - 1]) + ins->offset;
  if (j >= 0 && j <= static_cast<__int128>(max_index)) {
    // Valid until the target passes max_index.
    __int128 until = i + (max_index - static_cast<Index>(j)) + 1;
    if (until < bound) bound = until;
    contexts_[cp++] = static_cast<Index>(j);
    TRELM_NEXT();
  }
  // A target below 0 becomes valid after -j more indices; one above
  // max_index only moves further away.
  if (j < 0) {
    __int128 until = i - j;
    if (until < bound) bound = until;
  }
  values[sp++] = &kUnknownValue;
  ins = code + ins->skip_to;
  goto* kHandlers[static_cast<uint8_t>(ins->op)];
}
rel_end:
  --cp;
  TRELM_NEXT();
done:
#undef TRELM_NEXT
  end = static_cast<Wide128>(bound);
  return truth_of(*values[0]);
}

}  // namespace trelm
