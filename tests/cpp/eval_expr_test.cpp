#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "eval/expr.hpp"
#include "eval/find.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

Expr C(SignalValue v) { return Expr::constant(std::move(v)); }
Expr bin(ExprKind k, SignalValue a, SignalValue b) { return Expr::binary(k, C(std::move(a)), C(std::move(b))); }
Expr un(ExprKind k, SignalValue a) { return Expr::unary(k, C(std::move(a))); }

// A trace with one empty signal list is enough for constant expressions.
const RecordTrace& empty_trace() {
  static auto trace = make_trace({}, 0);
  return *trace;
}

struct Case {
  const char* what;
  Expr expr;
  SignalValue expected;
};

TEST(EvalExprTest, OperatorsOnConstants) {
  std::vector<Case> cases = {
      {"Int 5 == Str 5", bin(ExprKind::Eq, I(5), S("5")), I(1)},
      {"Real 2.5 == Real 2.7", bin(ExprKind::Eq, R(2.5), R(2.7)), I(1)},
      {"Real 2.5 == Int 3", bin(ExprKind::Eq, R(2.5), I(3)), I(0)},
      {"NaN == 0.0", bin(ExprKind::Eq, R(kNaN), R(0.0)), I(1)},
      {"Unknown == Unknown", bin(ExprKind::Eq, U(), U()), I(1)},
      {"Unknown != Unknown", bin(ExprKind::Neq, U(), U()), I(0)},
      {"Unknown == Int 0", bin(ExprKind::Eq, U(), I(0)), I(0)},
      {"Logic 1X == itself", bin(ExprKind::Eq, L({1, 2}), L({1, 2})), I(1)},
      {"Logic 1X == Int 2", bin(ExprKind::Eq, L({1, 2}), I(2)), I(0)},
      {"Logic 011 == Int 3", bin(ExprKind::Eq, L({0, 1, 1}), I(3)), I(1)},
      {"Wide [7,9] == Int 7", bin(ExprKind::Eq, W({7, 9}), I(7)), I(1)},
      {"3 - 5 wraps", bin(ExprKind::Sub, I(3), I(5)), I(kMax - 1)},
      {"max + 1 wraps", bin(ExprKind::Add, I(kMax), I(1)), I(0)},
      {"Real -1.0 < 1", bin(ExprKind::Lt, R(-1.0), I(1)), I(1)},
      {"Gt of Unknown", bin(ExprKind::Gt, U(), I(0)), U()},
      {"Gte equal", bin(ExprKind::Gte, I(4), S("+4")), I(1)},
      {"Lte of Str non-number", bin(ExprKind::Lte, S("x"), I(4)), U()},
      {"BitAnd", bin(ExprKind::BitAnd, I(12), I(10)), I(8)},
      {"BitOr", bin(ExprKind::BitOr, I(12), I(10)), I(14)},
      {"BitXor", bin(ExprKind::BitXor, I(12), I(10)), I(6)},
      {"BitXor with X", bin(ExprKind::BitXor, L({2}), I(10)), U()},
      {"And of NaN and Str", bin(ExprKind::And, R(kNaN), S("a")), I(1)},
      {"And with empty Str", bin(ExprKind::And, I(1), S("")), I(0)},
      {"Or of -0.0 and Logic XZ", bin(ExprKind::Or, R(-0.0), L({2, 3})), I(0)},
      {"Or with Wide [0,4]", bin(ExprKind::Or, U(), W({0, 4})), I(1)},
      {"Not Unknown", un(ExprKind::Not, U()), I(1)},
      {"Not Logic 1X", un(ExprKind::Not, L({1, 2})), I(0)},
      {"Signed Logic 1111", un(ExprKind::Signed, L({1, 1, 1, 1})), I(15)},
      {"Signed Str", un(ExprKind::Signed, S("abc")), U()},
      {"IsX Unknown", un(ExprKind::IsX, U()), I(1)},
      {"IsX Logic 0X", un(ExprKind::IsX, L({0, 2})), I(1)},
      {"IsX Logic Z", un(ExprKind::IsX, L({3})), I(0)},
      {"IsZ Unknown", un(ExprKind::IsZ, U()), I(0)},
      {"IsZ Logic Z", un(ExprKind::IsZ, L({3})), I(1)},
      {"Slice 7:4 of 171", Expr::slice(C(I(171)), 7, 4), I(10)},
      {"Slice 3:5", Expr::slice(C(I(171)), 3, 5), I(0)},
      {"Slice 63:0", Expr::slice(C(I(kMax)), 63, 0), I(kMax)},
      {"Slice 100:0", Expr::slice(C(I(kMax)), 100, 0), I(kMax)},
      {"Slice 65:64 of 6", Expr::slice(C(I(6)), 65, 64), I(2)},
      {"Slice 0:0", Expr::slice(C(I(5)), 0, 0), I(1)},
      {"Slice full range", Expr::slice(C(I(0xF0)), kMax, 0), I(0xF0)},
      {"Slice max:1", Expr::slice(C(I(0xF0)), kMax, 1), I(0x78)},
      {"Slice of Logic with X", Expr::slice(C(L({1, 2})), 0, 0), U()},
      {"Slice of Real", Expr::slice(C(R(7.9)), 1, 0), I(3)},
      {"AlwaysTrue", Expr::always_true(), I(1)},
      {"Const Str copied", C(S("a long text past the inline size")), S("a long text past the inline size")},
  };
  for (const auto& c : cases) {
    SignalValue got = eval(empty_trace(), c.expr, 0);
    EXPECT_TRUE(identical(got, c.expected)) << c.what;
  }
}

