#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "eval/expr_node.hpp"
#include "eval/find.hpp"
#include "signal/run_search.hpp"
#include "eval/stats.hpp"
#include "eval/value_ops.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

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

std::vector<TransitionRecord> literal_transitions(const Trace& t, const std::string& name) {
  std::vector<TransitionRecord> out;
  auto id = t.signal_id(name);
  if (!id) return out;
  SignalValue prev = t.signal_value_by_id(*id, 0);
  for (Index i = 1; i <= t.max_index(); ++i) {
    SignalValue cur = t.signal_value_by_id(*id, i);
    if (!(cur == prev)) out.push_back({i, prev, cur});
    prev = cur;
  }
  return out;
}

std::vector<ChangeRecord> literal_changed_at(const Trace& t, Index index) {
  std::vector<ChangeRecord> out;
  if (index == 0) return out;
  for (const auto& name : t.signal_names()) {
    auto id = t.signal_id(name);
    if (!id) continue;
    SignalValue a = t.signal_value_by_id(*id, index - 1), b = t.signal_value_by_id(*id, index);
    if (!(a == b)) out.push_back({name, a, b});
  }
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

bool same_changes(const std::vector<ChangeRecord>& a, const std::vector<ChangeRecord>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k].name != b[k].name || !identical(a[k].old_value, b[k].old_value) ||
        !identical(a[k].new_value, b[k].new_value))
      return false;
  return true;
}

bool same_transitions(const std::vector<TransitionRecord>& a, const std::vector<TransitionRecord>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k].index != b[k].index || !identical(a[k].old_value, b[k].old_value) ||
        !identical(a[k].new_value, b[k].new_value))
      return false;
  return true;
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

TEST(EvalFindTest, ChangesAndTransitions) {
  auto t = make_trace(
      {
          {"top.a", 0, {U(), U(), U(), U(), U(), I(1), I(1), I(1)}},
          {"top.sub.b", 1, {I(0), I(0), I(0), I(0), I(0), I(0), I(3), L({0, 1, 1})}},
          {"topx.c", 2, {R(1.0), R(1.0), R(kNaN), R(kNaN), R(2.0), R(2.0), R(2.0), R(2.0)}},
          {"alias.a", 0, {}},  // shares top.a's id
      },
      8);
  auto names = [](const std::vector<ChangeRecord>& r) {
    std::vector<std::string> out;
    for (const auto& c : r) out.push_back(c.name);
    return out;
  };
  EXPECT_TRUE(changed_at(*t, 0).empty());
  EXPECT_TRUE(changed_at(*t, 1).empty());
  auto at5 = changed_at(*t, 5);
  EXPECT_EQ(names(at5), (std::vector<std::string>{"top.a", "alias.a"}));
  EXPECT_TRUE(identical(at5[0].old_value, U()) && identical(at5[0].new_value, I(1)));
  EXPECT_EQ(names(changed_at(*t, 3)), std::vector<std::string>{"topx.c"});  // NaN held over 2 and 3
  EXPECT_EQ(names(changed_at(*t, 7)), std::vector<std::string>{"top.sub.b"});
  EXPECT_EQ(names(changed_at_scope(*t, 7, "top")), std::vector<std::string>{"top.sub.b"});
  EXPECT_EQ(names(changed_at_scope(*t, 5, "top")), std::vector<std::string>{"top.a"});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "top")), std::vector<std::string>{});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "topx")), std::vector<std::string>{"topx.c"});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "to")), std::vector<std::string>{});
  // Past the end every signal known at the index before is reported, new Unknown.
  auto past = changed_at(*t, 8);
  EXPECT_EQ(names(past), (std::vector<std::string>{"top.a", "top.sub.b", "topx.c", "alias.a"}));
  EXPECT_TRUE(identical(past[1].new_value, U()));
  EXPECT_TRUE(changed_at(*t, 9).empty());
  EXPECT_TRUE(changed_at(*t, std::numeric_limits<Index>::max()).empty());

  auto tr = transitions(*t, "top.sub.b");
  ASSERT_EQ(tr.size(), 2u);
  EXPECT_EQ(tr[0].index, 6u);
  EXPECT_EQ(tr[1].index, 7u);  // Int 3 -> Logic 011: different variants
  auto nan = transitions(*t, "topx.c");
  ASSERT_EQ(nan.size(), 3u);
  EXPECT_EQ(nan[0].index, 2u);
  EXPECT_EQ(nan[1].index, 3u);
  EXPECT_EQ(nan[2].index, 4u);
  EXPECT_TRUE(transitions(*t, "nope").empty());
  auto one = make_trace({{"a", 0, {I(1)}}}, 1);
  EXPECT_TRUE(transitions(*one, "a").empty());
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

class RandomCase {
 public:
  explicit RandomCase(uint64_t seed) : rng_(seed) {}

  SignalValue value() {
    switch (pick(18)) {
      case 0: return U();
      case 1: return I(0);
      case 2: return I(1);
      case 3: return I(pick(6));
      case 4: return I(UINT64_MAX - pick(2));
      case 5: return L({static_cast<uint8_t>(pick(4))});
      case 6: return L({0, 1, 1});
      case 7: return L({1, 2, 0, 3, 1, 1, 0, 0, 1, 1, 1});  // past the inline size
      case 8: return L(std::vector<uint8_t>(70, 1));
      case 9: return R(kNaN);
      case 10: return R(pick(2) ? -0.0 : 0.0);
      case 11: return R(2.5 + pick(3));
      case 12: return S("");
      case 13: return S(pick(2) ? "5" : "+3");
      case 14: return S("not a number, and long");
      case 15: return W({0, 4});
      case 16: return W({pick(4), 9});
      default: return R(1e30);
    }
  }

