// changed_at through the per-trace change index, against the literal
// comparison of every name's values at index - 1 and index.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "eval/change_index.hpp"
#include "eval/changes.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

std::vector<ChangeRecord> literal_changes(const Trace& t, Index index, std::string_view scope = {}) {
  std::vector<ChangeRecord> out;
  if (index == 0) return out;
  std::string prefix = std::string(scope) + ".";
  for (const auto& name : t.signal_names()) {
    if (!scope.empty() && !name.starts_with(prefix)) continue;
    auto id = t.signal_id(name);
    if (!id) continue;
    SignalValue a = t.signal_value_by_id(*id, index - 1), b = t.signal_value_by_id(*id, index);
    if (!(a == b)) out.push_back({name, a, b});
  }
  return out;
}

::testing::AssertionResult same(const std::vector<ChangeRecord>& got, const std::vector<ChangeRecord>& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << got.size() << " changes, expected " << want.size();
  for (size_t k = 0; k < got.size(); ++k)
    if (got[k].name != want[k].name || !identical(got[k].old_value, want[k].old_value) ||
        !identical(got[k].new_value, want[k].new_value))
      return ::testing::AssertionFailure() << "change " << k << " (" << got[k].name << ") differs";
  return ::testing::AssertionSuccess();
}

// Names in shuffled order over fewer ids: aliases, a repeated name, names
// without an id, ids never written; NaN runs; lists that end early or run
// past the last index.
std::unique_ptr<RecordTrace> random_trace(std::mt19937_64& rng, size_t timestamps, bool with_nan = true) {
  auto pick = [&](uint64_t n) { return n ? std::uniform_int_distribution<uint64_t>(0, n - 1)(rng) : 0; };
  auto value = [&]() -> SignalValue {
    switch (pick(12)) {
      case 0: return U();
      case 1: return with_nan ? R(std::nan("")) : R(1.5);
      case 2: return R(pick(2) ? 0.0 : -0.0);
      case 3: return L({1, 2});
      case 4: return S("5");
      default: return I(pick(3));
    }
  };
  TraceRecord r;
  size_t ids = 1 + pick(6);
  for (SignalId id = 0; id < ids; ++id) {
    if (pick(6) == 0) continue;  // never written
    size_t shape = pick(4);
    size_t length = shape == 0 ? pick(timestamps + 1) : shape == 1 ? timestamps + pick(4) : timestamps;
    size_t first = pick(4) == 0 ? pick(length + 1) : 0;
    SignalValue current = value();
    for (size_t i = first; i < length; ++i) {
      if (pick(3) == 0) current = value();
      r.store.set(id, i, current);
    }
  }
  size_t names = 1 + pick(10);
  for (size_t k = 0; k < names; ++k) {
    std::string name = (pick(2) ? "top." : "other.") + std::to_string(k);
    if (pick(8) == 0 && !r.signal_names.empty()) name = r.signal_names[pick(r.signal_names.size())];
    r.signal_names.push_back(name);
    if (pick(8) != 0) r.name_to_id[name] = pick(ids + 1);  // else: a name without an id
  }
  for (size_t i = 0; i < timestamps; ++i) r.timestamps.push_back(i);
  return std::make_unique<RecordTrace>(std::move(r));
}

TEST(EvalChangeIndexTest, RandomTracesEqualLiteralComparison) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 1500; ++round) {
    size_t timestamps = std::uniform_int_distribution<size_t>(0, round % 10 == 0 ? 300 : 30)(rng);
    auto t = random_trace(rng, timestamps, round % 2 == 0);
    for (Index i = 0; i <= t->max_index() + 5; ++i) {
      ASSERT_TRUE(same(changed_at(*t, i), literal_changes(*t, i))) << "round " << round << " index " << i;
      ASSERT_TRUE(same(changed_at_scope(*t, i, "top"), literal_changes(*t, i, "top"))) << "round " << round;
    }
    ASSERT_TRUE(same(changed_at(*t, std::numeric_limits<Index>::max()),
                     literal_changes(*t, std::numeric_limits<Index>::max())));
  }
}

// Few changes over many indices: the index covers a prefix only, and later
// indices take the full probe; both must agree with the literal answer.
TEST(EvalChangeIndexTest, IndicesPastTheCoveredPrefix) {
  const size_t timestamps = 200000;
  TraceRecord r;
  r.signal_names = {"a", "b"};
  r.name_to_id["a"] = 0;
  r.name_to_id["b"] = 1;
  for (Index i : {Index{0}, Index{5}, Index{70000}, Index{150000}}) r.store.set(0, i, I(i % 7));
  r.store.set(1, 3, R(std::nan("")));
  r.store.set(1, 199990, I(1));
  r.store.forward_fill_through(timestamps);
  for (size_t i = 0; i < timestamps; ++i) r.timestamps.push_back(i);
  RecordTrace t(std::move(r));
  auto index = ChangeIndex::build(t);
  ASSERT_TRUE(index);
  ASSERT_LT(index->covered_end(), timestamps);
  const Index probes[] = {1, 3, 4, 5, 6, 70000, index->covered_end() - 1, index->covered_end(), 150000, 199990,
                          199991, timestamps - 1, timestamps, timestamps + 1};
  for (Index i : probes) EXPECT_TRUE(same(changed_at(t, i), literal_changes(t, i))) << "index " << i;
}

// Enough indices for the index to be built in several parts at once.
TEST(EvalChangeIndexTest, ManyIndicesBuiltInParts) {
  std::mt19937_64 rng(3);
  auto t = random_trace(rng, 100000, false);  // a NaN would keep its column out of the index
  auto index = ChangeIndex::build(*t);
  ASSERT_TRUE(index && index->covered_end() == t->max_index() + 2);
  std::uniform_int_distribution<Index> any(0, t->max_index() + 2);
  std::vector<Index> probes = {0, 1, t->max_index(), t->max_index() + 1};
  for (Index edge = 16384; edge <= t->max_index(); edge += 16384)  // where the parts meet
    for (Index i = edge - 8; i <= edge + 1; ++i) probes.push_back(i);
  for (int k = 0; k < 3000; ++k) probes.push_back(any(rng));
  for (Index i : probes) ASSERT_TRUE(same(changed_at(*t, i), literal_changes(*t, i))) << "index " << i;
}

TEST(EvalChangeIndexTest, ConcurrentFirstCallsAgree) {
  std::mt19937_64 rng(5);
  auto t = random_trace(rng, 400);
  std::vector<std::vector<ChangeRecord>> expected;
  for (Index i = 0; i <= 401; ++i) expected.push_back(literal_changes(*t, i));
  std::vector<int> ok(4, 0);
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      bool all = true;
      for (Index i = 0; i <= 401; ++i) all = all && same(changed_at(*t, i), expected[i]);
      ok[k] = all;
    });
  for (auto& th : threads) th.join();
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(ok[k]) << "thread " << k;
}

}  // namespace
}  // namespace trelm
