// The change queries against the literal comparison of each signal's values
// at neighbouring indices.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "eval/changes.hpp"
#include "eval_random_case.hpp"
#include "eval_test_trace.hpp"

namespace trelm {
namespace {

using namespace testing;

std::vector<TransitionRecord> literal_transitions(const Trace& t, const std::string& name) {
  std::vector<TransitionRecord> out;
  auto id = t.signal_id(name);
  if (!id) return out;
  SignalValue prev = t.signal_value_by_id(*id, 0);
  for (Index i = 1; i <= t.max_index(); ++i) {
    SignalValue cur = t.signal_value_by_id(*id, i);
    if (!(cur == prev)) out.push_back({i, prev, cur});
    prev = cur;
  }
  return out;
}

std::vector<ChangeRecord> literal_changed_at(const Trace& t, Index index) {
  std::vector<ChangeRecord> out;
  if (index == 0) return out;
  for (const auto& name : t.signal_names()) {
    auto id = t.signal_id(name);
    if (!id) continue;
    SignalValue a = t.signal_value_by_id(*id, index - 1), b = t.signal_value_by_id(*id, index);
    if (!(a == b)) out.push_back({name, a, b});
  }
  return out;
}

bool same_place(const ChangeRecord& a, const ChangeRecord& b) { return a.name == b.name; }
bool same_place(const TransitionRecord& a, const TransitionRecord& b) { return a.index == b.index; }

template <class Record>
bool same_records(const std::vector<Record>& a, const std::vector<Record>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (!same_place(a[k], b[k]) || !identical(a[k].old_value, b[k].old_value) ||
        !identical(a[k].new_value, b[k].new_value))
      return false;
  return true;
}

bool same_changes(const std::vector<ChangeRecord>& a, const std::vector<ChangeRecord>& b) { return same_records(a, b); }

bool same_transitions(const std::vector<TransitionRecord>& a, const std::vector<TransitionRecord>& b) {
  return same_records(a, b);
}

TEST(EvalChangesTest, ChangesAndTransitions) {
  auto t = make_trace(
      {
          {"top.a", 0, {U(), U(), U(), U(), U(), I(1), I(1), I(1)}},
          {"top.sub.b", 1, {I(0), I(0), I(0), I(0), I(0), I(0), I(3), L({0, 1, 1})}},
          {"topx.c", 2, {R(1.0), R(1.0), R(kNaN), R(kNaN), R(2.0), R(2.0), R(2.0), R(2.0)}},
          {"alias.a", 0, {}},  // shares top.a's id
      },
      8);
  auto names = [](const std::vector<ChangeRecord>& r) {
    std::vector<std::string> out;
    for (const auto& c : r) out.push_back(c.name);
    return out;
  };
  EXPECT_TRUE(changed_at(*t, 0).empty());
  EXPECT_TRUE(changed_at(*t, 1).empty());
  auto at5 = changed_at(*t, 5);
  EXPECT_EQ(names(at5), (std::vector<std::string>{"top.a", "alias.a"}));
  EXPECT_TRUE(identical(at5[0].old_value, U()) && identical(at5[0].new_value, I(1)));
  EXPECT_EQ(names(changed_at(*t, 3)), std::vector<std::string>{"topx.c"});  // NaN held over 2 and 3
  EXPECT_EQ(names(changed_at(*t, 7)), std::vector<std::string>{"top.sub.b"});
  EXPECT_EQ(names(changed_at_scope(*t, 7, "top")), std::vector<std::string>{"top.sub.b"});
  EXPECT_EQ(names(changed_at_scope(*t, 5, "top")), std::vector<std::string>{"top.a"});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "top")), std::vector<std::string>{});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "topx")), std::vector<std::string>{"topx.c"});
  EXPECT_EQ(names(changed_at_scope(*t, 4, "to")), std::vector<std::string>{});
  // Past the end every signal known at the index before is reported, new Unknown.
  auto past = changed_at(*t, 8);
  EXPECT_EQ(names(past), (std::vector<std::string>{"top.a", "top.sub.b", "topx.c", "alias.a"}));
  EXPECT_TRUE(identical(past[1].new_value, U()));
  EXPECT_TRUE(changed_at(*t, 9).empty());
  EXPECT_TRUE(changed_at(*t, std::numeric_limits<Index>::max()).empty());

  auto tr = transitions(*t, "top.sub.b");
  ASSERT_EQ(tr.size(), 2u);
  EXPECT_EQ(tr[0].index, 6u);
  EXPECT_EQ(tr[1].index, 7u);  // Int 3 -> Logic 011: different variants
  auto nan = transitions(*t, "topx.c");
  ASSERT_EQ(nan.size(), 3u);
  EXPECT_EQ(nan[0].index, 2u);
  EXPECT_EQ(nan[1].index, 3u);
  EXPECT_EQ(nan[2].index, 4u);
  EXPECT_TRUE(transitions(*t, "nope").empty());
  auto one = make_trace({{"a", 0, {I(1)}}}, 1);
  EXPECT_TRUE(transitions(*one, "a").empty());
}

TEST(EvalChangesTest, ChangesEqualLiteralComparison) {
  for (uint64_t seed = 0; seed < 3000; ++seed) {
    RandomCase r(seed);
    size_t signals = 0;
    auto t = r.trace(signals);
    for (size_t s = 0; s < signals; ++s) {
      std::string name = "s" + std::to_string(s);
      ASSERT_TRUE(same_transitions(transitions(*t, name), literal_transitions(*t, name))) << "seed " << seed;
    }
    for (Index i = 0; i <= t->max_index() + 2; ++i)
      ASSERT_TRUE(same_changes(changed_at(*t, i), literal_changed_at(*t, i))) << "seed " << seed << " at " << i;
  }
}

// Many names take the split path of changed_at; the order must not change.
TEST(EvalChangesTest, ChangedAtOverManySignals) {
  RandomCase r(42);
  std::vector<TestSignal> signals;
  for (size_t s = 0; s < 9000; ++s) {
    std::vector<SignalValue> values;
    for (size_t i = 0; i < 4; ++i) values.push_back(r.pick(3) ? I(r.pick(2)) : r.value());
    signals.push_back({"sig" + std::to_string(s), s % 7000, std::move(values)});
  }
  auto t = make_trace(signals, 4);
  for (Index i = 0; i <= 5; ++i) ASSERT_TRUE(same_changes(changed_at(*t, i), literal_changed_at(*t, i)));
}

}  // namespace
}  // namespace trelm
