#include "eval/expr.hpp"

#include "eval/expr_node.hpp"
#include "eval/small_stack.hpp"
#include "eval/value_ops.hpp"

namespace trelm {

namespace {

ExprNode* share(const ExprNode* node) noexcept {
  auto* n = const_cast<ExprNode*>(node);
  n->refs.fetch_add(1, std::memory_order_relaxed);
  return n;
}

// Drops one reference and frees every node that becomes unreferenced. The
// dead nodes are chained through next_free instead of recursing, so trees of
// any depth are released in constant stack space and without allocating.
void release(ExprNode* node) noexcept {
  ExprNode* dead = nullptr;
  auto drop = [&dead](ExprNode* n) {
    if (n && n->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      n->next_free = dead;
      dead = n;
    }
  };
  drop(node);
  while (dead) {
    ExprNode* n = dead;
    dead = n->next_free;
    drop(n->left);
    drop(n->right);
    delete n;
  }
}

}  // namespace

Expr::Expr(std::unique_ptr<ExprNode> root) noexcept : root_(std::move(root)) {}

Expr Expr::signal(SignalId id) {
  auto n = std::make_unique<ExprNode>(ExprKind::Signal);
  n->id = id;
  return Expr(std::move(n));
}

Expr Expr::constant(SignalValue value) {
  auto n = std::make_unique<ExprNode>(ExprKind::Const);
  n->constant = std::move(value);
  return Expr(std::move(n));
}

Expr Expr::always_true() { return Expr(std::make_unique<ExprNode>(ExprKind::AlwaysTrue)); }

Expr Expr::rel_eval(const Expr& child, int64_t offset) {
  auto n = std::make_unique<ExprNode>(ExprKind::RelEval);
  n->offset = offset;
  n->left = share(child.root_.get());
  return Expr(std::move(n));
}

Expr Expr::slice(const Expr& child, uint64_t high, uint64_t low) {
  auto n = std::make_unique<ExprNode>(ExprKind::Slice);
  n->high = high;
  n->low = low;
  n->left = share(child.root_.get());
  return Expr(std::move(n));
}

Expr Expr::unary(ExprKind kind, const Expr& child) {
  auto n = std::make_unique<ExprNode>(kind);
  n->left = share(child.root_.get());
  return Expr(std::move(n));
}

Expr Expr::binary(ExprKind kind, const Expr& left, const Expr& right) {
  auto n = std::make_unique<ExprNode>(kind);
  n->left = share(left.root_.get());
  n->right = share(right.root_.get());
  return Expr(std::move(n));
}

Expr::Expr(const Expr& other) : root_(other.root_ ? share(other.root_.get()) : nullptr) {}

Expr::Expr(Expr&& other) noexcept : root_(std::move(other.root_)) {}

Expr& Expr::operator=(const Expr& other) {
  if (this != &other) {
    ExprNode* old = root_.release();
    root_.reset(other.root_ ? share(other.root_.get()) : nullptr);
    if (old) release(old);
  }
  return *this;
}

Expr& Expr::operator=(Expr&& other) noexcept {
  if (this != &other) {
    ExprNode* old = root_.release();
    root_ = std::move(other.root_);
    if (old) release(old);
  }
  return *this;
}

Expr::~Expr() {
  if (ExprNode* n = root_.release()) release(n);
}

ExprKind Expr::kind() const noexcept { return root_->kind; }

namespace {

struct Frame {
  const ExprNode* node = nullptr;
  Index index = 0;
  uint8_t stage = 0;
};

}  // namespace

// A walk with explicit stacks: a frame is revisited once per evaluated child.
// RelEval hands its child the shifted index and takes the child's value as its
// own, so it adds no work of its own per level.
SignalValue eval(const Trace& trace, const Expr& expr, Index index) {
  const Index max_index = trace.max_index();
  SmallStack<Frame, 32> frames;
  SmallStack<SignalValue, 32> values;
  frames.push(Frame{&expr.root(), index, 0});
  while (!frames.empty()) {
    Frame& f = frames.top();
    const ExprNode& n = *f.node;
    switch (n.kind) {
      case ExprKind::Signal:
        values.push(trace.signal_value_by_id(n.id, f.index));
        frames.pop();
        break;
      case ExprKind::Const:
        values.push(n.constant);
        frames.pop();
        break;
      case ExprKind::AlwaysTrue:
        values.push(SignalValue::from_int(1));
        frames.pop();
        break;
      case ExprKind::RelEval: {
        // The target must lie in 0..max_index; computed without overflow.
        Index i = f.index;
        bool inside = n.offset >= 0 ? (static_cast<uint64_t>(n.offset) <= max_index &&
                                       i <= max_index - static_cast<uint64_t>(n.offset))
                                    : (i >= 0 - static_cast<uint64_t>(n.offset) &&
                                       i - (0 - static_cast<uint64_t>(n.offset)) <= max_index);
        frames.pop();
        if (!inside) {
          values.push(SignalValue::unknown());
        } else {
          frames.push(Frame{n.left, i + static_cast<uint64_t>(n.offset), 0});
        }
        break;
      }
      default:
        if (is_binary_kind(n.kind)) {
          if (f.stage < 2) {
            const ExprNode* child = f.stage == 0 ? n.left : n.right;
            Index i = f.index;
            ++f.stage;
            frames.push(Frame{child, i, 0});
          } else {
            SignalValue right = values.pop();
            SignalValue left = values.pop();
            values.push(apply_binary(n.kind, left, right));
            frames.pop();
          }
        } else if (f.stage == 0) {
          f.stage = 1;
          Index i = f.index;
          frames.push(Frame{n.left, i, 0});
        } else {
          SignalValue operand = values.pop();
          values.push(apply_unary(n.kind, operand, n.high, n.low));
          frames.pop();
        }
        break;
    }
  }
  return values.pop();
}

bool eval_bool(const Trace& trace, const Expr& expr, Index index) { return is_true(eval(trace, expr, index)); }

}  // namespace trelm
