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
  if (!is_unary_kind(kind)) return SignalValue::unknown();
  if (operand.is_int()) return SignalValue::from_int(apply_int_unary(kind, operand.int_value(), high, low));
  switch (kind) {
    case ExprKind::Not: return bool_value(!is_true(operand));
    case ExprKind::IsX: return bool_value(operand.is_unknown() || has_logic_byte(operand, kLogicX));
    case ExprKind::IsZ: return bool_value(has_logic_byte(operand, kLogicZ));
    default: break;  // Signed and Slice read the integer view
  }
  auto n = operand.to_u64();
  return n ? SignalValue::from_int(apply_int_unary(kind, *n, high, low)) : SignalValue::unknown();
}

SignalValue apply_binary(ExprKind kind, const SignalValue& left, const SignalValue& right) noexcept {
  if (!is_binary_kind(kind)) return SignalValue::unknown();
  if (left.is_int() && right.is_int())
    return SignalValue::from_int(apply_int(kind, left.int_value(), right.int_value()));
  switch (kind) {
    case ExprKind::And: return bool_value(is_true(left) && is_true(right));
    case ExprKind::Or: return bool_value(is_true(left) || is_true(right));
    case ExprKind::Eq: return bool_value(loose_equal(left, right));
    case ExprKind::Neq: return bool_value(!loose_equal(left, right));
    default: break;  // the rest read the integer views
  }
  auto a = left.to_u64();
  auto b = right.to_u64();
  if (!a || !b) return SignalValue::unknown();
  return SignalValue::from_int(apply_int(kind, *a, *b));
}

}  // namespace trelm
