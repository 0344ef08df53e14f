// The operators of the query language on evaluated values. Every result is an
// Int or Unknown, so none of them allocates.
//
// On Int operands every operator gives an Int: apply_int and apply_int_unary
// are the integer semantics, written once and inlined by every evaluator (the
// per-index walk, the stretch and the batch evaluators); apply_unary and
// apply_binary add the cases of other kinds.
#pragma once

#include <cstdint>

#include "eval/expr.hpp"

namespace trelm {

// Slice (high, low) of an integer as a shift and a mask, so that a loop over
// many values can compute the two once: bits high .. low counted from the low
// end, none when high < low, all from `low` on when the range spans 64 bits.
struct SliceBits {
  unsigned shift;
  uint64_t mask;
};

constexpr SliceBits slice_bits(uint64_t high, uint64_t low) noexcept {
  const unsigned shift = static_cast<unsigned>(low % 64);
  if (high < low) return {shift, 0};
  // high - low + 1 overflows only for the full range 0..2^64-1: the whole value.
  const uint64_t width_minus_one = high - low;
  return {shift, width_minus_one >= 63 ? ~uint64_t{0} : (uint64_t{1} << (width_minus_one + 1)) - 1};
}

constexpr uint64_t apply_slice(uint64_t v, SliceBits bits) noexcept { return (v >> bits.shift) & bits.mask; }

// And .. BitXor on two Int operands.
constexpr uint64_t apply_int(ExprKind kind, uint64_t a, uint64_t b) noexcept {
  switch (kind) {
    case ExprKind::And: return a != 0 && b != 0;
    case ExprKind::Or: return a != 0 || b != 0;
    case ExprKind::Eq: return a == b;
    case ExprKind::Neq: return a != b;
    case ExprKind::Gt: return a > b;
    case ExprKind::Lt: return a < b;
    case ExprKind::Gte: return a >= b;
    case ExprKind::Lte: return a <= b;
    case ExprKind::Add: return a + b;
    case ExprKind::Sub: return a - b;
    case ExprKind::BitAnd: return a & b;
    case ExprKind::BitOr: return a | b;
    case ExprKind::BitXor: return a ^ b;
    default: return 0;  // not a binary operator
  }
}

// Not, Signed, IsX, IsZ and Slice (high, low) on an Int operand.
constexpr uint64_t apply_int_unary(ExprKind kind, uint64_t v, uint64_t high, uint64_t low) noexcept {
  switch (kind) {
    case ExprKind::Not: return v == 0;
    case ExprKind::Signed: return v;
    case ExprKind::Slice: return apply_slice(v, slice_bits(high, low));
    default: return 0;  // IsX, IsZ: an Int has no X or Z bits
  }
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

// The loose equality of Eq: identical values, or equal integer views.
bool loose_equal(const SignalValue& a, const SignalValue& b) noexcept;

}  // namespace trelm
