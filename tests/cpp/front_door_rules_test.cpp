// The front door's reading rules shared by the readers: names without bit
// ranges, digits to views, time units.
#include <gtest/gtest.h>

#include "formats/vcd/declarations.hpp"
#include "signal/exact_value.hpp"
#include "trace/dump_info.hpp"

namespace trelm {
namespace {

TEST(FrontDoorNames, BitRangesDropIndicesJoin) {
  const std::pair<const char*, const char*> cases[] = {
      {"data [7:0]", "data"},  {"data[7:0]", "data"},   {"mem[3]", "mem[3]"},     {"mem [3]", "mem[3]"},
      {"m[2][7:0]", "m[2]"},   {"m [2] [7:0]", "m[2]"}, {"a b", "a b"},           {"x[", "x["},
      {"[7:0]", ""},           {"q [1:0] r", "q r"},
  };
  for (auto [written, name] : cases) EXPECT_EQ(without_bit_ranges(written), name) << written;

  WhiteSpaceSplitter rest("[3] [7:0] $end");
  EXPECT_EQ(indexed_reference("mem", rest), "mem[3]");
}

TEST(FrontDoorDigits, ViewsAndKeptDigits) {
  struct Case {
    std::string_view digits;
    ValueKind kind;
    bool keep;
  };
  const Case cases[] = {
      {"0101", ValueKind::Int, false},  {"1x0z", ValueKind::Logic, false}, {"1X0z", ValueKind::Logic, true},
      {"UUUU", ValueKind::Logic, true}, {"0H-L", ValueKind::Logic, true},  {"", ValueKind::Unknown, false},
  };
  for (const Case& c : cases) {
    DigitsView v = view_of_digits(c.digits);
    EXPECT_EQ(v.view.kind(), c.kind) << c.digits;
    EXPECT_EQ(v.keep, c.keep) << c.digits;
  }
  DigitsView nine = view_of_digits("UX01ZWLH-");
  const std::vector<uint8_t> codes(nine.view.logic_bits().begin(), nine.view.logic_bits().end());
  EXPECT_EQ(codes, (std::vector<uint8_t>{2, 2, 0, 1, 3, 2, 0, 1, 2}));

  std::string wide(70, '0');
  wide[0] = '1';
  wide[69] = '1';
  DigitsView w = view_of_digits(wide);
  ASSERT_EQ(w.view.kind(), ValueKind::Wide);
  EXPECT_EQ(w.view.wide_words()[0], 1u);
  EXPECT_EQ(w.view.wide_words()[1], uint64_t{1} << 5);
  for (char d : std::string_view("01xzXZUWLH-")) {
    EXPECT_EQ(view_of_digit(d).keep, view_of_digits(std::string_view(&d, 1)).keep) << d;
    EXPECT_TRUE(view_of_digit(d).view == view_of_digits(std::string_view(&d, 1)).view) << d;
  }
}

TEST(FrontDoorTimescale, TextAndExponent) {
  const std::pair<const char*, std::optional<std::pair<uint64_t, const char*>>> texts[] = {
      {"1ns", {{1, "ns"}}}, {" 1 ns ", {{1, "ns"}}}, {"100 ps", {{100, "ps"}}}, {"10fs", {{10, "fs"}}},
      {"1 s", {{1, "s"}}},  {"2ns", std::nullopt},   {"1 ks", std::nullopt},   {"", std::nullopt},
  };
  for (auto [text, expected] : texts) {
    auto got = parse_timescale(text);
    ASSERT_EQ(got.has_value(), expected.has_value()) << text;
    if (got) EXPECT_EQ(std::make_pair(got->magnitude, got->unit), std::make_pair(expected->first, std::string(expected->second)));
  }
  const std::pair<int, std::pair<uint64_t, const char*>> exponents[] = {
      {-9, {1, "ns"}}, {-10, {100, "ps"}}, {0, {1, "s"}}, {-1, {100, "ms"}}, {2, {100, "s"}}, {-15, {1, "fs"}}};
  for (auto [exponent, expected] : exponents) {
    auto got = timescale_from_exponent(exponent);
    ASSERT_TRUE(got) << exponent;
    EXPECT_EQ(std::make_pair(got->magnitude, got->unit), std::make_pair(expected.first, std::string(expected.second)));
  }
  EXPECT_FALSE(timescale_from_exponent(3));
  EXPECT_FALSE(timescale_from_exponent(-19));
}

}  // namespace
}  // namespace trelm
