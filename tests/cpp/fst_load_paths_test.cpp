// The FST loader's paths against each other: chunk by chunk on the worker
// pool, the same on the calling thread, and change by change must give the
// same trace (names, time stamps, every run of every column) or the same
// error, on every fixture and on damaged copies of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "formats/fst/fst.hpp"

namespace trelm {
namespace {

const std::string kData = std::string(TRELM_TEST_DATA_DIR) + "/fst/";

std::vector<std::string> fixture_paths() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kData))
    if (entry.path().extension() == ".fst") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

// An empty string for equal results, else what differs first.
std::string difference(const Result<std::unique_ptr<FstTrace>>& a, const Result<std::unique_ptr<FstTrace>>& b) {
  if (a.ok() != b.ok()) return "one path failed: " + (a.ok() ? b.error() : a.error());
  if (!a.ok()) return a.error() == b.error() ? "" : "errors differ: " + a.error() + " / " + b.error();
  const Trace& x = **a;
  const Trace& y = **b;
  if (x.signal_names() != y.signal_names()) return "names differ";
  if (x.scopes() != y.scopes()) return "scopes differ";
  if (x.timestamp_count() != y.timestamp_count()) return "time stamp counts differ";
  for (Index i = 0; i < x.timestamp_count(); ++i)
    if (x.timestamp(i) != y.timestamp(i)) return "time stamp " + std::to_string(i) + " differs";
  for (const auto& name : x.signal_names()) {
    if (x.signal_width(name) != y.signal_width(name)) return name + ": widths differ";
    const SignalColumn* c = x.store().column(*x.signal_id(name));
    const SignalColumn* d = y.store().column(*y.signal_id(name));
    if (!c || !d) {
      if (c != d) return name + ": written on one path only";
      continue;
    }
    if (c->length() != d->length() || c->run_count() != d->run_count()) return name + ": run counts differ";
    for (size_t k = 0; k < c->run_count(); ++k)
      if (c->run_start(k) != d->run_start(k) || !c->run_value(k).same_representation(d->run_value(k)))
        return name + ": run " + std::to_string(k) + " differs";
  }
  return "";
}

void expect_paths_agree(const std::vector<uint8_t>& bytes, const std::string& what) {
  auto by_changes = FstTrace::from_bytes(bytes, FstLoadPath::Changes);
  auto on_caller = FstTrace::from_bytes(bytes, FstLoadPath::BlocksOnCaller);
  auto on_pool = FstTrace::from_bytes(bytes, FstLoadPath::Blocks);
  EXPECT_EQ(difference(by_changes, on_caller), "") << what;
  EXPECT_EQ(difference(by_changes, on_pool), "") << what;
}

TEST(FstLoadPaths, AgreeOnEveryFixture) {
  auto paths = fixture_paths();
  ASSERT_GE(paths.size(), 20u);
  for (const auto& path : paths) {
    auto bytes = read_whole_file(path);
    ASSERT_TRUE(bytes.ok()) << path;
    auto loaded = FstTrace::from_bytes(*bytes);
    ASSERT_TRUE(loaded.ok()) << path << ": " << loaded.error();
    expect_paths_agree(*bytes, path);
  }
}

TEST(FstLoadPaths, AgreeOnDamagedFixtures) {
  // Every byte of the small fixtures flipped in turn (and a sample of the
  // larger ones): the paths must agree on the trace or on the error.
  for (const auto& path : fixture_paths()) {
    auto bytes = read_whole_file(path);
    ASSERT_TRUE(bytes.ok()) << path;
    size_t step = std::max<size_t>(1, bytes->size() / 400);
    for (size_t at = 0; at < bytes->size(); at += step) {
      std::vector<uint8_t> damaged = *bytes;
      damaged[at] ^= at % 2 ? 0x01 : 0x80;
      expect_paths_agree(damaged, path + " flipped at " + std::to_string(at));
      if (HasFailure()) return;
    }
  }
}

TEST(FstLoadPaths, TimesRepeatedAcrossBlocks) {
  // Three blocks with times repeated where they meet, inside a block and
  // across a block: changes land at the last index of their time.
  auto loaded = FstTrace::from_file(kData + "constructed/repeated_times.fst");
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  const Trace& trace = **loaded;
  std::vector<uint64_t> times;
  for (Index i = 0; i < trace.timestamp_count(); ++i) times.push_back(trace.timestamp(i));
  EXPECT_EQ(times, (std::vector<uint64_t>{0, 5, 10, 10, 20, 20, 30, 40, 40, 40, 50}));
  std::vector<uint64_t> a;
  for (const auto& v : trace.signal_values_range("t.a", 0, trace.timestamp_count())) a.push_back(*v.to_u64());
  EXPECT_EQ(a, (std::vector<uint64_t>{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
}

}  // namespace
}  // namespace trelm
