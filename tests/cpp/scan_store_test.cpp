// StagedStore against SignalStore driven by the literal call sequence the
// scanners replace: batches of sets, carries through a count, and zero start
// values, in random order over random signals and indices.
#include <gtest/gtest.h>

#include <random>

#include "signal/staged_store.hpp"

namespace trelm {
namespace {

void expect_same(const SignalStore& expected, const SignalStore& actual, SignalId ids, SignalId spread, Index indices) {
  for (SignalId id = 0; id < ids * spread; id += spread)
    for (Index i = 0; i < indices; ++i)
      ASSERT_TRUE(expected.get(id, i).same_representation(actual.get(id, i))) << "id " << id << " index " << i;
}

TEST(ScanStagedStore, MatchesSequentialSetsAndCarries) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 400; ++round) {
    SignalStore expected;
    StagedStore staged;
    const SignalId ids = 1 + rng() % 5;
    const Index span = 1 + rng() % 30;
    // Widely spread ids take the comparison sort instead of distribution by id.
    const SignalId spread = rng() % 4 == 0 ? 3000 : 1;
    int steps = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < steps; ++s) {
      switch (rng() % 3) {
        case 0: {
          std::vector<StagedStore::Write> writes;
          int count = static_cast<int>(rng() % 12);
          for (int w = 0; w < count; ++w) {
            StagedStore::Write write{rng() % ids * spread, rng() % span, rng() % 3};
            expected.set(write.id, write.index, SignalValue::from_int(write.value));
            writes.push_back(write);
          }
          staged.set_many(std::move(writes));
          break;
        }
        case 1: {
          // Counts rise and fall, as SHM transition files may.
          Index count = rng() % (span + 5);
          for (Index i = 1; i < count; ++i) expected.forward_fill(i);
          staged.fill_through(count);
          break;
        }
        default: {
          SignalId below = rng() % (ids + 1);
          for (SignalId id = 0; id < below; ++id)  // ids below `below` are dense: spread 1 here
            if (expected.get(id, 0).is_unknown()) expected.set(id, 0, SignalValue::from_int(0));
          staged.zero_unknown_starts(below);
          break;
        }
      }
    }
    SignalStore actual = std::move(staged).finish();
    expect_same(expected, actual, ids + 1, spread, span + 8);
    if (spread > 1) expect_same(expected, actual, ids + 1, 1, span + 8);
  }
}

TEST(ScanStagedStore, LaterBatchesIntoLongColumnsStayFast) {
  // Two batches of a million writes each into the same signal, the second
  // one between the positions of the first: one merge each, not one copy per write.
  StagedStore staged;
  std::vector<StagedStore::Write> first, second;
  for (Index i = 0; i < 1000000; ++i) first.push_back({0, 2 * i, i & 1});
  for (Index i = 0; i < 1000000; ++i) second.push_back({0, 2 * i + 1, 7});
  staged.set_many(std::move(first));
  staged.fill_through(2000000);
  staged.set_many(std::move(second));
  SignalStore store = std::move(staged).finish();
  EXPECT_EQ(store.get(0, 2).to_u64(), 1u);
  EXPECT_EQ(store.get(0, 4).to_u64(), 0u);
  EXPECT_EQ(store.get(0, 3).to_u64(), 7u);
  EXPECT_EQ(store.get(0, 1999999).to_u64(), 7u);
  EXPECT_TRUE(store.get(0, 2000000).is_unknown());
}

}  // namespace
}  // namespace trelm
