#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "signal/run_cursor.hpp"
#include "signal/store.hpp"

namespace trelm {
namespace {

// The literal dense model: one value per signal per index.
class DenseStore {
 public:
  void set(SignalId id, Index index, SignalValue value) {
    auto& list = lists_[id];
    if (index >= list.size()) list.resize(index + 1);
    list[index] = std::move(value);
  }
  SignalValue get(SignalId id, Index index) const {
    auto it = lists_.find(id);
    if (it == lists_.end() || index >= it->second.size()) return SignalValue::unknown();
    return it->second[index];
  }
  void forward_fill(Index n) {
    if (n == 0) return;
    for (auto& [id, list] : lists_) {
      if (n - 1 < list.size() && !list[n - 1].is_unknown() && (n >= list.size() || list[n].is_unknown())) {
        SignalValue carried = list[n - 1];
        set(id, n, carried);
      }
    }
  }

 private:
  std::map<SignalId, std::vector<SignalValue>> lists_;
};

SignalValue I(uint64_t v) { return SignalValue::from_int(v); }
const SignalValue U = SignalValue::unknown();

void expect_same(const SignalValue& a, const SignalValue& b, const char* what, SignalId id, Index i) {
  EXPECT_TRUE(a.same_representation(b)) << what << " id " << id << " index " << i;
}

void compare_all(const SignalStore& store, const DenseStore& model, SignalId ids, Index indices) {
  for (SignalId id = 0; id < ids; ++id) {
    RunCursor cursor(store, id);
    for (Index i = 0; i < indices; ++i) {
      SignalValue want = model.get(id, i);
      expect_same(store.get(id, i), want, "get", id, i);
      const SignalValue& seen = cursor.at(i);
      expect_same(seen, want, "cursor", id, i);
      ASSERT_LE(cursor.segment_begin(), i);
      ASSERT_GT(cursor.segment_end(), i);
      for (Index j = cursor.segment_begin(); j < std::min<Index>(cursor.segment_end(), indices); ++j)
        expect_same(model.get(id, j), want, "segment", id, j);
    }
    auto range = store.get_range(id, 2, indices);
    ASSERT_EQ(range.size(), indices - 2);
    for (Index i = 2; i < indices; ++i) expect_same(range[i - 2], model.get(id, i), "range", id, i);
  }
}

SignalValue random_value(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0: return U;
    case 1: return SignalValue::from_real(std::nan(""));
    case 2: return SignalValue::logic(std::vector<uint8_t>{1, 2, 3});
    case 3: return SignalValue::str("a longer string value");
    default: return I(rng() % 3);
  }
}

TEST(SignalStore, ListsGrowWithUnknownAndReplaceInPlace) {
  SignalStore store;
  store.set(7, 3, I(9));
  for (Index i = 0; i < 3; ++i) EXPECT_TRUE(store.get(7, i).is_unknown());
  EXPECT_EQ(store.get(7, 3).int_value(), 9u);
  EXPECT_TRUE(store.get(7, 4).is_unknown());
  EXPECT_EQ(store.column(7)->length(), 4u);
  store.set(7, 1, I(2));
  EXPECT_EQ(store.column(7)->length(), 4u);
  EXPECT_EQ(store.get(7, 1).int_value(), 2u);
  EXPECT_TRUE(store.get(8, 0).is_unknown());
  EXPECT_EQ(store.column(8), nullptr);
}

TEST(SignalStore, GetRangeShapes) {
  SignalStore store;
  for (Index i = 0; i < 4; ++i) store.set(1, i, I(i));
  EXPECT_TRUE(store.get_range(1, 2, 2).empty());
  EXPECT_TRUE(store.get_range(1, 5, 3).empty());
  EXPECT_EQ(store.get_range(9, 2, 5).size(), 3u);
  auto r = store.get_range(1, 0, 10);
  ASSERT_EQ(r.size(), 10u);
  EXPECT_EQ(r[3].int_value(), 3u);
  EXPECT_TRUE(r[4].is_unknown() && r[9].is_unknown());
}

TEST(SignalStore, ForwardFillRules) {
  SignalStore store;
  store.set(0, 0, I(1));
  store.set(0, 1, I(2));
  store.forward_fill(0);
  store.forward_fill(3);  // list ends before index 2: unchanged
  EXPECT_EQ(store.column(0)->length(), 2u);
  store.forward_fill(2);
  EXPECT_EQ(store.get(0, 2).int_value(), 2u);
  store.forward_fill(1);  // a known value at 1 stays
  EXPECT_EQ(store.get(0, 1).int_value(), 2u);

  SignalStore unknown_tail;
  unknown_tail.set(0, 0, I(1));
  unknown_tail.set(0, 1, U);
  unknown_tail.forward_fill(2);
  EXPECT_EQ(unknown_tail.column(0)->length(), 2u);
}

TEST(SignalStore, WriteThenFillCarriesToTheEnd) {
  SignalStore store;
  store.set(0, 0, I(1));
  store.set(0, 3, I(0));
  store.forward_fill_through(6);
  std::vector<uint64_t> want{1, 1, 1, 0, 0, 0};
  for (Index i = 0; i < 6; ++i) EXPECT_EQ(store.get(0, i).int_value(), want[i]);
  EXPECT_TRUE(store.get(0, 6).is_unknown());
}

// Writes in any order, then fills: repeated rounds, as the scanners do.
TEST(SignalStoreModel, WriteThenFillMatchesDenseModel) {
  std::mt19937_64 rng(1234);
  for (int round = 0; round < 1500; ++round) {
    SignalStore store;
    DenseStore model;
    Index count = 1 + rng() % 20;
    int phases = 1 + rng() % 3;
    for (int phase = 0; phase < phases; ++phase) {
      int writes = rng() % 25;
      std::vector<SignalStore::Write> batch;
      bool use_batch = rng() % 2;
      for (int w = 0; w < writes; ++w) {
        SignalId id = rng() % 4;
        Index index = rng() % (count + 4);
        SignalValue v = random_value(rng);
        model.set(id, index, v);
        if (use_batch)
          batch.push_back({id, index, v});
        else
          store.set(id, index, v);
      }
      if (use_batch) store.set_many(std::move(batch));
      if (rng() % 4 == 0) {
        Index n = rng() % (count + 3);
        model.forward_fill(n);
        store.forward_fill(n);
      }
      for (Index i = 1; i < count; ++i) model.forward_fill(i);
      store.forward_fill_through(count);
      compare_all(store, model, 5, count + 6);
      count += rng() % 5;
    }
    if (HasFailure()) FAIL() << "round " << round;
  }
}

// Fill each index, then write it, in ascending order, as the VCD reader does.
TEST(SignalStoreModel, FillThenWriteMatchesDenseModel) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 1500; ++round) {
    SignalStore store;
    DenseStore model;
    Index count = rng() % 25;
    for (Index n = 0; n < count; ++n) {
      model.forward_fill(n);
      int writes = rng() % 4;
      for (int w = 0; w < writes; ++w) {
        SignalId id = rng() % 5;
        SignalValue v = random_value(rng);
        model.set(id, n, v);
        store.carry_forward(id, n);
        store.set(id, n, v);
      }
    }
    if (count > 0) store.carry_all_forward(count - 1);
    compare_all(store, model, 6, count + 3);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

TEST(RunCursor, RandomOrderReadsStayCorrect) {
  SignalStore store;
  DenseStore model;
  std::mt19937_64 rng(5);
  for (int w = 0; w < 200; ++w) {
    Index i = rng() % 100;
    SignalValue v = random_value(rng);
    store.set(0, i, v);
    model.set(0, i, v);
  }
  RunCursor cursor(store, 0);
  for (int r = 0; r < 500; ++r) {
    Index i = rng() % 120;
    expect_same(cursor.at(i), model.get(0, i), "cursor", 0, i);
  }
}

}  // namespace
}  // namespace trelm

