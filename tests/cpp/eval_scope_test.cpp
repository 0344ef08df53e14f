#include <gtest/gtest.h>

#include "eval/names/scope.hpp"
#include "eval/names/snapshot_signals.hpp"
#include "eval/names/unicode_lower.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;
using Names = std::vector<std::string>;

std::unique_ptr<RecordTrace> hierarchy(Names names, Names scopes) {
  std::vector<TestSignal> signals;
  for (size_t k = 0; k < names.size(); ++k) signals.push_back({names[k], k, {}});
  return make_trace(signals, 1, std::move(scopes));
}

std::unique_ptr<RecordTrace> design() {
  return hierarchy({"top.clk", "top.cpu.pc", "top.cpu.alu.acc", "topx.clk", "rst"},
                   {"top", "top.cpu", "top.cpu.alu", "topx"});
}

TEST(EvalScopeTest, Resolve) {
  auto t = design();
  EXPECT_EQ(resolve(*t, "top", "clk"), "top.clk");
  EXPECT_EQ(resolve(*t, "top.cpu", "acc"), "top.cpu.alu.acc");
  EXPECT_EQ(resolve(*t, "", "clk"), "top.clk");
  EXPECT_EQ(resolve(*t, "", "rst"), "rst");
  EXPECT_EQ(resolve(*t, "top", "xyz"), std::nullopt);
  EXPECT_EQ(resolve(*t, "top", "lk"), std::nullopt);  // a whole last component only
  auto no_top_clk = hierarchy({"topx.clk", "top.a"}, {});
  EXPECT_EQ(resolve(*no_top_clk, "top", "clk"), "topx.clk");  // plain prefix in the fallback
}

TEST(EvalScopeTest, LocalSignalsAndScopes) {
  auto t = design();
  EXPECT_EQ(local_signals(*t, "top"), Names{"top.clk"});
  EXPECT_EQ(local_signals(*t, "top.cpu"), Names{"top.cpu.pc"});
  EXPECT_EQ(local_signals(*t, ""), Names{"rst"});
  EXPECT_EQ(local_signals(*t, "to"), Names{});
  EXPECT_EQ(local_scopes(*t, "top"), Names{"top.cpu"});
  EXPECT_EQ(local_scopes(*t, "top.cpu"), Names{"top.cpu.alu"});
  EXPECT_EQ(local_scopes(*t, ""), (Names{"top", "topx"}));
  auto gaps = hierarchy({}, {"top.mem.bank0", "top.cpu", "top.cpu.alu", "top.mem.bank1", "top", "top"});
  EXPECT_EQ(local_scopes(*gaps, "top"), (Names{"top.mem", "top.cpu"}));
  EXPECT_EQ(local_scopes(*gaps, ""), Names{"top"});
}

TEST(EvalScopeTest, Glob) {
  auto t = design();
  struct Case {
    const char* pattern;
    Names expected;
  };
  const std::vector<Case> cases = {
      {"top.*", {"top.clk", "top.cpu.pc", "top.cpu.alu.acc"}},
      {"*.clk", {"top.clk", "topx.clk"}},
      {"top.???", {"top.clk"}},
      {"top", {}},
      {"TOP.*", {}},
      {"*", {"top.clk", "top.cpu.pc", "top.cpu.alu.acc", "topx.clk", "rst"}},
      {"", {}},
      {"r*t", {"rst"}},
      {"*c*c", {"top.cpu.pc", "top.cpu.alu.acc"}},
      {"*u*c", {"top.cpu.pc", "top.cpu.alu.acc"}},
      {"*a*c", {"top.cpu.alu.acc"}},
      {"top.cpu.*.acc", {"top.cpu.alu.acc"}},
      {"**", {"top.clk", "top.cpu.pc", "top.cpu.alu.acc", "topx.clk", "rst"}},
  };
  for (const auto& c : cases) EXPECT_EQ(find_signals_glob(*t, c.pattern), c.expected) << c.pattern;

  // A literal match is tried before '*': the lone '*' then fails on names that
  // begin with '*' and go on; '[' is an ordinary byte.
  auto odd = hierarchy({"*ab", "*", "a[1]", ""}, {});
  EXPECT_EQ(find_signals_glob(*odd, "*"), (Names{"*", "a[1]", ""}));
  EXPECT_EQ(find_signals_glob(*odd, "a[?]"), Names{"a[1]"});
  EXPECT_EQ(find_signals_glob(*odd, ""), Names{""});
}

