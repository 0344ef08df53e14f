#include "eval/stretch_eval.hpp"

#include <limits>

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
        if (p.stage == 0) {
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
}

StretchEvaluator::StretchEvaluator(const StretchProgram& program, const SignalStore& store)
    : program_(program), values_(program.max_values()), contexts_(program.max_contexts()) {
  cursors_.reserve(program.leaf_count());
  for (size_t k = 0; k < program.leaf_count(); ++k) cursors_.emplace_back(store, program.leaf_id(k));
}

bool StretchEvaluator::run(Index index, Wide128& end) {
  using Op = StretchProgram::Op;
  const auto& code = program_.code();
  const __int128 max_index = program_.max_index();
  const __int128 i = index;
  // Indices are compared in 128 bits so that no shift by an offset can wrap.
  __int128 bound = std::numeric_limits<__int128>::max();
  size_t sp = 0;  // values
  size_t cp = 0;  // contexts
  contexts_[cp++] = i;
  size_t pc = 0;
  const size_t count = code.size();
  while (pc < count) {
    const auto& ins = code[pc];
    switch (ins.op) {
      case Op::Signal: {
        __int128 j = contexts_[cp - 1];
        StoreCursor& c = cursors_[ins.leaf];
        values_[sp].borrowed = &c.at(static_cast<Index>(j));
        ++sp;
        if (c.segment_end() != kIndexEnd) {
          __int128 until = i + (static_cast<__int128>(c.segment_end()) - j);
          if (until < bound) bound = until;
        }
        ++pc;
        break;
      }
      case Op::Const:
        values_[sp++].borrowed = ins.constant;
        ++pc;
        break;
      case Op::True:
        values_[sp].borrowed = nullptr;
        values_[sp++].owned = SignalValue::from_int(1);
        ++pc;
        break;
      case Op::Unary: {
        Slot& s = values_[sp - 1];
        SignalValue r = apply_unary(ins.kind, s.get(), ins.high, ins.low);
        s.borrowed = nullptr;
        s.owned = r;
        ++pc;
        break;
      }
      case Op::Binary: {
        Slot& l = values_[sp - 2];
        SignalValue r = apply_binary(ins.kind, l.get(), values_[sp - 1].get());
        --sp;
        l.borrowed = nullptr;
        l.owned = r;
        ++pc;
        break;
      }
      case Op::RelBegin: {
        __int128 j = contexts_[cp - 1] + ins.offset;
        if (j >= 0 && j <= max_index) {
          // Valid until the target passes max_index.
          __int128 until = i + (max_index - j) + 1;
          if (until < bound) bound = until;
          contexts_[cp++] = j;
          ++pc;
        } else {
          // A target below 0 becomes valid after -j more indices; one above
          // max_index only moves further away.
          if (j < 0) {
            __int128 until = i - j;
            if (until < bound) bound = until;
          }
          values_[sp].borrowed = nullptr;
          values_[sp++].owned = SignalValue::unknown();
          pc = ins.skip_to;
        }
        break;
      }
      case Op::RelEnd:
        --cp;
        ++pc;
        break;
    }
  }
  end = static_cast<Wide128>(bound);
  return is_true(values_[0].get());
}

}  // namespace trelm
