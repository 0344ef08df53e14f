// Counts heap allocations made by the evaluation of scalar values. The global
// allocation functions are replaced for the whole test binary; they count
// only while a test on the same thread asks them to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "eval/expr.hpp"
#include "eval_test_trace.hpp"

namespace {
thread_local bool t_counting = false;
thread_local size_t t_allocations = 0;
}  // namespace

void* operator new(size_t size) {
  if (t_counting) ++t_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (t_counting) ++t_allocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace trelm {
namespace {

using namespace testing;

TEST(EvalAllocTest, ScalarEvaluationAllocatesNothing) {
  auto t = make_trace({{"a", 0, {I(3), R(2.5), U(), I(7)}}, {"b", 1, {R(1.0), I(2), I(2), U()}}}, 4);
  Expr a = Expr::signal(0), b = Expr::signal(1);
  Expr tree = Expr::binary(
      ExprKind::Or,
      Expr::binary(ExprKind::And, Expr::binary(ExprKind::Gt, Expr::binary(ExprKind::Add, a, b), Expr::constant(I(2))),
                   Expr::unary(ExprKind::Not, Expr::unary(ExprKind::IsX, Expr::rel_eval(a, -1)))),
      Expr::binary(ExprKind::Eq, Expr::slice(b, 3, 0), Expr::constant(R(2.0))));
  t_allocations = 0;
  t_counting = true;
  bool any = false;
  for (Index i = 0; i < 6; ++i) any = eval_bool(*t, tree, i) || any;
  t_counting = false;
  EXPECT_TRUE(any);
  EXPECT_EQ(t_allocations, 0u);
}

}  // namespace
}  // namespace trelm
