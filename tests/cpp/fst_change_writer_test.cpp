// FstChangeWriter against its definition: every change written with set in
// delivery order, then one forward_fill_through.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "formats/fst/change_writer.hpp"

namespace trelm {
namespace {

struct Change {
  SignalId id;
  uint64_t time;
  SignalValue value;
};

Index halving_index(const std::vector<uint64_t>& times, uint64_t time) {
  size_t low = 0, high = times.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (times[mid] <= time) low = mid + 1;
    else high = mid;
  }
  return low == 0 ? 0 : low - 1;
}

SignalValue random_value(std::mt19937_64& rng) {
  switch (rng() % 5) {
    case 0: return SignalValue::unknown();
    case 1: {
      uint8_t x[] = {2, 1};
      return SignalValue::logic(x);
    }
    case 2: return SignalValue::from_real(0.5);
    default: return SignalValue::from_int(rng() % 3);
  }
}

void expect_same_as_definition(const std::vector<uint64_t>& times, const std::vector<Change>& changes,
                               SignalId signal_count) {
  SignalStore expected, actual;
  for (const Change& c : changes)
    if (!times.empty()) expected.set(c.id, halving_index(times, c.time), c.value);
  expected.forward_fill_through(times.size());

  FstChangeWriter writer(actual, times);
  for (const Change& c : changes) writer.write(c.id, c.time, c.value);
  writer.finish();

  for (SignalId id = 0; id < signal_count; ++id)
    for (Index i = 0; i < times.size() + 2; ++i)
      ASSERT_EQ(expected.get(id, i), actual.get(id, i)) << "signal " << id << " index " << i;
}

TEST(FstChangeWriter, AscendingTablesInEveryDeliveryOrder) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::vector<uint64_t> times;
    uint64_t t = rng() % 3;
    for (size_t n = rng() % 12; n > 0; --n) {
      times.push_back(t);
      t += rng() % 3;  // repeats included
    }
    const SignalId signals = 1 + rng() % 4;
    // Each signal's changes in ascending time, possibly several at one time;
    // signals interleaved at random.
    std::vector<std::vector<Change>> per_signal(signals);
    for (SignalId id = 0; id < signals; ++id) {
      uint64_t time = 0;
      for (size_t n = rng() % 10; n > 0; --n) {
        time += rng() % 4 == 0 ? 0 : rng() % 5;
        per_signal[id].push_back(Change{id, time, random_value(rng)});
      }
    }
    std::vector<Change> changes;
    std::vector<size_t> next(signals, 0);
    for (;;) {
      std::vector<SignalId> open;
      for (SignalId id = 0; id < signals; ++id)
        if (next[id] < per_signal[id].size()) open.push_back(id);
      if (open.empty()) break;
      SignalId id = open[rng() % open.size()];
      changes.push_back(per_signal[id][next[id]++]);
    }
    expect_same_as_definition(times, changes, signals);
  }
}

TEST(FstChangeWriter, RunsGiveWhatWriteGives) {
  // Blocks of an ascending table with repeated times (also where blocks
  // meet); each signal's changes of a block form one Run, as the block loader
  // writes them, against write for every change.
  std::mt19937_64 rng(13);
  for (int round = 0; round < 400; ++round) {
    std::vector<uint64_t> times;
    uint64_t t = 0;
    for (size_t n = 1 + rng() % 14; n > 0; --n) {
      times.push_back(t);
      t += rng() % 3;
    }
    std::vector<size_t> block_starts{0};
    for (size_t p = 1; p < times.size(); ++p)
      if (rng() % 3 == 0) block_starts.push_back(p);
    block_starts.push_back(times.size());
    auto index_of = [&](size_t position) {
      while (position + 1 < times.size() && times[position + 1] == times[position]) ++position;
      return static_cast<Index>(position);
    };

    const SignalId signals = 1 + rng() % 3;
    SignalStore expected, actual;
    FstChangeWriter by_write(expected, times);
    FstChangeWriter by_runs(actual, times);
    by_runs.prepare_ids(signals);
    for (SignalId id = 0; id < signals; ++id) {
      // A frame value at the first time, written with write on both.
      if (rng() % 2) {
        SignalValue v = random_value(rng);
        by_write.write(id, times[0], v);
        by_runs.write(id, times[0], v);
      }
    }
    for (size_t b = 0; b + 1 < block_starts.size(); ++b) {
      for (SignalId id = 0; id < signals; ++id) {
        std::vector<std::pair<size_t, SignalValue>> changes;  // position, value
        size_t position = block_starts[b];
        for (size_t n = rng() % 6; n > 0; --n) {
          position += rng() % 3;
          if (position >= block_starts[b + 1]) break;
          changes.emplace_back(position, random_value(rng));
        }
        FstChangeWriter::Run run(by_runs, id, block_starts[b + 1]);
        for (size_t k = 0; k < changes.size(); ++k) {
          by_write.write(id, times[changes[k].first], changes[k].second);
          Index index = index_of(changes[k].first);
          if (k + 1 < changes.size() && index_of(changes[k + 1].first) == index) continue;
          const SignalValue& v = changes[k].second;
          if (v.is_int()) run.add_int(index, v.int_value());
          else run.add(index, v);
        }
      }
    }
    by_write.finish();
    by_runs.finish();
    for (SignalId id = 0; id < signals; ++id)
      for (Index i = 0; i < times.size() + 1; ++i)
        ASSERT_EQ(expected.get(id, i), actual.get(id, i)) << "round " << round << " signal " << id << " index " << i;
  }
}

TEST(FstChangeWriter, TablesThatDoNotAscend) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint64_t> times;
    for (size_t n = 2 + rng() % 8; n > 0; --n) times.push_back(rng() % 10);
    if (std::is_sorted(times.begin(), times.end())) std::reverse(times.begin(), times.end());
    if (std::is_sorted(times.begin(), times.end())) continue;  // all equal
    // Changes in any order: the writer collects them.
    std::vector<Change> changes;
    for (size_t n = rng() % 20; n > 0; --n) changes.push_back(Change{rng() % 3, rng() % 12, random_value(rng)});
    expect_same_as_definition(times, changes, 3);
  }
}

}  // namespace
}  // namespace trelm