namespace trelm {
namespace {

TEST(SignalStore, IndicesBeyond32BitsAndWideIntegers) {
  SignalStore store;
  Index far = (Index{1} << 33) + 5;
  store.set(0, 1, SignalValue::from_int(1));
  store.set(0, far, SignalValue::from_int(UINT64_MAX));
  store.set(0, far + 2, SignalValue::from_int(300));
  EXPECT_EQ(store.get(0, 1).int_value(), 1u);
  EXPECT_TRUE(store.get(0, far - 1).is_unknown());
  EXPECT_EQ(store.get(0, far).int_value(), UINT64_MAX);
  EXPECT_EQ(store.get(0, far + 2).int_value(), 300u);
  RunCursor cursor(store, 0);
  EXPECT_EQ(cursor.at(far).int_value(), UINT64_MAX);
  EXPECT_EQ(cursor.segment_begin(), far);
  EXPECT_EQ(cursor.segment_end(), far + 1);
  EXPECT_TRUE(cursor.at(far + 1).is_unknown());  // the gap before the last write
}

}  // namespace
}  // namespace trelm

namespace trelm {
namespace {

// Long columns: look-ups go through the sampled index and cross its blocks,
// also after the last run is replaced back and forth at block boundaries.
TEST(SignalStore, LongColumnsMatchDenseModel) {
  std::mt19937_64 rng(77);
  SignalStore store;
  DenseStore model;
  Index index = 0;
  for (int w = 0; w < 20000; ++w) {
    index += 1 + rng() % 3;
    SignalValue v = rng() % 10 == 0 ? SignalValue::unknown() : I(w % 5);
    store.set(0, index, v);
    model.set(0, index, v);
    if (rng() % 7 == 0) {  // rewrite the last position
      SignalValue again = I(rng() % 5);
      store.set(0, index, again);
      model.set(0, index, again);
    }
  }
  for (int r = 0; r < 20000; ++r) {
    Index i = rng() % (index + 5);
    expect_same(store.get(0, i), model.get(0, i), "get", 0, i);
  }
}

// Run look-ups start from where an evenly spread column would hold the index;
// columns spread any other way must give the same answers.
TEST(PackedStarts, UpperBoundMatchesBinarySearchForAnySpread) {
  std::mt19937_64 rng(3);
  enum Spread { Even, Clustered, Growing, Wide };
  for (Spread spread : {Even, Clustered, Growing, Wide}) {
    for (size_t count : {0u, 1u, 15u, 64u, 65u, 1000u, 70000u}) {
      PackedStarts starts;
      std::vector<uint64_t> model;
      uint64_t at = rng() % 5;
      for (size_t k = 0; k < count; ++k) {
        model.push_back(at);
        starts.push_back(at);
        switch (spread) {
          case Even: at += 3 + rng() % 3; break;
          case Clustered: at += (k / 500) % 2 ? 1 : 100000; break;
          case Growing: at += 1 + k * k / 64; break;
          case Wide: at += (k == count / 2) ? (uint64_t{1} << 40) : 1 + rng() % 7; break;
        }
      }
      uint64_t top = model.empty() ? 10 : model.back() + 10;
      for (int probe = 0; probe < 3000; ++probe) {
        uint64_t index = rng() % top;
        if (probe < 20) index = top - 20 + probe;
        else if (probe % 2 && !model.empty()) index = model[rng() % model.size()] - probe % 4 / 3;
        size_t expected = std::upper_bound(model.begin(), model.end(), index) - model.begin();
        ASSERT_EQ(starts.upper_bound(index), expected) << "spread " << spread << " count " << count << " index " << index;
      }
    }
  }
}

TEST(SignalStore, GetManyMatchesGet) {
  std::mt19937_64 rng(9);
  SignalStore store;
  const SignalId columns = 150;
  for (SignalId id = 0; id < columns; ++id) {
    if (id % 7 == 3) continue;  // never written
    const size_t runs = id % 5 == 0 ? 5000 + rng() % 5000 : rng() % 40;
    Index at = rng() % 50;
    for (size_t k = 0; k < runs; ++k) {
      SignalValue value = rng() % 9 == 0 ? SignalValue::unknown() : SignalValue::from_int(rng() % 4);
      store.set(id, at, value);
      at += 1 + (id % 3 == 0 ? rng() % 3 : rng() % 400);
    }
  }
  std::vector<SignalId> ids;
  for (SignalId id = 0; id < columns + 5; ++id) ids.push_back(id);
  ids.push_back(4);  // listed twice
  std::vector<SignalValue> got(ids.size());
  for (int probe = 0; probe < 300; ++probe) {
    Index index = probe < 5 ? static_cast<Index>(probe) * 1000000 : rng() % 2000000;
    store.get_many(ids, index, got);
    for (size_t k = 0; k < ids.size(); ++k)
      ASSERT_TRUE(got[k].same_representation(store.get(ids[k], index))) << "id " << ids[k] << " index " << index;
  }
}

}  // namespace
}  // namespace trelm
