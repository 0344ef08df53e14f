#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <stdexcept>

#include "eval/find.hpp"
#include "base/threads/pool.hpp"
#include "base/threads/pool_size.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

TEST(EvalPoolTest, SizeFromEnvironment) {
  struct Case {
    const char* num_threads;
    const char* rs_num_cpus;
    size_t expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, 4},
      {"3", nullptr, 3},
      {"+3", "7", 3},
      {"0", "7", 4},  // 0 means the CPU count; the second variable is not read
      {"abc", "7", 7},
      {"", "7", 7},
      {"-1", "2", 2},
      {" 3", nullptr, 4},
      {"3 ", "x", 4},
      {"0x10", nullptr, 4},
      {nullptr, "0", 4},
      {nullptr, "+5", 5},
      {"1000000000", nullptr, kMaxPoolThreads},
      {"99999999999999999999999", "5", 5},  // too large to be a number
      {"1", nullptr, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pool_size_from(c.num_threads, c.rs_num_cpus, 4), c.expected)
        << (c.num_threads ? c.num_threads : "(unset)") << " / " << (c.rs_num_cpus ? c.rs_num_cpus : "(unset)");
  }
  EXPECT_EQ(pool_size_from(nullptr, nullptr, 5000), kMaxPoolThreads);
  EXPECT_GE(available_cpus(), 1u);
}

TEST(EvalPoolTest, CgroupQuotas) {
  EXPECT_EQ(cpus_from_cpu_max("max 100000\n"), std::nullopt);
  EXPECT_EQ(cpus_from_cpu_max("200000 100000\n"), 2u);
  EXPECT_EQ(cpus_from_cpu_max("150000 100000"), 1u);
  EXPECT_EQ(cpus_from_cpu_max("50000 100000"), 1u);
  EXPECT_EQ(cpus_from_cpu_max("garbage"), std::nullopt);
  EXPECT_EQ(cpus_from_cpu_max("100000 0"), std::nullopt);
  EXPECT_EQ(cpus_from_cfs("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(cpus_from_cfs("300000\n", "100000\n"), 3u);
  EXPECT_EQ(cpus_from_cfs("x", "100000"), std::nullopt);
}

TEST(EvalPoolTest, EveryPieceRunsOnce) {
  WorkerPool& pool = WorkerPool::instance();
  EXPECT_GE(pool.thread_count(), 1u);
  std::vector<std::atomic<int>> runs(1000);
  auto task = [&](size_t k) { runs[k].fetch_add(1); };
  pool.run(runs.size(), task);
  for (auto& r : runs) EXPECT_EQ(r.load(), 1);
}

TEST(EvalPoolTest, FailuresReachTheCallerAsBadAlloc) {
  WorkerPool& pool = WorkerPool::instance();
  std::atomic<int> ran{0};
  auto task = [&](size_t k) {
    ran.fetch_add(1);
    if (k == 3) throw std::runtime_error("worker failure");
    if (k == 5) throw std::bad_alloc();
  };
  EXPECT_THROW(pool.run(8, task), std::bad_alloc);
  EXPECT_EQ(ran.load(), 8);
  // The pool keeps working afterwards.
  std::atomic<int> again{0};
  auto count = [&](size_t) { again.fetch_add(1); };
  pool.run(16, count);
  EXPECT_EQ(again.load(), 16);
}

TEST(EvalPoolTest, ChildAfterForkStartsAFreshPool) {
  auto t = make_trace({{"a", 0, {I(1), I(0), I(1), I(1), I(0), I(1)}}}, 6);
  Expr a = Expr::signal(0);
  ASSERT_EQ(parallel_count(*t, a), 4u);  // the parent's pool exists now
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = parallel_count(*t, a) == 4 && parallel_find(*t, a) == std::vector<Index>{0, 2, 3, 5};
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(parallel_count(*t, a), 4u);
}

// The size is read when the pool starts, which in a fresh child is its next
// use; an absurd count is capped and the results stay right.
TEST(EvalPoolTest, ChildPoolFollowsTheEnvironment) {
  auto t = make_trace({{"a", 0, {I(1), I(0), I(1), I(1), I(0), I(1)}}}, 6);
  struct Case {
    const char* value;
    size_t most;
    size_t least;
  };
  const Case cases[] = {{"1", 1, 1}, {"3", 3, 3}, {"1000000000", kMaxPoolThreads, 1}};
  for (const auto& c : cases) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("RAYON_NUM_THREADS", c.value, 1);
      Expr a = Expr::signal(0);
      bool ok = parallel_count(*t, a) == 4 && parallel_find(*t, a) == std::vector<Index>{0, 2, 3, 5};
      size_t threads = WorkerPool::instance().thread_count();
      _exit(ok && threads <= c.most && threads >= c.least ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.value;
  }
}

}  // namespace
}  // namespace trelm
