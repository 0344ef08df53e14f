// Expr: a node of the query language. A tree owns its children, is copied
// deeply and never changes after it is built, so one tree may be evaluated
// from several threads at once. Building, copying, evaluating and releasing
// work without recursion on the machine stack, so trees of any depth are safe.
#pragma once

#include <cstdint>
#include <memory>

#include "signal/value.hpp"
#include "trace/trace.hpp"

namespace trelm {

// Holds one past the last index, so that ranges of indices end without
// wrapping.
using Wide128 = unsigned __int128;

enum class ExprKind : uint8_t {
  Signal = 0,
  Const = 1,
  RelEval = 2,
  Not = 3,
  And = 4,
  Or = 5,
  Eq = 6,
  Neq = 7,
  Gt = 8,
  Lt = 9,
  Gte = 10,
  Lte = 11,
  Add = 12,
  Sub = 13,
  BitAnd = 14,
  BitOr = 15,
  BitXor = 16,
  Slice = 17,
  Signed = 18,
  IsX = 19,
  IsZ = 20,
  AlwaysTrue = 21,
};

constexpr bool is_binary_kind(ExprKind kind) noexcept { return kind >= ExprKind::And && kind <= ExprKind::BitXor; }

constexpr bool is_unary_kind(ExprKind kind) noexcept {
  return kind == ExprKind::Not || kind == ExprKind::Signed || kind == ExprKind::IsX || kind == ExprKind::IsZ ||
         kind == ExprKind::Slice;
}

struct ExprNode;

class Expr {
 public:
  static Expr signal(SignalId id);
  static Expr constant(SignalValue value);
  static Expr always_true();
  // Wraps a copy of `child`.
  static Expr rel_eval(const Expr& child, int64_t offset);
  static Expr slice(const Expr& child, uint64_t high, uint64_t low);
  // kind is Not, Signed, IsX or IsZ.
  static Expr unary(ExprKind kind, const Expr& child);
  // kind is one of And .. BitXor; both operands are copied.
  static Expr binary(ExprKind kind, const Expr& left, const Expr& right);

  Expr(const Expr& other);
  Expr(Expr&& other) noexcept;
  Expr& operator=(const Expr& other);
  Expr& operator=(Expr&& other) noexcept;
  ~Expr();

  ExprKind kind() const noexcept;
  const ExprNode& root() const noexcept { return *root_; }

 private:
  explicit Expr(std::unique_ptr<ExprNode> root) noexcept;
  std::unique_ptr<ExprNode> root_;
};

// The value of the expression at `index` of the trace; never fails.
SignalValue eval(const Trace& trace, const Expr& expr, Index index);
// eval, then the truth rule.
bool eval_bool(const Trace& trace, const Expr& expr, Index index);
// The truth rule on one value.
bool is_true(const SignalValue& value) noexcept;

}  // namespace trelm
