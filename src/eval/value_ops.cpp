#include "eval/value_ops.hpp"

#include <algorithm>

namespace trelm {

namespace {

SignalValue bool_value(bool b) noexcept { return SignalValue::from_int(b ? 1 : 0); }

bool has_logic_byte(const SignalValue& v, uint8_t byte) noexcept {
  if (v.kind() != ValueKind::Logic) return false;
  auto bits = v.logic_bits();
  return std::find(bits.begin(), bits.end(), byte) != bits.end();
}

SignalValue slice(const SignalValue& v, uint64_t high, uint64_t low) noexcept {
  auto n = v.to_u64();
  if (!n) return SignalValue::unknown();
  if (high < low) return SignalValue::from_int(0);
  uint64_t shifted = *n >> (low % 64);
  // high - low + 1 overflows only for the full range 0..2^64-1: the whole value.
  uint64_t width_minus_one = high - low;
  if (width_minus_one >= 63) return SignalValue::from_int(shifted);
  return SignalValue::from_int(shifted & ((uint64_t{1} << (width_minus_one + 1)) - 1));
}

}  // namespace

bool is_true(const SignalValue& value) noexcept {
  switch (value.kind()) {
    case ValueKind::Int: return value.int_value() != 0;
    case ValueKind::Wide: {
      auto w = value.wide_words();
      return std::any_of(w.begin(), w.end(), [](uint64_t x) { return x != 0; });
    }
    case ValueKind::Logic: {
      auto b = value.logic_bits();
      return std::find(b.begin(), b.end(), kLogic1) != b.end();
    }
    case ValueKind::Real: return value.real_value() != 0.0;
    case ValueKind::Str: return !value.text().empty();
    case ValueKind::Unknown: return false;
  }
  return false;
}

bool loose_equal(const SignalValue& a, const SignalValue& b) noexcept {
  if (a == b) return true;
  auto x = a.to_u64();
  if (!x) return false;
  auto y = b.to_u64();
  return y && *x == *y;
}

SignalValue apply_unary(ExprKind kind, const SignalValue& operand, uint64_t high, uint64_t low) noexcept {
  switch (kind) {
    case ExprKind::Not: return bool_value(!is_true(operand));
    case ExprKind::Signed: {
      auto n = operand.to_u64();
      return n ? SignalValue::from_int(*n) : SignalValue::unknown();
    }
    case ExprKind::IsX: return bool_value(operand.is_unknown() || has_logic_byte(operand, kLogicX));
    case ExprKind::IsZ: return bool_value(has_logic_byte(operand, kLogicZ));
    case ExprKind::Slice: return slice(operand, high, low);
    default: return SignalValue::unknown();
  }
}

SignalValue apply_binary(ExprKind kind, const SignalValue& left, const SignalValue& right) noexcept {
  switch (kind) {
    case ExprKind::And: return bool_value(is_true(left) && is_true(right));
    case ExprKind::Or: return bool_value(is_true(left) || is_true(right));
    case ExprKind::Eq: return bool_value(loose_equal(left, right));
    case ExprKind::Neq: return bool_value(!loose_equal(left, right));
    default: break;
  }
  auto a = left.to_u64();
  auto b = right.to_u64();
  if (!a || !b) return SignalValue::unknown();
  switch (kind) {
    case ExprKind::Gt: return bool_value(*a > *b);
    case ExprKind::Lt: return bool_value(*a < *b);
    case ExprKind::Gte: return bool_value(*a >= *b);
    case ExprKind::Lte: return bool_value(*a <= *b);
    case ExprKind::Add: return SignalValue::from_int(*a + *b);
    case ExprKind::Sub: return SignalValue::from_int(*a - *b);
    case ExprKind::BitAnd: return SignalValue::from_int(*a & *b);
    case ExprKind::BitOr: return SignalValue::from_int(*a | *b);
    case ExprKind::BitXor: return SignalValue::from_int(*a ^ *b);
    default: return SignalValue::unknown();
  }
}

}  // namespace trelm
