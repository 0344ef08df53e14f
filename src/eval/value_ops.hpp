// The operators of the query language on evaluated values. Every result is an
// Int or Unknown, so none of them allocates.
#pragma once

#include <optional>

#include "eval/expr.hpp"

namespace trelm {

// The integer view, with Int read inline (the hot case of every scan).
inline std::optional<uint64_t> integer_view(const SignalValue& v) noexcept {
  if (v.kind() == ValueKind::Int) return v.int_value();
  return v.to_u64();
}

inline bool truth_of(const SignalValue& v) noexcept {
  if (v.kind() == ValueKind::Int) return v.int_value() != 0;
  return is_true(v);
}

// A Real NaN: unequal to itself, so it counts as a change at every index.
inline bool is_nan(const SignalValue& v) noexcept {
  return v.kind() == ValueKind::Real && v.real_value() != v.real_value();
}

// Not, Signed, IsX, IsZ and Slice (high, low) on one operand.
SignalValue apply_unary(ExprKind kind, const SignalValue& operand, uint64_t high, uint64_t low) noexcept;
// And .. BitXor on two operands.
SignalValue apply_binary(ExprKind kind, const SignalValue& left, const SignalValue& right) noexcept;
// apply_binary with both operands Int handled inline.
inline SignalValue apply_binary_fast(ExprKind kind, const SignalValue& left, const SignalValue& right) noexcept {
  if (left.kind() != ValueKind::Int || right.kind() != ValueKind::Int) return apply_binary(kind, left, right);
  const uint64_t a = left.int_value(), b = right.int_value();
  switch (kind) {
    case ExprKind::And: return SignalValue::from_int(a != 0 && b != 0);
    case ExprKind::Or: return SignalValue::from_int(a != 0 || b != 0);
    case ExprKind::Eq: return SignalValue::from_int(a == b);
    case ExprKind::Neq: return SignalValue::from_int(a != b);
    case ExprKind::Gt: return SignalValue::from_int(a > b);
    case ExprKind::Lt: return SignalValue::from_int(a < b);
    case ExprKind::Gte: return SignalValue::from_int(a >= b);
    case ExprKind::Lte: return SignalValue::from_int(a <= b);
    case ExprKind::Add: return SignalValue::from_int(a + b);
    case ExprKind::Sub: return SignalValue::from_int(a - b);
    case ExprKind::BitAnd: return SignalValue::from_int(a & b);
    case ExprKind::BitOr: return SignalValue::from_int(a | b);
    case ExprKind::BitXor: return SignalValue::from_int(a ^ b);
    default: return apply_binary(kind, left, right);
  }
}

// The loose equality of Eq: identical values, or equal integer views.
bool loose_equal(const SignalValue& a, const SignalValue& b) noexcept;

}  // namespace trelm
