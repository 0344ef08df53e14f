// FstReader on the committed fixtures: open's index, the hierarchy walk, and
// the two delivery orders of read_signals.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/file.hpp"
#include "formats/fst/reader.hpp"

namespace trelm {
namespace {

const std::string kData = std::string(TRELM_TEST_DATA_DIR) + "/fst/";

FstReader open_fixture(const std::string& name) {
  auto bytes = read_whole_file(kData + name);
  EXPECT_TRUE(bytes.ok());
  auto reader = FstReader::open(std::move(bytes).value(), true);
  EXPECT_TRUE(reader.ok()) << reader.error().debug();
  return std::move(reader).value();
}

using Change = std::tuple<uint64_t, std::string>;  // time, value text

// Every delivered change, per handle, in delivery order.
std::map<uint32_t, std::vector<Change>> collect(const FstReader& reader, const FstSignalFilter& filter,
                                                bool per_signal, std::vector<uint64_t>* times = nullptr) {
  std::map<uint32_t, std::vector<Change>> out;
  auto callback = [&](uint64_t time, FstSignalHandle handle, const FstChangeValue& value) {
    std::string text = value.is_real ? std::to_string(value.real) : std::string(value.bytes.begin(), value.bytes.end());
    out[handle.value()].emplace_back(time, text);
    if (times) times->push_back(time);
  };
  auto status = per_signal ? reader.read_signals_per_signal(filter, callback) : reader.read_signals(filter, callback);
  EXPECT_TRUE(status.ok()) << status.error().debug();
  return out;
}

class FstReaderFixture : public testing::TestWithParam<const char*> {};

TEST_P(FstReaderFixture, BothDeliveryOrdersGiveEachSignalTheSameChanges) {
  FstReader reader = open_fixture(GetParam());
  const FstMetaData& meta = reader.meta_data();
  EXPECT_FALSE(meta.data_sections.empty());
  EXPECT_EQ(meta.signals.size(), meta.header.max_handle);
  std::vector<uint64_t> delivered_times;
  auto in_time_order = collect(reader, {}, false, &delivered_times);
  EXPECT_TRUE(std::is_sorted(delivered_times.begin(), delivered_times.end()));
  EXPECT_EQ(in_time_order, collect(reader, {}, true));
  EXPECT_GT(in_time_order.size(), 3u);
}

TEST_P(FstReaderFixture, FilterSelectsHandlesAndEndsEarly) {
  FstReader reader = open_fixture(GetParam());
  const auto& times = *reader.meta_data().time_table;
  auto all = collect(reader, {}, false);
  FstSignalFilter filter;
  filter.end = times[times.size() / 2];
  filter.include = std::vector<FstSignalHandle>{FstSignalHandle::from_index(0), FstSignalHandle::from_index(2)};
  for (bool per_signal : {false, true}) {
    auto some = collect(reader, filter, per_signal);
    for (const auto& [handle, changes] : some) {
      EXPECT_TRUE(handle == 1 || handle == 3) << handle;
      std::vector<Change> expected;
      for (const auto& change : all[handle])
        if (std::get<0>(change) <= *filter.end) expected.push_back(change);
      EXPECT_EQ(changes, expected) << handle;
    }
  }
  filter.include = std::vector<FstSignalHandle>{FstSignalHandle::from_index(100000)};
  auto status = reader.read_signals(filter, [](uint64_t, FstSignalHandle, const FstChangeValue&) {});
  EXPECT_EQ(status.error().kind, ReaderErrorKind::Malformed);
}

TEST_P(FstReaderFixture, HierarchyWalksAreRepeatable) {
  FstReader reader = open_fixture(GetParam());
  auto walk = [&] {
    std::vector<std::pair<std::string, uint32_t>> variables;
    int depth = 0, max_depth = 0;
    auto status = reader.read_hierarchy([&](FstHierarchyEntry&& entry) {
      if (std::holds_alternative<FstScopeOpen>(entry)) max_depth = std::max(max_depth, ++depth);
      if (std::holds_alternative<FstScopeClose>(entry)) --depth;
      if (auto* v = std::get_if<FstVariable>(&entry)) variables.emplace_back(v->name, v->handle.value());
    });
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(depth, 0);
    EXPECT_GE(max_depth, 1);
    return variables;
  };
  auto first = walk();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, walk());
}

// Signals whose chunk is an alias of another's (the same stored bytes) get
// exactly their target's changes from both delivery orders, which unpack
// such a chunk once for all who share it.
class FstAliasFixture : public testing::TestWithParam<const char*> {};

TEST_P(FstAliasFixture, AliasesGetTheirTargetsChanges) {
  FstReader reader = open_fixture(GetParam());
  std::vector<std::pair<uint32_t, uint32_t>> aliases;  // handle values: alias, target
  auto status = reader.read_signal_blocks(
      {}, [](uint64_t, FstSignalHandle, const FstChangeValue&) {},
      [&](const FstBlockChunks& block) -> FstStatus {
        for (size_t a = 0; a < block.chunks.size(); ++a)
          for (size_t t = 0; t < a; ++t)
            if (block.chunks[a].bytes.data() == block.chunks[t].bytes.data()) {
              aliases.emplace_back(block.chunks[a].signal + 1, block.chunks[t].signal + 1);
              break;
            }
        return {};
      });
  ASSERT_TRUE(status.ok()) << status.error().debug();
  ASSERT_FALSE(aliases.empty());
  for (bool per_signal : {false, true}) {
    auto changes = collect(reader, {}, per_signal);
    for (const auto& [alias, target] : aliases) {
      EXPECT_FALSE(changes[target].empty()) << target;
      EXPECT_EQ(changes[alias], changes[target]) << alias << " of " << target << ", per signal " << per_signal;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FstAliasFixture,
                         testing::Values("mixed_lz4.fst", "mixed_fastlz.fst", "mixed_zlib.fst", "mixed_gzip.fst"));

INSTANTIATE_TEST_SUITE_P(Fixtures, FstReaderFixture,
                         testing::Values("mixed_lz4.fst", "mixed_fastlz.fst", "mixed_zlib.fst", "mixed_gzip.fst",
                                         "counter_zlib.fst", "verilated.fst", "constructed/basic_1_F.fst",
                                         "constructed/basic_5_Z.fst", "constructed/basic_8_raw.fst",
                                         "constructed/basic_big_endian.fst"));

}  // namespace
}  // namespace trelm
