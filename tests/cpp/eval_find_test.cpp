#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "eval/expr_node.hpp"
#include "eval/find.hpp"
#include "eval/stats.hpp"
#include "eval/value_ops.hpp"
#include "eval_random_case.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

// ---- literal oracles: one evaluation per index through signal_value_by_id ----

// The evaluation table written out recursively; trees in these tests are shallow.
SignalValue reference_eval(const Trace& t, const ExprNode* n, Index i) {
  auto both = [&](auto f) -> SignalValue {
    auto a = reference_eval(t, n->left, i).to_u64();
    auto b = reference_eval(t, n->right, i).to_u64();
    return a && b ? f(*a, *b) : U();
  };
  auto flag = [](bool b) { return I(b ? 1 : 0); };
  switch (n->kind) {
    case ExprKind::Signal: return t.signal_value_by_id(n->id, i);
    case ExprKind::Const: return n->constant;
    case ExprKind::RelEval: {
      __int128 j = static_cast<__int128>(i) + n->offset;
      if (j < 0 || j > static_cast<__int128>(t.max_index())) return U();
      return reference_eval(t, n->left, static_cast<Index>(j));
    }
    case ExprKind::Not: return flag(!is_true(reference_eval(t, n->left, i)));
    case ExprKind::And: {
      bool a = is_true(reference_eval(t, n->left, i)), b = is_true(reference_eval(t, n->right, i));
      return flag(a && b);
    }
    case ExprKind::Or: {
      bool a = is_true(reference_eval(t, n->left, i)), b = is_true(reference_eval(t, n->right, i));
      return flag(a || b);
    }
    case ExprKind::Eq:
    case ExprKind::Neq: {
      SignalValue a = reference_eval(t, n->left, i), b = reference_eval(t, n->right, i);
      bool eq = (a.kind() == b.kind() && a == b) || (a.to_u64() && b.to_u64() && *a.to_u64() == *b.to_u64());
      return flag(n->kind == ExprKind::Eq ? eq : !eq);
    }
    case ExprKind::Gt: return both([&](uint64_t a, uint64_t b) { return flag(a > b); });
    case ExprKind::Lt: return both([&](uint64_t a, uint64_t b) { return flag(a < b); });
    case ExprKind::Gte: return both([&](uint64_t a, uint64_t b) { return flag(a >= b); });
    case ExprKind::Lte: return both([&](uint64_t a, uint64_t b) { return flag(a <= b); });
    case ExprKind::Add: return both([](uint64_t a, uint64_t b) { return I(a + b); });
    case ExprKind::Sub: return both([](uint64_t a, uint64_t b) { return I(a - b); });
    case ExprKind::BitAnd: return both([](uint64_t a, uint64_t b) { return I(a & b); });
    case ExprKind::BitOr: return both([](uint64_t a, uint64_t b) { return I(a | b); });
    case ExprKind::BitXor: return both([](uint64_t a, uint64_t b) { return I(a ^ b); });
    case ExprKind::Slice: {
      auto v = reference_eval(t, n->left, i).to_u64();
      if (!v) return U();
      if (n->high < n->low) return I(0);
      unsigned __int128 width = static_cast<unsigned __int128>(n->high - n->low) + 1;
      uint64_t shifted = *v >> (n->low % 64);
      return width >= 64 ? I(shifted) : I(shifted & ((uint64_t{1} << width) - 1));
    }
    case ExprKind::Signed: {
      auto v = reference_eval(t, n->left, i).to_u64();
      return v ? I(*v) : U();
    }
    case ExprKind::IsX: {
      SignalValue v = reference_eval(t, n->left, i);
      bool x = v.is_unknown();
      if (v.kind() == ValueKind::Logic)
        for (uint8_t b : v.logic_bits()) x = x || b == kLogicX;
      return flag(x);
    }
    case ExprKind::IsZ: {
      SignalValue v = reference_eval(t, n->left, i);
      bool z = false;
      if (v.kind() == ValueKind::Logic)
        for (uint8_t b : v.logic_bits()) z = z || b == kLogicZ;
      return flag(z);
    }
    case ExprKind::AlwaysTrue: return I(1);
  }
  return U();
}

std::vector<Index> literal_find(const Trace& t, const Expr& e) {
  std::vector<Index> out;
  for (Index i = 0; i <= t.max_index(); ++i)
    if (eval_bool(t, e, i)) out.push_back(i);
  return out;
}

