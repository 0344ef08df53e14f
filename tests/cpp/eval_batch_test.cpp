// Batch evaluation against the literal per-index evaluation, on random
// integer-heavy traces long enough to fill several batches and run buffers.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "eval/batch_eval.hpp"
#include "eval/find.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

std::vector<Index> literal_find(const Trace& t, const Expr& e, Index first, Index last) {
  std::vector<Index> out;
  for (Index i = first; i < last; ++i)
    if (eval_bool(t, e, i)) out.push_back(i);
  return out;
}

class IntegerCase {
 public:
  explicit IntegerCase(uint64_t seed) : rng_(seed) {}

  uint64_t pick(uint64_t n) { return n ? std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_) : 0; }

  // Mostly small Ints that repeat; now and then a value of another kind, which
  // the batch hands to the general evaluator.
  SignalValue value() {
    switch (pick(40)) {
      case 0: return U();
      case 1: return L({1, 2});
      case 2: return R(1.0);
      case 3: return I(UINT64_MAX);
      default: return I(pick(4));
    }
  }

  std::unique_ptr<RecordTrace> trace(size_t& signal_count) {
    size_t timestamps = 1 + pick(pick(4) == 0 ? 40 : 1500);
    signal_count = 1 + pick(3);
    std::vector<TestSignal> signals;
    for (size_t s = 0; s < signal_count; ++s) {
      size_t shape = pick(6);
      size_t length = shape == 0 ? pick(timestamps + 1) : shape == 1 ? timestamps + 1 + pick(5) : timestamps;
      size_t first = pick(5) == 0 ? pick(length + 1) : 0;  // Unknown before the first value
      uint64_t hold = 1 + pick(pick(2) ? 2 : 30);          // clock-like or slower
      std::vector<SignalValue> values(first, U());
      SignalValue current = value();
      for (size_t i = first; i < length; ++i) {
        if (pick(hold) == 0) current = value();
        values.push_back(current);
      }
      signals.push_back({"s" + std::to_string(s), s, std::move(values)});
    }
    return make_trace(signals, timestamps);
  }

  int64_t offset(Index max_index) {
    switch (pick(10)) {
      case 0: return static_cast<int64_t>(max_index) * (pick(2) ? 1 : -1);
      case 1: return static_cast<int64_t>(max_index + 1) * (pick(2) ? 1 : -1);
      case 2: return pick(2) ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
      case 3: return static_cast<int64_t>(pick(200)) - 100;
      default: return static_cast<int64_t>(pick(7)) - 3;
    }
  }

  Expr constant() {
    const uint64_t picks[] = {0, 1, 2, 3, UINT64_MAX};
    return Expr::constant(I(picks[pick(std::size(picks))]));
  }

  // Trees of the kinds the batch takes: signals (possibly shifted or
  // missing), Int constants, and every operator.
  Expr tree(size_t signals, Index max_index, int depth) {
    size_t kind = depth <= 0 ? pick(3) : 3 + pick(16);
    if (kind == 0) return Expr::signal(pick(signals + 1));
    if (kind == 1) return constant();
    if (kind == 2) return Expr::rel_eval(Expr::signal(pick(signals)), offset(max_index));
    switch (kind) {
      case 3:
      case 4:
      case 5:
      case 6: {
        const ExprKind unary[] = {ExprKind::Not, ExprKind::Signed, ExprKind::IsX, ExprKind::IsZ};
        return Expr::unary(unary[kind - 3], tree(signals, max_index, depth - 1));
      }
      case 7: {
        const uint64_t bits[] = {0, 1, 2, 63, 64, UINT64_MAX};
        return Expr::slice(tree(signals, max_index, depth - 1), bits[pick(6)], bits[pick(6)]);
      }
      default: {
        auto op = static_cast<ExprKind>(static_cast<uint8_t>(ExprKind::And) + pick(13));
        Expr l = tree(signals, max_index, depth - 1);
        Expr r = tree(signals, max_index, depth - 1);
        return Expr::binary(op, l, r);
      }
    }
  }

 private:
  std::mt19937_64 rng_;
};

