// Each FST fixture against the VCD it was made from: same signals, time
// stamps and values at every index, compared as Python sees them (Logic and
// Unknown both read None there).
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "formats/fst/fst.hpp"
#include "formats/vcd/vcd.hpp"

namespace trelm {
namespace {

const std::string kData = std::string(TRELM_TEST_DATA_DIR) + "/fst/";

using PythonView = std::variant<std::monostate, uint64_t, double, std::string>;

PythonView python_view(const SignalValue& v) {
  switch (v.kind()) {
    case ValueKind::Int: return v.to_u64().value();
    case ValueKind::Wide: return v.to_u64().value_or(0);
    case ValueKind::Real: return v.real_value();
    case ValueKind::Str: return std::string(v.text());
    default: return std::monostate{};
  }
}

// vcd2fst and Verilator keep a vector's bit range in the name.
std::string without_bit_range(const std::string& name) {
  size_t space = name.rfind(" [");
  if (space != std::string::npos && name.back() == ']') return name.substr(0, space);
  return name;
}

void expect_same_trace(const Trace& vcd, const Trace& fst) {
  ASSERT_EQ(vcd.timestamp_count(), fst.timestamp_count());
  for (Index i = 0; i < vcd.timestamp_count(); ++i) ASSERT_EQ(vcd.timestamp(i), fst.timestamp(i)) << i;

  std::map<std::string, std::string> fst_names;  // stripped -> as in the file
  for (const auto& name : fst.signal_names()) fst_names.emplace(without_bit_range(name), name);
  ASSERT_EQ(fst_names.size(), fst.signal_names().size());
  ASSERT_EQ(vcd.signal_names().size(), fst.signal_names().size());
  EXPECT_EQ(vcd.scopes(), fst.scopes());
  for (const auto& name : vcd.signal_names()) {
    auto it = fst_names.find(name);
    ASSERT_NE(it, fst_names.end()) << name;
    auto vcd_values = vcd.signal_values_range(name, 0, vcd.timestamp_count());
    auto fst_values = fst.signal_values_range(it->second, 0, fst.timestamp_count());
    bool is_real = !fst_values.empty() && fst_values.back().kind() == ValueKind::Real;
    if (is_real) EXPECT_EQ(fst.signal_width(it->second), 8u) << name;
    else EXPECT_EQ(vcd.signal_width(name), fst.signal_width(it->second)) << name;
    for (Index i = 0; i < vcd_values.size(); ++i)
      ASSERT_EQ(python_view(vcd_values[i]), python_view(fst_values[i])) << name << " at index " << i;
  }
}

class FstRealFile : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(FstRealFile, MatchesItsVcd) {
  auto [vcd_name, fst_name] = GetParam();
  auto vcd = VcdTrace::from_file(kData + vcd_name);
  ASSERT_TRUE(vcd.ok()) << vcd.error();
  auto fst = FstTrace::from_file(kData + fst_name);
  ASSERT_TRUE(fst.ok()) << fst.error();
  ASSERT_GT((*fst)->timestamp_count(), 10u);
  expect_same_trace(**vcd, **fst);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FstRealFile,
    testing::Values(std::pair{"mixed.vcd", "mixed_lz4.fst"}, std::pair{"mixed.vcd", "mixed_fastlz.fst"},
                    std::pair{"mixed.vcd", "mixed_zlib.fst"}, std::pair{"mixed.vcd", "mixed_gzip.fst"},
                    std::pair{"counter.vcd", "counter_lz4.fst"}, std::pair{"counter.vcd", "counter_fastlz.fst"},
                    std::pair{"counter.vcd", "counter_zlib.fst"}, std::pair{"counter.vcd", "counter_gzip.fst"},
                    std::pair{"verilated.vcd", "verilated.fst"}));

}  // namespace
}  // namespace trelm
