// FindStream hands over exactly find's list, whether the scan finishes on
// the caller's thread or goes on in its own, and stops cleanly when dropped.
#include <gtest/gtest.h>

#include "eval/find.hpp"
#include "eval/find_stream.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

std::vector<Index> drain(FindStream& stream) {
  std::vector<Index> out;
  for (auto part = stream.next(); !part.empty(); part = stream.next()) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(EvalFindStreamTest, EqualsFind) {
  // Lengths around the piece size; a clock (dense matches), a slow counter
  // with Logic runs (sparse matches, and the general evaluator), everything.
  for (size_t timestamps : {size_t{1}, size_t{1000}, size_t{65536}, size_t{65537}, size_t{300001}}) {
    std::vector<SignalValue> clock, counter;
    for (size_t i = 0; i < timestamps; ++i) {
      clock.push_back(I(i % 2));
      counter.push_back(i % 5003 == 17 ? L({2, 1}) : I((i / 1000) % 7));
    }
    auto t = make_trace({{"clk", 0, clock}, {"count", 1, counter}}, timestamps);
    Expr clk = Expr::signal(0), count = Expr::signal(1);
    const Expr exprs[] = {
        Expr::binary(ExprKind::And, clk, Expr::unary(ExprKind::Not, Expr::rel_eval(clk, -1))),
        Expr::binary(ExprKind::Eq, count, Expr::constant(I(3))),
        Expr::unary(ExprKind::IsX, Expr::rel_eval(count, 2)),
        Expr::binary(ExprKind::Eq, count, Expr::constant(R(3.0))),  // the general evaluator throughout
        Expr::always_true(),
    };
    for (const Expr& e : exprs) {
      FindStream stream(*t, e);
      EXPECT_EQ(drain(stream), find(*t, e)) << timestamps << " indices";
      EXPECT_TRUE(stream.next().empty());
    }
  }
}

TEST(EvalFindStreamTest, DroppedEarly) {
  std::vector<SignalValue> clock;
  for (size_t i = 0; i < 2000000; ++i) clock.push_back(I(i % 2));
  auto t = make_trace({{"clk", 0, clock}}, clock.size());
  Expr all = Expr::always_true();
  for (int taken = 0; taken < 3; ++taken) {
    FindStream stream(*t, all);
    for (int k = 0; k < taken; ++k) EXPECT_FALSE(stream.next().empty());
  }  // each stream stops its scan and joins here
}

}  // namespace
}  // namespace trelm