TEST(EvalExprTest, TruthRule) {
  struct Truth {
    SignalValue v;
    bool expected;
  };
  std::vector<Truth> cases = {{I(0), false},        {I(2), true},         {R(kNaN), true},       {R(-0.0), false},
                              {S(""), false},       {S("0"), true},       {L({2, 3}), false},    {L({1, 2}), true},
                              {W({0, 4}), true},    {W({0, 0}), false},   {W({}), false},        {U(), false},
                              {L({}), false}};
  for (const auto& c : cases) {
    EXPECT_EQ(is_true(c.v), c.expected);
    EXPECT_EQ(eval_bool(empty_trace(), C(c.v), 0), c.expected);
  }
}

// Signal 1: 0,1,2,3,4 over five indices; signal 2 is never written.
std::unique_ptr<RecordTrace> counting_trace() {
  return make_trace({{"top.n", 1, {I(0), I(1), I(2), I(3), I(4)}}}, 5);
}

TEST(EvalExprTest, SignalsAndRelativeEvaluation) {
  auto trace = counting_trace();
  Expr n = Expr::signal(1);
  EXPECT_TRUE(identical(eval(*trace, n, 3), I(3)));
  EXPECT_TRUE(identical(eval(*trace, n, 9), U()));
  EXPECT_TRUE(identical(eval(*trace, Expr::signal(2), 0), U()));
  EXPECT_TRUE(identical(eval(*trace, Expr::unary(ExprKind::IsX, Expr::signal(2)), 0), I(1)));

  struct Rel {
    int64_t offset;
    Index index;
    SignalValue expected;
  };
  const int64_t big = std::numeric_limits<int64_t>::max();
  const int64_t small = std::numeric_limits<int64_t>::min();
  std::vector<Rel> cases = {
      {-1, 0, U()}, {-1, 1, I(0)}, {1, 4, U()},  {1, 3, I(4)},      {0, 2, I(2)},
      {big, 5, U()}, {big, 0, U()}, {small, 4, U()}, {small, kMax, U()}, {1, kMax, U()},
      {-4, 4, I(0)}, {-5, 4, U()}, {4, 0, I(4)},  {-1, kMax, U()},   {2, 10, U()},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(identical(eval(*trace, Expr::rel_eval(n, c.offset), c.index), c.expected))
        << "offset " << c.offset << " at " << c.index;
  }
  // Nested offsets add up; each level checks its own target.
  Expr twice = Expr::rel_eval(Expr::rel_eval(n, 3), -2);
  EXPECT_TRUE(identical(eval(*trace, twice, 0), U()));  // 0 - 2 is out of range first
  EXPECT_TRUE(identical(eval(*trace, twice, 2), I(3)));
  EXPECT_TRUE(identical(eval(*trace, twice, 3), I(4)));
  EXPECT_TRUE(identical(eval(*trace, twice, 4), U()));
}

TEST(EvalExprTest, NegatedSearchMatchesUnknown) {
  auto trace = make_trace({{"a", 0, {U(), I(5), I(1), U()}}}, 4);
  Expr gt = Expr::binary(ExprKind::Gt, Expr::signal(0), C(I(2)));
  EXPECT_EQ(find(*trace, gt), (std::vector<Index>{1}));
  EXPECT_EQ(find(*trace, Expr::unary(ExprKind::Not, gt)), (std::vector<Index>{0, 2, 3}));
}

TEST(EvalExprTest, CopiesAreIndependentOfTheOriginal) {
  Expr a = Expr::binary(ExprKind::Add, C(I(2)), C(I(3)));
  Expr copy = a;
  a = Expr::always_true();
  Expr moved = std::move(copy);
  EXPECT_EQ(moved.kind(), ExprKind::Add);
  EXPECT_TRUE(identical(eval(empty_trace(), moved, 0), I(5)));
  moved = moved;  // self-assignment keeps the tree
  EXPECT_TRUE(identical(eval(empty_trace(), moved, 0), I(5)));
}

// Trees as deep as the Python layer can build them must not exhaust any
// stack: 20,000 nested and_ calls, each copying the tree so far.
TEST(EvalExprTest, DeepTreesAreSafeEverywhere) {
  auto trace = make_trace({{"a", 0, {I(1), I(1), I(0), I(1)}}}, 4);
  Expr leaf = Expr::signal(0);
  Expr chain = leaf;
  for (int k = 0; k < 20000; ++k) chain = Expr::binary(ExprKind::And, chain, leaf);
  Expr copy = chain;
  EXPECT_TRUE(eval_bool(*trace, copy, 0));
  EXPECT_FALSE(eval_bool(*trace, copy, 2));
  std::vector<Index> expected = {0, 1, 3};
  EXPECT_EQ(find(*trace, chain), expected);
  EXPECT_EQ(parallel_find(*trace, chain), expected);
  EXPECT_EQ(parallel_count(*trace, chain), 3u);

  // Deep on the other side and through RelEval and unary nodes as well.
  Expr right = leaf;
  for (int k = 0; k < 20000; ++k) {
    Expr inner = Expr::rel_eval(Expr::unary(ExprKind::Not, Expr::unary(ExprKind::Not, right)), k % 2 ? 1 : -1);
    right = Expr::binary(ExprKind::Or, C(I(0)), inner);
  }
  EXPECT_EQ(find(*trace, right), parallel_find(*trace, right));
  EXPECT_TRUE(eval_bool(*trace, right, 0));
}

}  // namespace
}  // namespace trelm