SignalStats literal_stats(const Trace& t, const std::string& name) {
  SignalStats s;
  auto id = t.signal_id(name);
  if (!id) return s;
  s.min = UINT64_MAX;
  SignalValue prev;
  for (Index i = 0; i <= t.max_index(); ++i) {
    SignalValue v = t.signal_value_by_id(*id, i);
    if (v.kind() == ValueKind::Int) {
      s.sum += v.int_value();
      s.max = std::max(s.max, v.int_value());
      s.min = std::min(s.min, v.int_value());
      ++s.count;
    } else if (v.kind() == ValueKind::Logic) {
      for (uint8_t b : v.logic_bits()) s.num_x += b == kLogicX, s.num_z += b == kLogicZ;
    } else if (v.is_unknown()) {
      ++s.num_x;
    }
    if (i > 0 && !(v == prev)) ++s.transitions;
    prev = v;
  }
  if (s.count == 0) s.min = 0;
  return s;
}

bool same_stats(const SignalStats& a, const SignalStats& b) {
  return a.min == b.min && a.max == b.max && a.sum == b.sum && a.count == b.count &&
         a.transitions == b.transitions && a.num_x == b.num_x && a.num_z == b.num_z;
}

// ---- fixed cases ----

TEST(EvalFindTest, SearchRange) {
  auto none = make_trace({}, 0);
  auto five = make_trace({}, 5);
  Expr all = Expr::always_true();
  EXPECT_EQ(find(*none, all), std::vector<Index>{0});
  EXPECT_EQ(parallel_find(*none, all), std::vector<Index>{0});
  EXPECT_EQ(parallel_count(*none, all), 1u);
  EXPECT_EQ(find(*five, all), (std::vector<Index>{0, 1, 2, 3, 4}));
  EXPECT_EQ(parallel_count(*five, all), 5u);
  EXPECT_EQ(find(*five, Expr::signal(3)), std::vector<Index>{});
}

TEST(EvalFindTest, Statistics) {
  struct Case {
    std::vector<SignalValue> values;
    size_t timestamps;
    SignalStats expected;
  };
  const uint64_t m = UINT64_MAX;
  std::vector<Case> cases = {
      {{I(3), I(3), I(5), I(1)}, 4, {1, 5, 12, 4, 2, 0, 0}},
      {{U(), U(), I(7)}, 3, {7, 7, 7, 1, 1, 2, 0}},
      {{L({1, 2, 3, 3})}, 1, {0, 0, 0, 0, 0, 1, 2}},
      {{R(1.0), S("5"), S("5"), R(kNaN), R(kNaN)}, 5, {0, 0, 0, 0, 3, 0, 0}},
      {{I(m), I(m)}, 2, {m, m, m - 1, 2, 0, 0, 0}},
      {{I(4)}, 0, {4, 4, 4, 1, 0, 0, 0}},  // no time stamps: index 0 only
      {{I(4), I(4)}, 5, {4, 4, 8, 2, 1, 3, 0}},  // Unknown tail counts num_x per index
  };
  for (const auto& c : cases) {
    auto t = make_trace({{"s", 0, c.values}}, c.timestamps);
    EXPECT_TRUE(same_stats(compute_stats(*t, "s"), c.expected));
    EXPECT_TRUE(same_stats(compute_stats(*t, "s"), literal_stats(*t, "s")));
  }
  auto t = make_trace({{"s", 0, {I(1)}}}, 3);
  EXPECT_TRUE(same_stats(compute_stats(*t, "other"), SignalStats{}));
}

// ---- differential: stretch scans against the literal per-index evaluation ----

TEST(EvalFindTest, StretchScansEqualLiteralEvaluation) {
  for (uint64_t seed = 0; seed < 3000; ++seed) {
    RandomCase r(seed);
    size_t signals = 0;
    auto t = r.trace(signals);
    Expr e = r.tree(signals, t->max_index(), 1 + static_cast<int>(r.pick(5)));
    for (Index i = 0; i <= t->max_index() + 1; ++i)
      ASSERT_TRUE(identical(eval(*t, e, i), reference_eval(*t, &e.root(), i))) << "seed " << seed << " at " << i;
    auto expected = literal_find(*t, e);
    ASSERT_EQ(find(*t, e), expected) << "seed " << seed;
    if (seed % 10 == 0) {
      ASSERT_EQ(parallel_find(*t, e), expected) << "seed " << seed;
      ASSERT_EQ(parallel_count(*t, e), expected.size()) << "seed " << seed;
    }
    for (size_t s = 0; s < signals; ++s) {
      std::string name = "s" + std::to_string(s);
      ASSERT_TRUE(same_stats(compute_stats(*t, name), literal_stats(*t, name))) << "seed " << seed;
    }
  }
}

}  // namespace
}  // namespace trelm
