// The operators of the query language on evaluated values. Every result is an
// Int or Unknown, so none of them allocates.
#pragma once

#include "eval/expr.hpp"

namespace trelm {

// Not, Signed, IsX, IsZ and Slice (high, low) on one operand.
SignalValue apply_unary(ExprKind kind, const SignalValue& operand, uint64_t high, uint64_t low) noexcept;
// And .. BitXor on two operands.
SignalValue apply_binary(ExprKind kind, const SignalValue& left, const SignalValue& right) noexcept;
// The loose equality of Eq: identical values, or equal integer views.
bool loose_equal(const SignalValue& a, const SignalValue& b) noexcept;

}  // namespace trelm
