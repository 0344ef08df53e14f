#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

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

// Running out of memory outranks any other failure of the same job.
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

// A failure on a worker reaches the caller as itself, that of the lowest
// failing piece, whether pieces are taken as they come or parts are fixed.
TEST(EvalPoolTest, FailuresKeepTheirKind) {
  WorkerPool& pool = WorkerPool::instance();
  const size_t threads = pool.thread_count();
  for (bool fixed : {false, true}) {
    const size_t count = fixed ? threads : 64;
    const size_t first = fixed ? count - 1 : 5;  // a fixed part on a worker when there is one
    auto fail_from = [&](size_t k) {
      if (k >= first) throw std::runtime_error("piece " + std::to_string(k));
    };
    try {
      fixed ? pool.run_parts(count, fail_from) : pool.run(count, fail_from);
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), "piece " + std::to_string(first)) << fixed;
    }
    auto out_of_memory = [&](size_t k) {
      if (k == first) throw std::bad_alloc();
    };
    EXPECT_THROW(fixed ? pool.run_parts(count, out_of_memory) : pool.run(count, out_of_memory), std::bad_alloc);
  }
}

// Part k runs on the same thread in every job, part 0 on the caller; a job
// too small to share out runs on the caller alone.
TEST(EvalPoolTest, PartsKeepTheirThreads) {
  WorkerPool& pool = WorkerPool::instance();
  const size_t parts = pool.thread_count() + 1;
  std::vector<std::thread::id> first(parts), again(parts);
  auto record = [](std::vector<std::thread::id>& into) {
    return [&into](size_t k) { into[k] = std::this_thread::get_id(); };
  };
  auto into_first = record(first);
  auto into_again = record(again);
  pool.run_parts(parts, into_first);
  pool.run_parts(parts, into_again);
  EXPECT_EQ(first, again);
  EXPECT_EQ(first[0], std::this_thread::get_id());
  EXPECT_EQ(first[parts - 1], first[0]);  // part k on thread k % thread_count()
  for (size_t k = 1; k + 1 < parts; ++k) EXPECT_NE(first[k], first[0]) << k;

  EXPECT_FALSE(pool.shares(kMinSharedWork - 1));
  std::vector<std::thread::id> small(16);
  auto into_small = record(small);
  pool.run(small.size(), into_small, kMinSharedWork - 1);
  for (auto id : small) EXPECT_EQ(id, std::this_thread::get_id());
}

// Jobs started from inside a job run there; callers on several threads take
// turns. Every piece of every job runs once.
TEST(EvalPoolTest, NestedAndConcurrentJobs) {
  WorkerPool& pool = WorkerPool::instance();
  constexpr size_t kOuter = 8, kInner = 32, kCallers = 4;
  std::vector<std::atomic<int>> runs(kCallers * kOuter * kInner);
  auto caller = [&](size_t c) {
    for (int round = 0; round < 20; ++round) {
      auto outer = [&](size_t o) {
        auto inner = [&](size_t i) { runs[(c * kOuter + o) * kInner + i].fetch_add(1); };
        if (o % 2) pool.run(kInner, inner);
        else pool.run_parts(kInner, inner);
      };
      if (round % 2) pool.run(kOuter, outer);
      else pool.run_parts(kOuter, outer);
    }
  };
  std::vector<std::thread> callers;
  for (size_t c = 0; c < kCallers; ++c) callers.emplace_back(caller, c);
  for (auto& t : callers) t.join();
  for (auto& r : runs) EXPECT_EQ(r.load(), 20);
}

// A trace long enough for the searches to be shared out: the pieces, joined,
// give the serial list.
TEST(EvalPoolTest, SharedSearchesEqualTheSerialOne) {
  constexpr size_t kLength = 60000;
  std::mt19937_64 rng(11);
  std::vector<TestSignal> signals;
  for (SignalId s = 0; s < 3; ++s) {
    std::vector<SignalValue> values;
    SignalValue current = I(0);
    for (size_t i = 0; i < kLength; ++i) {
      if (rng() % (s == 0 ? 2 : 40) == 0) current = rng() % 9 ? I(rng() % 4) : U();
      values.push_back(current);
    }
    signals.push_back({"s" + std::to_string(s), s, std::move(values)});
  }
  auto t = make_trace(signals, kLength);
  Expr a = Expr::signal(0), b = Expr::signal(1), c = Expr::signal(2);
  const Expr cases[] = {
      Expr::binary(ExprKind::Eq, b, Expr::constant(I(2))),
      Expr::binary(ExprKind::And, a, Expr::unary(ExprKind::Not, Expr::rel_eval(a, -1))),
      Expr::binary(ExprKind::Or, Expr::binary(ExprKind::Gt, b, c), Expr::rel_eval(Expr::unary(ExprKind::IsX, c), 7)),
  };
  for (const Expr& e : cases) {
    auto expected = find(*t, e);
    EXPECT_EQ(parallel_find(*t, e), expected);
    EXPECT_EQ(parallel_count(*t, e), expected.size());
  }
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