  std::unique_ptr<RecordTrace> trace(size_t& signal_count) {
    size_t timestamps = pick(4) == 0 ? pick(3) : 1 + pick(pick(3) == 0 ? 80 : 16);
    signal_count = 1 + pick(4);
    std::vector<TestSignal> signals;
    for (size_t s = 0; s < signal_count; ++s) {
      // Most lists end at the last index; some end early (an Unknown tail)
      // and some run past it, which only the range checks of RelEval hide.
      size_t shape = pick(5);
      size_t length = shape == 0 ? pick(timestamps + 1) : shape == 1 ? timestamps + 1 + pick(3) : timestamps;
      std::vector<SignalValue> values;
      SignalValue current = value();
      for (size_t i = 0; i < length; ++i) {
        if (pick(3) == 0) current = value();
        values.push_back(current);
      }
      signals.push_back({"s" + std::to_string(s), s, std::move(values)});
    }
    return make_trace(signals, timestamps);
  }

  int64_t offset(Index max_index) {
    const int64_t big = std::numeric_limits<int64_t>::max();
    const int64_t small = std::numeric_limits<int64_t>::min();
    switch (pick(8)) {
      case 0: return pick(2) ? big : small;
      case 1: return static_cast<int64_t>(max_index) * (pick(2) ? 1 : -1);
      case 2: return static_cast<int64_t>(max_index + 1) * (pick(2) ? 1 : -1);
      case 3: return 0;
      default: return static_cast<int64_t>(pick(7)) - 3;
    }
  }

  uint64_t bit_position() {
    const uint64_t positions[] = {0, 1, 3, 7, 62, 63, 64, 65, 127, UINT64_MAX, UINT64_MAX - 1};
    return positions[pick(std::size(positions))];
  }

  Expr tree(size_t signals, Index max_index, int depth) {
    size_t kind = depth <= 0 ? pick(3) : pick(22);
    switch (static_cast<ExprKind>(kind == 2 && depth <= 0 ? 0 : kind)) {
      case ExprKind::Signal: return Expr::signal(pick(signals + 1));  // sometimes an unknown id
      case ExprKind::Const: return Expr::constant(value());
      case ExprKind::RelEval: return Expr::rel_eval(tree(signals, max_index, depth - 1), offset(max_index));
      case ExprKind::Slice: {
        uint64_t a = bit_position(), b = bit_position();
        return Expr::slice(tree(signals, max_index, depth - 1), a, b);
      }
      case ExprKind::Not:
      case ExprKind::Signed:
      case ExprKind::IsX:
      case ExprKind::IsZ:
        return Expr::unary(static_cast<ExprKind>(kind), tree(signals, max_index, depth - 1));
      case ExprKind::AlwaysTrue: return Expr::always_true();
      default: {
        Expr l = tree(signals, max_index, depth - 1);
        Expr r = tree(signals, max_index, depth - 1);
        return Expr::binary(static_cast<ExprKind>(kind), l, r);
      }
    }
  }

  uint64_t pick(uint64_t n) { return n ? std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_) : 0; }

 private:
  std::mt19937_64 rng_;
};

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
      ASSERT_TRUE(same_transitions(transitions(*t, name), literal_transitions(*t, name))) << "seed " << seed;
      ASSERT_TRUE(same_stats(compute_stats(*t, name), literal_stats(*t, name))) << "seed " << seed;
    }
    for (Index i = 0; i <= t->max_index() + 2; ++i)
      ASSERT_TRUE(same_changes(changed_at(*t, i), literal_changed_at(*t, i))) << "seed " << seed << " at " << i;
  }
}

TEST(EvalFindTest, RunSearchFromAnyHintEqualsBinarySearch) {
  for (uint64_t seed = 0; seed < 300; ++seed) {
    RandomCase r(seed);
    SignalStore store;
    Index length = 1 + r.pick(r.pick(2) ? 40 : 3000);
    Index first = r.pick(3) ? 0 : r.pick(length);
    for (Index i = first; i < length; ++i)
      if (i == first || r.pick(r.pick(2) ? 2 : 60) == 0) store.set(0, i, I(i % 3));
    store.forward_fill_through(length);
    const SignalColumn& c = *store.column(0);
    for (Index i = 0; i < length + 2; ++i) {
      size_t hints[] = {SignalColumn::npos, 0, c.run_count() - 1, c.run_count(), r.pick(c.run_count() + 5)};
      for (size_t h : hints) ASSERT_EQ(find_run(c, i, h), c.run_at(i)) << "seed " << seed << " index " << i;
    }
  }
}

// Many names take the split path of changed_at; the order must not change.
TEST(EvalFindTest, ChangedAtOverManySignals) {
  RandomCase r(42);
  std::vector<TestSignal> signals;
  for (size_t s = 0; s < 9000; ++s) {
    std::vector<SignalValue> values;
    for (size_t i = 0; i < 4; ++i) values.push_back(r.pick(3) ? I(r.pick(2)) : r.value());
    signals.push_back({"sig" + std::to_string(s), s % 7000, std::move(values)});
  }
  auto t = make_trace(signals, 4);
  for (Index i = 0; i <= 5; ++i) ASSERT_TRUE(same_changes(changed_at(*t, i), literal_changed_at(*t, i)));
}

}  // namespace
}  // namespace trelm
