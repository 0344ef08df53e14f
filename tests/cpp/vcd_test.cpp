// VcdTrace: declarations, time lines, value changes, line handling, files,
// and robustness against malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "formats/vcd/vcd.hpp"
#include "formats/vcd/number.hpp"
#include "formats/vcd/text.hpp"
#include "temp_files.hpp"

namespace trelm {
namespace {

using Values = std::vector<SignalValue>;

SignalValue I(uint64_t v) { return SignalValue::from_int(v); }
SignalValue R(double v) { return SignalValue::from_real(v); }
SignalValue L(std::vector<uint8_t> bits) { return SignalValue::logic(bits); }
SignalValue U() { return SignalValue::unknown(); }

std::unique_ptr<VcdTrace> parse_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return VcdTrace::parse(text);
}

std::string describe(const SignalValue& v) {
  switch (v.kind()) {
    case ValueKind::Int: return "Int " + std::to_string(v.int_value());
    case ValueKind::Real: return "Real " + std::to_string(v.real_value());
    case ValueKind::Unknown: return "Unknown";
    case ValueKind::Logic: {
      std::string s = "Logic ";
      for (uint8_t b : v.logic_bits()) s += "01XZ"[b & 3];
      return s;
    }
    case ValueKind::Str: return "Str " + std::string(v.text());
    case ValueKind::Wide: return "Wide";
  }
  return "?";
}

// Equality that also matches NaN with NaN, for expectations.
bool same_value(const SignalValue& a, const SignalValue& b) {
  if (a.kind() == ValueKind::Real && b.kind() == ValueKind::Real && std::isnan(a.real_value()))
    return std::isnan(b.real_value());
  return a == b && (a.kind() != ValueKind::Real || std::signbit(a.real_value()) == std::signbit(b.real_value()));
}

// ---- declarations ---------------------------------------------------------

TEST(VcdDeclarations, NestedScopesFormFullNamesAndScopeList) {
  auto t = parse_lines({"$scope module top $end", "$scope module cpu $end", "$var wire 8 # data [7:0] $end",
                        "$upscope $end", "$var wire 1 ! clk $end", "$upscope $end", "$upscope $end",
                        "$var wire 1 ' loose $end", "$scope module top $end", "$var wire 1 & again $end"});
  EXPECT_EQ(t->signal_names(), (std::vector<std::string>{"top.cpu.data", "top.clk", "loose", "top.again"}));
  EXPECT_EQ(t->scopes(), (std::vector<std::string>{"top", "top.cpu"}));
  EXPECT_EQ(t->signal_width("top.cpu.data"), 8u);
  EXPECT_EQ(t->signal_id("top.cpu.data"), SignalId{0});
  EXPECT_EQ(t->signal_id("top.clk"), SignalId{1});
  EXPECT_EQ(t->signal_id("loose"), SignalId{2});
  EXPECT_EQ(t->signal_id("top.again"), SignalId{3});
}

struct DeclarationCase {
  const char* label;
  std::vector<std::string> lines;
  std::vector<std::string> names;
  std::vector<std::string> scopes;
};

class VcdDeclarationTable : public ::testing::TestWithParam<DeclarationCase> {};

TEST_P(VcdDeclarationTable, NamesAndScopes) {
  const auto& c = GetParam();
  auto t = parse_lines(c.lines);
  EXPECT_EQ(t->signal_names(), c.names);
  EXPECT_EQ(t->scopes(), c.scopes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdDeclarationTable,
    ::testing::Values(
        DeclarationCase{"outside_scope", {"$var wire 1 ! clk $end"}, {"clk"}, {}},
        DeclarationCase{"split_over_two_lines", {"$var wire 1 !", "clk $end"}, {}, {}},
        DeclarationCase{"four_parts_ignored", {"$var wire 1 !"}, {}, {}},
        DeclarationCase{"end_not_needed", {"$var wire 1 ! clk"}, {"clk"}, {}},
        DeclarationCase{"bit_range_cut", {"$var reg 8 ! mem[3] $end"}, {"mem"}, {}},
        DeclarationCase{"bracket_first", {"$var reg 8 ! [3]x $end"}, {""}, {}},
        DeclarationCase{"keyword_prefix", {"$scopes module a $end", "$variable wire 1 ! v $end"}, {"a.v"}, {"a"}},
        DeclarationCase{"short_scope_line", {"$scope module", "$var wire 1 ! v $end"}, {"v"}, {}},
        DeclarationCase{"upscope_on_empty_stack", {"$upscope $end", "$upscope", "$var wire 1 ! v $end"}, {"v"}, {}},
        DeclarationCase{"scope_listed_once", {"$scope m a $end", "$upscope $end", "$scope m a $end"}, {}, {"a"}},
        DeclarationCase{"same_name_twice", {"$var wire 1 ! v $end", "$var wire 4 \" v $end"}, {"v"}, {}},
        DeclarationCase{"unicode_white_space_splits",
                        {"$scope\u00A0module\u3000top $end", "$var\u2003wire 1\u205F!\u0085clk $end"},
                        {"top.clk"},
                        {"top"}},
        DeclarationCase{"zero_width_space_does_not_split", {"$var wire 1 !\u200Bclk"}, {}, {}},
        DeclarationCase{"tab_and_vertical_tab_split", {"\t$var\twire\v1\f!\rclk\t$end"}, {"clk"}, {}},
        DeclarationCase{"inside_comment_body", {"$comment", "$var wire 1 ! c $end", "$end"}, {"c"}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

struct WidthCase {
  const char* text;
  uint64_t width;
};

class VcdWidthTable : public ::testing::TestWithParam<WidthCase> {};

TEST_P(VcdWidthTable, WidthPart) {
  auto t = parse_lines({std::string("$var wire ") + GetParam().text + " ! v $end"});
  EXPECT_EQ(t->signal_width("v"), GetParam().width) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, VcdWidthTable,
                         ::testing::Values(WidthCase{"8", 8}, WidthCase{"+4", 4}, WidthCase{"x", 1},
                                           WidthCase{"0", 0}, WidthCase{"-1", 1}, WidthCase{"+", 1},
                                           WidthCase{"++4", 1}, WidthCase{"4b", 1}, WidthCase{"007", 7},
                                           WidthCase{"4294967295", 4294967295u}, WidthCase{"4294967296", 1},
                                           WidthCase{"99999999999999999999999", 1}, WidthCase{"\u0664", 1}));

TEST(VcdDeclarations, AliasesShareOneId) {
  auto t = parse_lines({"$scope module a $end", "$var wire 1 ! clk $end", "$upscope $end", "$scope module b $end",
                        "$var wire 1 ! clk $end", "$var wire 1 \" other $end", "$upscope $end", "#0", "1!", "#1",
                        "0!"});
  ASSERT_EQ(t->signal_id("a.clk"), t->signal_id("b.clk"));
  EXPECT_EQ(t->signal_id("b.other"), SignalId{1});
  for (const char* name : {"a.clk", "b.clk"}) {
    EXPECT_EQ(t->signal_value(name, 0), I(1));
    EXPECT_EQ(t->signal_value(name, 1), I(0));
  }
}

TEST(VcdDeclarations, RedeclaredNameTakesLastWidthAndId) {
  auto t = parse_lines({"$var wire 1 ! v $end", "$var wire 4 \" w $end", "$var wire 8 # v $end", "#0", "1!",
                        "b101 #"});
  EXPECT_EQ(t->signal_names(), (std::vector<std::string>{"v", "w"}));
  EXPECT_EQ(t->signal_width("v"), 8u);
  EXPECT_EQ(t->signal_id("v"), SignalId{2});
  EXPECT_EQ(t->signal_value("v", 0), I(5));
  EXPECT_EQ(t->signal_value_by_id(0, 0), I(1));
}

TEST(VcdDeclarations, LateDeclarationStartsEmpty) {
  auto t = parse_lines({"$var wire 1 ! a $end", "#0", "1!", "#1", "$var wire 1 \" late $end", "1\"", "#2",
                        "$var wire 1 ! a_alias $end", "#3"});
  EXPECT_EQ(t->signal_id("late"), SignalId{1});
  EXPECT_EQ(t->signal_values_range("late", 0, 4), (Values{U(), I(1), I(1), I(1)}));
  EXPECT_EQ(t->signal_values_range("a_alias", 0, 4), (Values{I(1), I(1), I(1), I(1)}));
}

// ---- time lines -------------------------------------------------------------

TEST(VcdTimes, EveryTimeLineOpensAnIndex) {
  auto t = parse_lines({"#0", "#0", "#5", "#3", "#", "#abc", "#-5", "#10ns", "#18446744073709551616",
                        "#18446744073709551615", "#+7", "# 12 ", "#\u00A013\u3000", "#1 2", "#\u0661"});
  std::vector<uint64_t> expected = {0, 0, 5, 3, 0, 0, 0, 0, 0, UINT64_MAX, 7, 12, 13, 0, 0};
  ASSERT_EQ(t->timestamp_count(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(t->timestamp(i), expected[i]) << i;
  EXPECT_EQ(t->max_index(), expected.size() - 1);
  EXPECT_EQ(t->timestamp(expected.size()), 0u);
}

TEST(VcdTimes, NoTimeLinesGivesEmptyStoreButNames) {
  for (std::string text : {"", "\n\n", "$var wire 1 ! v $end\n1!\nb1 !\n"}) {
    auto t = VcdTrace::parse(text);
    EXPECT_EQ(t->timestamp_count(), 0u);
    EXPECT_EQ(t->max_index(), 0u);
    EXPECT_EQ(t->timestamp(0), 0u);
    EXPECT_EQ(t->store().column(0), nullptr);
  }
  EXPECT_EQ(VcdTrace::parse("$var wire 1 ! v $end")->signal_names(), std::vector<std::string>{"v"});
}

// ---- value changes ----------------------------------------------------------

struct ChangeCase {
  const char* line;
  SignalValue expected;  // value at index 1, where ! held Int 1 from index 0
};

class VcdChangeTable : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(VcdChangeTable, ValueAtNextIndex) {
  auto t = parse_lines({"$var wire 8 ! v $end", "$var wire 8 \" w $end", "#0", "1!", "#1", GetParam().line});
  SignalValue got = t->signal_value("v", 1);
  EXPECT_TRUE(same_value(got, GetParam().expected))
      << GetParam().line << ": got " << describe(got) << ", expected " << describe(GetParam().expected);
  EXPECT_EQ(t->signal_value("v", 0), I(1));
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdChangeTable,
    ::testing::Values(ChangeCase{"0!", I(0)}, ChangeCase{"1!", I(1)}, ChangeCase{"x!", U()},
                      ChangeCase{"X!", U()}, ChangeCase{"z!", L({3})}, ChangeCase{"Z!", L({3})},
                      ChangeCase{"1 !", I(1)},        // code " !" is not declared
                      ChangeCase{"0\u00A0!", I(1)},   // the code is not trimmed
                      ChangeCase{"0!  ", I(0)},       // but the line is
                      ChangeCase{"0\"", I(1)},        // another signal
                      ChangeCase{"0?", I(1)},         // undeclared code
                      ChangeCase{"b1010 !", I(10)}, ChangeCase{"B1010 !", I(10)},
                      ChangeCase{"b1010\t!", I(1)},   // only U+0020 separates
                      ChangeCase{"b1010  !", I(10)},  // the code part is trimmed
                      ChangeCase{"b1010 \u3000!", I(10)}, ChangeCase{"b1010 ! x", I(1)},
                      ChangeCase{"b1010", I(1)}, ChangeCase{"bx01 !", L({2, 0, 1})},
                      ChangeCase{"bZ1 !", L({3, 1})}, ChangeCase{"b !", U()}, ChangeCase{"b12 !", I(2)},
                      ChangeCase{"r2.5 !", R(2.5)}, ChangeCase{"R-1e3 !", R(-1000)},
                      ChangeCase{"rfoo !", R(0.0)}, ChangeCase{"r !", R(0.0)}, ChangeCase{"rinf !", R(kInf)},
                      ChangeCase{"rNaN !", R(kNaN)}, ChangeCase{"r1e400 !", R(kInf)},
                      ChangeCase{"r0x1p3 !", R(0.0)}, ChangeCase{"r2.5\t!", I(1)},
                      ChangeCase{"shello !", I(1)}, ChangeCase{"S1 !", I(1)}, ChangeCase{"u!", I(1)},
                      ChangeCase{"-!", I(1)}, ChangeCase{"$dumpoff", I(1)}, ChangeCase{"$end 0!", I(1)}),
    [](const auto& info) { return "line" + std::to_string(info.index); });

TEST(VcdChanges, IgnoredBeforeFirstTimeLine) {
  auto t = parse_lines({"$var wire 1 ! v $end", "$dumpvars", "1!", "$end", "#0", "#1", "0!"});
  EXPECT_EQ(t->signal_values_range("v", 0, 3), (Values{U(), I(0), U()}));
}

TEST(VcdChanges, CarriedForwardUntilChangedAndXNotCarried) {
  auto t = parse_lines({"$var wire 1 ! v $end", "$var wire 1 \" w $end", "#0", "1!", "x\"", "#1", "#2", "1\"",
                        "0!", "1!", "#3", "#4", "x!", "#5"});
  EXPECT_EQ(t->signal_values_range("v", 0, 7), (Values{I(1), I(1), I(1), I(1), U(), U(), U()}));
  EXPECT_EQ(t->signal_values_range("w", 0, 7), (Values{U(), U(), I(1), I(1), I(1), I(1), U()}));
  EXPECT_EQ(t->store().column(0)->length(), 5u);
  EXPECT_EQ(t->store().column(1)->length(), 6u);
}

TEST(VcdChanges, LastChangeAtOneIndexWins) {
  auto t = parse_lines({"$var wire 4 ! v $end", "#0", "b1 !", "b10 !", "b11 !", "#1", "x!", "b100 !"});
  EXPECT_EQ(t->signal_values_range("v", 0, 2), (Values{I(3), I(4)}));
}

struct RealCase {
  const char* text;
  std::optional<double> value;
};

class VcdRealTable : public ::testing::TestWithParam<RealCase> {};

TEST_P(VcdRealTable, Parses) {
  auto got = parse_decimal_real(GetParam().text);
  auto want = GetParam().value;
  ASSERT_EQ(got.has_value(), want.has_value()) << GetParam().text;
  if (!want) return;
  if (std::isnan(*want)) {
    EXPECT_TRUE(std::isnan(*got)) << GetParam().text;
  } else {
    EXPECT_EQ(*got, *want) << GetParam().text;
    EXPECT_EQ(std::signbit(*got), std::signbit(*want)) << GetParam().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdRealTable,
    ::testing::Values(RealCase{"2.5", 2.5}, RealCase{"1.", 1.0}, RealCase{".5", 0.5}, RealCase{"+.5e-3", 0.0005},
                      RealCase{"-0", -0.0}, RealCase{"007", 7.0}, RealCase{"1E+2", 100.0}, RealCase{"0.1", 0.1},
                      RealCase{"INFINITY", kInf}, RealCase{"-Inf", -kInf}, RealCase{"+nan", kNaN},
                      RealCase{"1e-400", 0.0}, RealCase{"-1e-400", -0.0}, RealCase{"0.0000001e-400", 0.0},
                      RealCase{"4.9e-324", 4.9e-324}, RealCase{"1e99999999999999999999", kInf},
                      RealCase{"123456789012345678901234567890e300", kInf}, RealCase{"0e99999", 0.0},
                      RealCase{"", std::nullopt}, RealCase{"+", std::nullopt}, RealCase{".", std::nullopt},
                      RealCase{"1e", std::nullopt}, RealCase{"1e+", std::nullopt}, RealCase{"e5", std::nullopt},
                      RealCase{"infinit", std::nullopt}, RealCase{"nan(1)", std::nullopt},
                      RealCase{"0x10", std::nullopt}, RealCase{" 1", std::nullopt}, RealCase{"1 ", std::nullopt},
                      RealCase{"1_0", std::nullopt}, RealCase{"--1", std::nullopt}, RealCase{"1.2.3", std::nullopt},
                      RealCase{"1,5", std::nullopt}, RealCase{"\u0661", std::nullopt}));

// ---- line handling ---------------------------------------------------------

struct LineCase {
  const char* label;
  std::string text;
  std::vector<uint64_t> times;
  Values values;  // of v over the indices
};

class VcdLineTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(VcdLineTable, Reads) {
  const auto& c = GetParam();
  auto t = VcdTrace::parse("$var wire 1 ! v $end\n" + c.text);
  ASSERT_EQ(t->timestamp_count(), c.times.size());
  for (size_t i = 0; i < c.times.size(); ++i) EXPECT_EQ(t->timestamp(i), c.times[i]);
  EXPECT_EQ(t->signal_values_range("v", 0, c.values.size()), c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcdLineTable,
    ::testing::Values(
        LineCase{"crlf", "#0\r\n1!\r\n#4\r\n", {0, 4}, {I(1), I(1)}},
        LineCase{"no_final_line_feed", "#0\n1!\n#4\n0!", {0, 4}, {I(1), I(0)}},
        LineCase{"unicode_trim", "\u3000#0\u2028\n\u00A01!\u0085\n", {0}, {I(1)}},
        LineCase{"invalid_utf8_skipped", "#0\n1!\n#1\n0!\xff\n#2\xC0\x80\n", {0, 1}, {I(1), I(1)}},
        LineCase{"overlong_and_surrogate_skipped", "#0\n0!\xE0\x80\x80\n0!\xED\xA0\x80\n1!\n", {0}, {I(1)}},
        LineCase{"above_max_code_point_skipped", "#0\n1!\n0!\xF4\x90\x80\x80\n", {0}, {I(1)}},
        LineCase{"truncated_sequence_skipped", "#0\n1!\n0!\xE2\x82\n", {0}, {I(1)}},
        LineCase{"valid_multibyte_kept", "#0\n0!\n$comment \xF0\x9F\x98\x80 $end\n1!\n", {0}, {I(1)}},
        LineCase{"lone_cr_is_not_a_line_end", "#0\r1!\n#1\n", {0, 1}, {U(), U()}},
        LineCase{"comment_body_time_line", "$comment\n#7\n$end\n", {7}, {}},
        LineCase{"nul_bytes", std::string("#0\n1!\0\n#1\n", 10), {0, 1}, {U(), U()}},
        LineCase{"blank_lines", "\n\n   \n#0\n\t\n1!\n", {0}, {I(1)}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VcdText, WhiteSpaceSet) {
  const char32_t white[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A,
                            0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  const char32_t other[] = {0x08, 0x0E, 0x1F, 0x1C, 0xAD, 0x180E, 0x200B, 0x2060, 0xFEFF, 0x3001, 0x1681, 0x84};
  auto encode = [](char32_t c) {
    std::string s;
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xE0 | (c >> 12));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
  };
  for (char32_t c : white) {
    std::string s = encode(c) + "a" + encode(c);
    EXPECT_EQ(trim_white_space(s), "a") << std::hex << uint32_t(c);
  }
  for (char32_t c : other) {
    std::string s = encode(c) + "a" + encode(c);
    EXPECT_EQ(trim_white_space(s), s) << std::hex << uint32_t(c);
  }
}

// ---- trace operations ---------------------------------------------------------

TEST(VcdOperations, UnknownNames) {
  auto t = parse_lines({"$var wire 3 ! v $end", "#0", "b101 !"});
  EXPECT_EQ(t->signal_width("nope"), 0u);
  EXPECT_EQ(t->signal_width("v"), 3u);
  EXPECT_FALSE(t->signal_id("nope").has_value());
  EXPECT_EQ(t->signal_value("nope", 0), U());
  EXPECT_EQ(t->signal_values_range("nope", 3, 7), Values(4));
  EXPECT_TRUE(t->signal_values_range("nope", 7, 3).empty());
  EXPECT_TRUE(t->signal_values_range("v", 7, 3).empty());
  EXPECT_EQ(t->signal_values_range("v", 0, 3), (Values{I(5), U(), U()}));
  EXPECT_EQ(t->signal_value_by_id(99, 0), U());
  EXPECT_THROW(t->signal_values_range("nope", 0, UINT64_MAX), std::bad_alloc);
  EXPECT_EQ(t->signal_value("V", 0), U());  // names compare byte for byte
}

// ---- a reference model ----------------------------------------------------------

// The literal reading: a dense list per signal, filled forward at every time
// line before that index's changes are written.
class DenseModel {
 public:
  void time() {
    ++count_;
    if (count_ == 1) return;
    Index n = count_ - 1;
    for (auto& [id, list] : lists_) {
      if (list.size() > n - 1 && !list[n - 1].is_unknown() && (list.size() <= n || list[n].is_unknown())) {
        if (list.size() <= n) list.resize(n + 1);
        list[n] = list[n - 1];
      }
    }
  }
  void set(SignalId id, SignalValue v) {
    auto& list = lists_[id];
    Index n = count_ - 1;
    if (list.size() <= n) list.resize(n + 1);
    list[n] = std::move(v);
  }
  SignalValue get(SignalId id, Index i) const {
    auto it = lists_.find(id);
    if (it == lists_.end() || i >= it->second.size()) return U();
    return it->second[i];
  }
  Index count() const { return count_; }

 private:
  Index count_ = 0;
  std::map<SignalId, Values> lists_;
};

TEST(VcdModel, RandomBodiesMatchDenseModel) {
  std::mt19937_64 rng(12345);
  // Codes of every length class of the code map: direct (one or two of
  // '!'..'~'), packed (up to seven bytes), long; the last is never declared.
  const char* codes[] = {"!", "~~", "abc", "abcdefg", "\xC3\xA9", "a\x7F", "long_code_12", "abcd", "%"};
  constexpr size_t kDeclared = 8;
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (size_t i = 0; i < kDeclared; ++i)
      text += std::string("$var wire 4 ") + codes[i] + " s" + std::to_string(i) + " $end\n";
    DenseModel model;
    bool started = false;
    // Some rounds put dozens of changes at one index.
    const unsigned time_percent = round % 3 == 0 ? 2 : 20;
    int lines = 1 + static_cast<int>(rng() % 200);
    for (int l = 0; l < lines; ++l) {
      size_t c = rng() % (kDeclared + 1);
      if (rng() % 100 < time_percent) {
        text += "#" + std::to_string(rng() % 50) + "\n";
        model.time();
        started = true;
        continue;
      }
      SignalValue v;
      std::string line;
      switch (rng() % 5) {
        case 0: line = "0" + std::string(codes[c]); v = I(0); break;
        case 1: line = "1" + std::string(codes[c]); v = I(1); break;
        case 2: line = "x" + std::string(codes[c]); v = U(); break;
        case 3: line = "z" + std::string(codes[c]); v = L({3}); break;
        default: {
          unsigned bits = rng() % 8;
          line = "b" + std::to_string(bits >> 2 & 1) + std::to_string(bits >> 1 & 1) + std::to_string(bits & 1) +
                 " " + codes[c];
          v = I(bits);
        }
      }
      text += line + "\n";
      if (started && c < kDeclared) model.set(c, v);
    }
    auto t = VcdTrace::parse(text);
    ASSERT_EQ(t->timestamp_count(), model.count());
    for (SignalId id = 0; id <= kDeclared; ++id)
      for (Index i = 0; i <= model.count() + 1; ++i)
        ASSERT_EQ(t->signal_value_by_id(id, i), model.get(id, i)) << "round " << round << " id " << id << " i " << i
                                                                   << "\n" << text;
  }
}

TEST(VcdModel, ManyCodesKeepTheirIds) {
  // Simulator-style codes run through one, two and three characters; every
  // fourth one is seen again in a second scope.
  auto code_of = [](size_t n) {
    std::string code;
    for (;;) {
      code += static_cast<char>('!' + n % 94);
      n /= 94;
      if (n == 0) return code;
      --n;
    }
  };
  const size_t count = 20000;
  std::string text = "$scope module a $end\n";
  for (size_t i = 0; i < count; ++i) text += "$var wire 32 " + code_of(i) + " s" + std::to_string(i) + " $end\n";
  text += "$upscope $end\n$scope module b $end\n";
  for (size_t i = 0; i < count; i += 4) text += "$var wire 32 " + code_of(i) + " s" + std::to_string(i) + " $end\n";
  text += "$upscope $end\n#0\n";
  for (size_t i = 0; i < count; ++i) text += "b" + std::string(i % 2 ? "1" : "") + "101 " + code_of(i) + "\n";
  auto t = VcdTrace::parse(text);
  ASSERT_EQ(t->signal_names().size(), count + count / 4);
  for (size_t i = 0; i < count; ++i) {
    std::string name = "a.s" + std::to_string(i);
    ASSERT_EQ(t->signal_id(name), SignalId{i});
    ASSERT_EQ(t->signal_value(name, 0), I(i % 2 ? 13 : 5)) << name;
    if (i % 4 == 0) ASSERT_EQ(t->signal_id("b.s" + std::to_string(i)), SignalId{i});
  }
}

// ---- files ---------------------------------------------------------------------

class VcdFiles : public TempFiles {};

void expect_same_trace(const VcdTrace& a, const VcdTrace& b) {
  ASSERT_EQ(a.signal_names(), b.signal_names());
  ASSERT_EQ(a.scopes(), b.scopes());
  ASSERT_EQ(a.timestamp_count(), b.timestamp_count());
  for (Index i = 0; i < a.timestamp_count(); ++i) ASSERT_EQ(a.timestamp(i), b.timestamp(i));
  for (const auto& name : a.signal_names()) {
    ASSERT_EQ(a.signal_width(name), b.signal_width(name));
    ASSERT_EQ(a.signal_values_range(name, 0, a.timestamp_count() + 1),
              b.signal_values_range(name, 0, b.timestamp_count() + 1));
  }
}

TEST_F(VcdFiles, MissingFile) {
  auto r = VcdTrace::from_file((dir_ / "missing.vcd").string());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error(), "Failed to open " + (dir_ / "missing.vcd").string() + ": No such file or directory (os error 2)");
}

TEST_F(VcdFiles, DirectoryIsAnErrorNotAnEmptyTrace) {
  auto r = VcdTrace::from_file(dir_.string());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error(), "Failed to open " + dir_.string() + ": Is a directory (os error 21)");
}

TEST_F(VcdFiles, PathWithNulFailsToOpen) {
  std::string good = write("a.vcd", "#0\n");
  auto r = VcdTrace::from_file(good + std::string("\0x", 2));
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().rfind("Failed to open ", 0), 0u);
}

TEST_F(VcdFiles, FixtureMatchesParsedText) {
  std::string path = std::string(TRELM_TEST_DATA_DIR) + "/vcd/small_cpu.vcd";
  auto file = VcdTrace::from_file(path);
  ASSERT_TRUE(file.ok()) << file.error();
  const VcdTrace& t = **file;
  EXPECT_EQ(t.signal_names(), (std::vector<std::string>{"top.clk", "top.rst", "top.cpu.data", "top.cpu.pc",
                                                         "top.cpu.temp", "top.cpu.clk", "top.cpu.state"}));
  EXPECT_EQ(t.scopes(), (std::vector<std::string>{"top", "top.cpu"}));
  EXPECT_EQ(t.timestamp_count(), 6u);
  EXPECT_EQ(t.signal_values_range("top.cpu.clk", 0, 6), (Values{I(0), I(1), I(0), I(1), I(0), I(0)}));
  EXPECT_EQ(t.signal_values_range("top.rst", 0, 6), (Values{I(1), I(1), I(0), I(0), U(), U()}));
  EXPECT_EQ(t.signal_value("top.cpu.data", 0), L({2, 2, 2, 2, 2, 2, 2, 2}));
  EXPECT_EQ(t.signal_value("top.cpu.data", 5), I(0xA5));
  EXPECT_EQ(t.signal_values_range("top.cpu.pc", 0, 6), (Values{I(0), I(0), I(4), I(4), I(8), I(8)}));
  EXPECT_EQ(t.signal_value("top.cpu.temp", 3), R(26.25));
  EXPECT_EQ(t.signal_values_range("top.cpu.state", 2, 4), (Values{L({3}), L({1, 2, 0})}));

  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  expect_same_trace(t, *VcdTrace::parse(text));
}

TEST_F(VcdFiles, LinesSpanningBlocks) {
  // A comment line longer than two read blocks, then many short lines whose
  // ends fall at every offset of the block boundary.
  std::string text = "$var wire 8 ! v $end\n$var wire 1 \" w $end\n#0\n$comment " + std::string(9u << 20, 'c') +
                     " $end\nb1 !\n";
  for (int i = 1; i < 400000; ++i) {
    text += "#" + std::to_string(i) + "\nb" + std::to_string(i % 2) + std::to_string(i % 3 == 0) + " !\n";
    if (i % 7 == 0) text += std::string(i % 13, ' ') + "1\"\r\n";
  }
  text += "#400000";  // no final line feed
  auto file = VcdTrace::from_file(write("big.vcd", text));
  ASSERT_TRUE(file.ok());
  auto parsed = VcdTrace::parse(text);
  EXPECT_EQ((*file)->timestamp_count(), 400001u);
  EXPECT_EQ((*file)->timestamp(400000), 400000u);
  EXPECT_EQ((*file)->signal_value("v", 0), I(1));
  EXPECT_EQ((*file)->signal_value("w", 7), I(1));
  expect_same_trace(**file, *parsed);
}

// ---- robustness ----------------------------------------------------------------

TEST(VcdRobustness, TruncatedCorruptedAndRandomInputNeverCrash) {
  std::string fixture = "$scope module top $end\n$var wire 8 # data [7:0] $end\n$var real 64 % r $end\n"
                        "$upscope $end\n#0\nb1x0z #\nr1.5 %\n#1\n1#\nR-inf %\n#2\nbzzzz #\n";
  for (size_t n = 0; n <= fixture.size(); ++n) {
    auto t = VcdTrace::parse(fixture.substr(0, n));
    ASSERT_LE(t->timestamp_count(), 3u);
  }
  std::mt19937_64 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text = fixture;
    for (int k = 0; k < 8; ++k) text[rng() % text.size()] = static_cast<char>(rng());
    VcdTrace::parse(text);
    std::string noise(rng() % 300, '\0');
    const char alphabet[] = "#$01xzbrBR! \t\n\r[]\xC2\xA0\xE3\x80\xff.e+-";
    for (auto& c : noise) c = rng() % 2 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
    auto t = VcdTrace::parse(noise);
    for (const auto& name : t->signal_names()) t->signal_values_range(name, 0, t->timestamp_count() + 1);
  }
}

}  // namespace
}  // namespace trelm
