// Digits kept beside a column's runs, and the exact values read from them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "signal/column_exact.hpp"
#include "signal/store.hpp"

namespace trelm {
namespace {

SignalValue logic(std::initializer_list<uint8_t> bits) { return SignalValue::logic(std::vector<uint8_t>(bits)); }

struct Written {
  SignalValue value;
  std::string digits;
};

// Every index's value and digits as the column reads them.
std::vector<Written> dense(const SignalColumn& column, Index count) {
  std::vector<Written> out(count);
  for (Index i = 0; i < count; ++i) {
    size_t k = column.run_at(i);
    if (k != SignalColumn::npos) out[i] = {column.run_value(k), std::string(column.run_digits(k))};
  }
  return out;
}

TEST(KeptDigits, EqualViewsWithOtherDigitsAreTwoRuns) {
  SignalStore store;
  SignalColumn& c = store.column_for_append(0);
  c.carry_and_set(0, logic({2}), "U");
  c.carry_and_set(1, logic({2}), "U");  // same value and digits: merged
  c.carry_and_set(2, logic({2}), "X");
  c.carry_and_set(3, logic({2}), "");  // lower-case x: no digits
  c.carry_and_set(4, SignalValue::from_int(1), "");
  c.carry_and_set_int(5, 1);
  ASSERT_EQ(c.run_count(), 4u);
  std::vector<std::string> digits;
  for (size_t k = 0; k < c.run_count(); ++k) digits.emplace_back(c.run_digits(k));
  EXPECT_EQ(digits, (std::vector<std::string>{"U", "X", "", ""}));
  EXPECT_EQ(c.run_start(2), 3u);

  const SignalColumn& plain = store.column_for_append(1);
  store.column_for_append(1).carry_and_set(0, logic({2}));
  EXPECT_EQ(plain.run_digits(0), "");
}

// Rewrites in the middle (set, forward fills) keep every run's digits with it.
TEST(KeptDigits, RewritesKeepDigitsWithTheirRuns) {
  std::mt19937 rng(7);
  const char* const kDigits[] = {"", "U", "X", "W"};
  for (int round = 0; round < 200; ++round) {
    SignalStore store;
    std::vector<Written> model;
    Index next = 0;
    for (int step = 0; step < 30; ++step) {
      if (rng() % 4 == 0 && !model.empty()) {
        Index at = rng() % model.size();
        SignalValue v = rng() % 3 ? SignalValue::from_int(rng() % 2) : SignalValue::unknown();
        store.set(0, at, v);
        model[at] = {v, ""};
        continue;
      }
      next += rng() % 3;
      const char* d = kDigits[rng() % 4];
      SignalValue v = *d ? logic({2}) : (rng() % 2 ? logic({3}) : SignalValue::from_int(rng() % 2));
      store.column_for_append(0).carry_and_set(next, v, d);
      if (model.size() <= next) {
        Written carried = model.empty() ? Written{} : model.back();
        if (carried.value.is_unknown()) carried = {};
        model.resize(next + 1, carried);
      }
      model[next] = {v, d};
      ++next;
    }
    const SignalColumn& c = *store.column(0);
    std::vector<Written> got = dense(c, model.size());
    for (size_t i = 0; i < model.size(); ++i) {
      ASSERT_TRUE(got[i].value.same_representation(model[i].value)) << round << " " << i;
      ASSERT_EQ(got[i].digits, model[i].digits) << round << " " << i;
    }
    for (size_t k = 1; k < c.run_count(); ++k)
      ASSERT_FALSE(c.run_value(k).same_representation(c.run_value(k - 1)) && c.run_digits(k) == c.run_digits(k - 1));
  }
}

TEST(ExactValue, DigitsExtendByTheLeadingDigit) {
  EXPECT_EQ(exact_digits(logic({2, 1}), "", 4), "xxx1");
  EXPECT_EQ(exact_digits(logic({1, 3}), "", 4), "001z");
  EXPECT_EQ(exact_digits(logic({2, 0}), "UL", 4), "UUUL");
  EXPECT_EQ(exact_digits(logic({1, 0}), "HL", 1), "HL");  // longer than declared: as written
  EXPECT_THROW(exact_digits(logic({2}), "", kMaxDigitText + 1), std::bad_alloc);
}

TEST(ExactValue, EqualityFollowsTheExtendedValue) {
  const uint64_t words[] = {5, 0};
  struct Case {
    SignalValue a;
    std::string kept_a;
    SignalValue b;
    std::string kept_b;
    uint64_t width;
    bool equal;
  };
  std::vector<Case> cases = {
      {logic({1, 2}), "", logic({0, 1, 2}), "", 4, true},  // "1x" and "01x" both read 001x
      {logic({2, 1}), "", logic({2, 2, 1}), "", 4, true},
      {logic({2, 1}), "", logic({2, 2, 1}), "", 2, false},
      {logic({2}), "X", logic({2}), "", 1, false},
      {logic({2}), "U", logic({2}), "X", 1, false},
      {logic({2}), "U", logic({2, 2}), "UU", 2, true},
      {SignalValue::from_int(5), "", SignalValue::wide(words), "", 70, true},
      {SignalValue::from_int(5), "", logic({1, 0, 1}), "", 3, false},
      {SignalValue::str("01"), "", SignalValue::from_int(1), "", 2, false},
      {SignalValue::unknown(), "", SignalValue::unknown(), "", 2, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exact_equal(c.a, c.kept_a, c.b, c.kept_b, c.width), c.equal) << c.kept_a << " " << c.width;
    EXPECT_EQ(exact_equal(c.b, c.kept_b, c.a, c.kept_a, c.width), c.equal);
  }
}

TEST(ExactValue, ChangesSkipRunsOfEqualExactValue) {
  SignalStore store;
  SignalColumn& c = store.column_for_append(0);
  c.carry_and_set(0, logic({1, 2}));
  c.carry_and_set(2, logic({0, 1, 2}));  // the same value at width 4
  c.carry_and_set(3, logic({2}), "X");
  c.carry_and_set(5, SignalValue::unknown());
  std::vector<ExactChange> changes = exact_changes(&c, 7, 4);
  std::vector<Index> at;
  for (const ExactChange& change : changes) at.push_back(change.index);
  EXPECT_EQ(at, (std::vector<Index>{0, 3, 5}));
  EXPECT_EQ(exact_bits(logic({1, 2, 1}), "").bits, 0b101u);
}

}  // namespace
}  // namespace trelm