TEST(EvalScopeTest, Containing) {
  auto t = design();
  EXPECT_EQ(find_signals_containing(*t, "CPU"), (Names{"top.cpu.pc", "top.cpu.alu.acc"}));
  EXPECT_EQ(find_signals_containing(*t, "").size(), 5u);
  auto greek = hierarchy({"top.ΟΔΟΣ", "İstanbul", "ǅx", "plain"}, {});
  EXPECT_EQ(find_signals_containing(*greek, "οδος"), Names{"top.ΟΔΟΣ"});  // final sigma
  EXPECT_EQ(find_signals_containing(*greek, "οδοσ"), Names{});
  EXPECT_EQ(find_signals_containing(*greek, "i̇st"), Names{"İstanbul"});
  EXPECT_EQ(find_signals_containing(*greek, "ǆ"), Names{"ǅx"});
}

// Expected texts are what Python's str.lower() gives.
// Names without an id are left out, aliases kept, a repeated name listed at
// its first place only.
TEST(EvalScopeTest, SnapshotSignals) {
  TraceRecord r;
  r.signal_names = {"top.b", "top.a", "top.gone", "top.alias", "top.b"};
  r.name_to_id = {{"top.a", 4}, {"top.b", 7}, {"top.alias", 4}};
  RecordTrace t(std::move(r));
  std::vector<std::pair<std::string_view, SignalId>> listed;
  for (const NamedSignal& s : snapshot_signals(t)) listed.emplace_back(s.name, s.id);
  EXPECT_EQ(listed, (decltype(listed){{"top.b", 7}, {"top.a", 4}, {"top.alias", 4}}));
}

TEST(EvalScopeTest, UnicodeLowerMatchesPython) {
  struct Case {
    const char* text;
    const char* lower;
  };
  const Case cases[] = {
      {"ABC.Def_9", "abc.def_9"},
      {"İ", "i̇"},                        // one character becomes two
      {"Σ", "σ"},                         // nothing cased before it
      {"ΑΣ", "ας"},                       // final
      {"ΑΣΑ", "ασα"},                     // cased letter follows
      {"ΑΣ.", "ας."},                     // '.' is neither cased nor ignorable
      {"Α'Σ", "α'ς"},                     // apostrophe is case-ignorable
      {"ΑΣ'Α", "ασ'α"},
      {"ΣΣ", "σς"},
      {"A\xcc\x81Σ", "a\xcc\x81ς"},       // combining acute is ignorable
      {"ẞ", "ß"},
      {"Ω", "ω"},                         // ohm sign
      {"K", "k"},                         // Kelvin sign
      {"Ａ", "ａ"},                       // full width
      {"𐐀", "𐐨"},                       // outside the basic plane
      {"ǅ", "ǆ"},
  };
  for (const auto& c : cases) EXPECT_EQ(unicode_lower(c.text), c.lower) << c.text;
}

TEST(EvalScopeTest, UndecodableBytesStayAsTheyAre) {
  const std::string inputs[] = {"\xff", "A\x80Σ", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80Z"};
  const std::string expected[] = {"\xff", "a\x80σ", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80z"};
  for (size_t k = 0; k < std::size(inputs); ++k) EXPECT_EQ(unicode_lower(inputs[k]), expected[k]);
}

}  // namespace
}  // namespace trelm
