#include <gtest/gtest.h>

#include <random>

#include "signal/run_cursor.hpp"

namespace trelm {
namespace {

class Picker {
 public:
  explicit Picker(uint64_t seed) : rng_(seed) {}
  uint64_t pick(uint64_t n) { return n ? std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_) : 0; }

 private:
  std::mt19937_64 rng_;
};

// Dense and sparse columns, some Unknown before their first run; every hint
// and guess, near or far, must give the run the binary search gives.
TEST(RunSearch, FromAnyHintEqualsBinarySearch) {
  for (uint64_t seed = 0; seed < 300; ++seed) {
    Picker r(seed);
    SignalStore store;
    Index length = 1 + r.pick(r.pick(2) ? 40 : 3000);
    Index first = r.pick(3) ? 0 : r.pick(length);
    for (Index i = first; i < length; ++i)
      if (i == first || r.pick(r.pick(2) ? 2 : 60) == 0) store.set(0, i, SignalValue::from_int(i % 3));
    store.forward_fill_through(length);
    const SignalColumn& c = *store.column(0);
    for (Index i = 0; i < length + 2; ++i) {
      size_t hints[] = {SignalColumn::npos, 0, c.run_count() - 1, c.run_count(), r.pick(c.run_count() + 5)};
      for (size_t h : hints) ASSERT_EQ(find_run(c, i, h), c.run_at(i)) << "seed " << seed << " index " << i;
      size_t guesses[] = {0, c.run_count() - 1, c.run_count() + 3, r.pick(c.run_count())};
      for (size_t g : guesses)
        ASSERT_EQ(find_run(c, i, SignalColumn::npos, g), c.run_at(i)) << "seed " << seed << " guess " << g;
    }
  }
}

}  // namespace
}  // namespace trelm
