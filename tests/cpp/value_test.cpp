#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "signal/bitpack.hpp"
#include "signal/value.hpp"

namespace trelm {
namespace {

SignalValue L(std::vector<uint8_t> bits) { return SignalValue::logic(bits); }

struct ParseCase {
  std::string text;
  SignalValue expected;
};

class ParseBinary : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseBinary, GivesExpectedValue) {
  const auto& c = GetParam();
  EXPECT_TRUE(parse_binary_str(c.text) == c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseBinary,
    ::testing::Values(ParseCase{"", SignalValue::unknown()}, ParseCase{"b", SignalValue::unknown()},
                      ParseCase{"B", SignalValue::unknown()}, ParseCase{"b101", SignalValue::from_int(5)},
                      ParseCase{"101", SignalValue::from_int(5)}, ParseCase{"bb1", SignalValue::from_int(1)},
                      ParseCase{"12", SignalValue::from_int(2)}, ParseCase{"1u0", SignalValue::from_int(4)},
                      ParseCase{"1x0", L({1, 2, 0})}, ParseCase{"bZ10", L({3, 1, 0})}, ParseCase{"x1u", L({2, 1, 2})},
                      ParseCase{"1" + std::string(64, '0'), SignalValue::from_int(0)},
                      ParseCase{std::string(70, '1'), SignalValue::from_int(UINT64_MAX)},
                      // A multi-byte character is one digit.
                      ParseCase{"1\xC3\xA9" "1", SignalValue::from_int(5)}, ParseCase{"\xC3\xA9z", L({2, 3})}));

TEST(ToU64, ByVariant) {
  EXPECT_EQ(L({0, 1, 1}).to_u64(), 3u);
  EXPECT_FALSE(L({1, 2}).to_u64());
  EXPECT_EQ(L({}).to_u64(), 0u);
  EXPECT_EQ(L(std::vector<uint8_t>(70, 1)).to_u64(), UINT64_MAX);
  std::vector<uint8_t> x_early(70, 1);
  x_early[0] = 2;  // X before the last 64 bits still hides the integer view
  EXPECT_FALSE(L(x_early).to_u64());
  std::vector<uint64_t> words{7, 9};
  EXPECT_EQ(SignalValue::wide(words).to_u64(), 7u);
  EXPECT_FALSE(SignalValue::wide({}).to_u64());
  EXPECT_FALSE(SignalValue::unknown().to_u64());
}

TEST(ToU64, RealSaturates) {
  EXPECT_EQ(SignalValue::from_real(-1.5).to_u64(), 0u);
  EXPECT_EQ(SignalValue::from_real(std::nan("")).to_u64(), 0u);
  EXPECT_EQ(SignalValue::from_real(3.9).to_u64(), 3u);
  EXPECT_EQ(SignalValue::from_real(1e30).to_u64(), UINT64_MAX);
  EXPECT_EQ(SignalValue::from_real(18446744073709551616.0).to_u64(), UINT64_MAX);
  EXPECT_EQ(SignalValue::from_real(std::numeric_limits<double>::infinity()).to_u64(), UINT64_MAX);
  EXPECT_EQ(SignalValue::from_real(-0.0).to_u64(), 0u);
}

TEST(ToU64, StrIsUnsignedDecimal) {
  EXPECT_EQ(SignalValue::str("+5").to_u64(), 5u);
  EXPECT_FALSE(SignalValue::str("-0").to_u64());
  EXPECT_FALSE(SignalValue::str(" 5").to_u64());
  EXPECT_FALSE(SignalValue::str("").to_u64());
  EXPECT_FALSE(SignalValue::str("+").to_u64());
  EXPECT_FALSE(SignalValue::str("0x10").to_u64());
  EXPECT_EQ(SignalValue::str("18446744073709551615").to_u64(), UINT64_MAX);
  EXPECT_FALSE(SignalValue::str("18446744073709551616").to_u64());
}

TEST(Equality, VariantsAndPayloads) {
  double nan = std::nan("");
  EXPECT_FALSE(SignalValue::from_real(nan) == SignalValue::from_real(nan));
  EXPECT_TRUE(SignalValue::from_real(nan).same_representation(SignalValue::from_real(nan)));
  EXPECT_TRUE(SignalValue::from_real(0.0) == SignalValue::from_real(-0.0));
  EXPECT_TRUE(SignalValue::unknown() == SignalValue::unknown());
  EXPECT_FALSE(SignalValue::from_int(3) == L({1, 1}));
  EXPECT_FALSE(SignalValue::from_int(3) == SignalValue::str("3"));
  EXPECT_FALSE(L({1}) == L({0, 1}));
  EXPECT_TRUE(SignalValue::str("long text beyond inline") == SignalValue::str("long text beyond inline"));
}

TEST(Copy, IsDeepForInlineAndHeapPayloads) {
  for (size_t n : {0u, 3u, 8u, 9u, 100u}) {
    std::string text(n, 'q');
    SignalValue original = SignalValue::str(text);
    SignalValue copy = original;
    original = SignalValue::from_int(1);  // releases the original payload
    EXPECT_EQ(copy.text(), text);
    SignalValue moved = std::move(copy);
    EXPECT_EQ(moved.text(), text);
  }
  std::vector<uint64_t> words{1, 2, 3};
  SignalValue w = SignalValue::wide(words);
  SignalValue w2 = w;
  EXPECT_TRUE(w == w2);
  EXPECT_EQ(w2.wide_words().size(), 3u);
}

}  // namespace
}  // namespace trelm