TEST(EvalBatchTest, ScansEqualLiteralEvaluation) {
  size_t batched = 0;
  for (uint64_t seed = 0; seed < 600; ++seed) {
    IntegerCase r(seed);
    size_t signals = 0;
    auto t = r.trace(signals);
    Expr e = r.tree(signals, t->max_index(), 1 + static_cast<int>(r.pick(4)));
    const Index end = t->max_index() + 1;
    auto expected = literal_find(*t, e, 0, end);
    ASSERT_EQ(find(*t, e), expected) << "seed " << seed;
    ASSERT_EQ(parallel_find(*t, e), expected) << "seed " << seed;
    ASSERT_EQ(parallel_count(*t, e), expected.size()) << "seed " << seed;

    StretchProgram program(e, t->max_index());
    if (!BatchEvaluator::supports(program)) continue;
    ++batched;
    // Pieces of the range, as the workers scan them.
    for (int piece = 0; piece < 3; ++piece) {
      Index a = r.pick(end + 1), b = r.pick(end + 1);
      if (a > b) std::swap(a, b);
      BatchEvaluator evaluator(program, t->store());
      std::vector<Index> got;
      Wide128 previous_last = 0;
      bool merged = true;
      evaluator.scan(a, b, [&](Wide128 first, Wide128 last) {
        merged = merged && (got.empty() || first > previous_last);  // ranges are maximal
        previous_last = last;
        for (Wide128 i = first; i < last; ++i) got.push_back(static_cast<Index>(i));
      });
      ASSERT_EQ(got, literal_find(*t, e, a, b)) << "seed " << seed << " piece " << a << ".." << b;
      ASSERT_TRUE(merged) << "seed " << seed;
    }
  }
  EXPECT_GT(batched, 300u);  // the generator mostly makes programs the batch takes
}

TEST(EvalBatchTest, WhichProgramsTakeTheBatch) {
  Expr clk = Expr::signal(0);
  Expr one = Expr::constant(I(1));
  struct Case {
    Expr expr;
    bool batched;
  };
  const Case cases[] = {
      {Expr::binary(ExprKind::Eq, clk, one), true},
      {Expr::binary(ExprKind::And, clk, Expr::unary(ExprKind::Not, Expr::rel_eval(clk, -1))), true},
      {Expr::always_true(), true},
      {Expr::binary(ExprKind::Eq, clk, Expr::constant(R(1.0))), false},    // a Real constant
      {Expr::binary(ExprKind::Eq, clk, Expr::constant(U())), false},       // an Unknown constant
      {Expr::rel_eval(Expr::unary(ExprKind::Not, clk), 1), false},          // a shifted subtree
      {Expr::rel_eval(clk, 100), false},                                    // never in range
  };
  for (const auto& c : cases) {
    StretchProgram program(c.expr, 10);
    EXPECT_EQ(BatchEvaluator::supports(program), c.batched);
  }
  StretchProgram huge(Expr::binary(ExprKind::Eq, clk, one), std::numeric_limits<Index>::max());
  EXPECT_FALSE(BatchEvaluator::supports(huge));
}

// A clock over many batches, with a few Logic runs and an Unknown tail in
// the middle of the range.
TEST(EvalBatchTest, ClockWithInterruptions) {
  std::vector<SignalValue> clock;
  for (Index i = 0; i < 5000; ++i) clock.push_back(i % 997 == 5 ? L({2}) : I(i % 2));
  std::vector<SignalValue> shorter(clock.begin(), clock.begin() + 3001);
  auto t = make_trace({{"clk", 0, clock}, {"half", 1, shorter}}, 5000);
  Expr clk = Expr::signal(0), half = Expr::signal(1);
  const Expr exprs[] = {
      Expr::binary(ExprKind::Eq, clk, Expr::constant(I(1))),
      Expr::binary(ExprKind::And, clk, Expr::unary(ExprKind::Not, Expr::rel_eval(clk, -1))),
      Expr::binary(ExprKind::Neq, half, Expr::rel_eval(clk, 2)),
      Expr::unary(ExprKind::IsX, Expr::rel_eval(half, -7)),
  };
  for (const auto& e : exprs) {
    auto expected = literal_find(*t, e, 0, 5000);
    EXPECT_EQ(find(*t, e), expected);
    EXPECT_EQ(parallel_count(*t, e), expected.size());
  }
}

}  // namespace
}  // namespace trelm
