#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.hpp"
#include "formats/fst/fastlz.hpp"
#include "formats/fst/io.hpp"
#include "formats/fst/signals.hpp"
#include "formats/fst/fst.hpp"

namespace trelm {
namespace {

std::string text_of(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(FstPrimitives, UnsignedLeb128) {
  std::vector<uint8_t> bytes = {0xE5, 0x8E, 0x26};
  FstCursor in(bytes);
  auto v = read_variant_u32(in);
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->value, 624485u);
  EXPECT_EQ(v->size, 3u);

  std::vector<uint8_t> five = {0x80, 0x80, 0x80, 0x80, 0x80, 0x01};
  FstCursor too_long(five);
  auto e = read_variant_u32(too_long);
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().text(), "failed to read leb128 integer, more than the expected 32 bits");

  // The fifth byte contributes bits 28..31 only; the tenth byte of a u64 only bit 63.
  std::vector<uint8_t> max32 = {0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  FstCursor in32(max32);
  EXPECT_EQ(read_variant_u32(in32)->value, 0xFFFFFFFFu);
  std::vector<uint8_t> max64 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  FstCursor in64(max64);
  EXPECT_EQ(read_variant_u64(in64)->value, UINT64_MAX);
  std::vector<uint8_t> ten(10, 0x80);
  FstCursor in_ten(ten);
  EXPECT_EQ(read_variant_u64(in_ten).error().text(), "failed to read leb128 integer, more than the expected 64 bits");

  std::vector<uint8_t> cut = {0x80, 0x80};
  FstCursor in_cut(cut);
  EXPECT_EQ(read_variant_u64(in_cut).error().kind, ReaderErrorKind::Io);
}

TEST(FstPrimitives, SignedLeb128) {
  struct Case {
    std::vector<uint8_t> bytes;
    int64_t value;
  };
  for (const Case& c : std::vector<Case>{{{0x7F}, -1}, {{0x3F}, 63}, {{0x40}, -64}, {{0x80, 0x7F}, -128},
                                         {{0xE5, 0x8E, 0x26}, 624485}}) {
    FstCursor in(c.bytes);
    auto v = read_signed_variant_u64(in);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v->value, c.value);
    EXPECT_EQ(v->size, c.bytes.size());
  }
}

TEST(FstPrimitives, Strings) {
  std::vector<uint8_t> bytes = {'a', 'b', 0, 'c'};
  FstCursor in(bytes);
  EXPECT_EQ(*read_c_str(in, 16), "ab");
  EXPECT_EQ(in.position(), 3u);

  std::vector<uint8_t> long_text = {'a', 'b', 'c', 'd', 0};
  FstCursor too_long(long_text);
  auto e = read_c_str(too_long, 4);
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().text(),
            "failed to read a null terminated string because it exceeds the expected size of 4 bytes.\nabcd");
  FstCursor fits(long_text);
  EXPECT_EQ(*read_c_str(fits, 5), "abcd");

  std::vector<uint8_t> bad = {0xFF, 0};
  FstCursor bad_in(bad);
  EXPECT_EQ(read_c_str(bad_in, 8).error().text(), "failed to decode string");

  std::vector<uint8_t> fixed(128, 'v');
  FstCursor fixed_in(fixed);
  EXPECT_EQ(read_c_str_fixed_length(fixed_in, 128)->size(), 127u);
  EXPECT_EQ(fixed_in.position(), 128u);

  EXPECT_EQ(utf8_lossy("a\xE2\x82z\xFF"), "a\xEF\xBF\xBDz\xEF\xBF\xBD");
}

TEST(FstFastLz, Examples) {
  struct Case {
    std::vector<uint8_t> packed;
    std::string unpacked;
  };
  for (const Case& c : std::vector<Case>{{{0x02, 0x61, 0x62, 0x63}, "abc"},
                                         {{0x00, 0x61, 0x20, 0x00}, "aaaa"},
                                         {{0x20, 0x61, 0x20, 0x00}, "aaaa"},
                                         // level 1 long match: 9 + 2 bytes from distance 1
                                         {{0x00, 0x62, 0xE0, 0x02, 0x00}, std::string(12, 'b')},
                                         // level 2 long match with an extension run: 9 + 255 + 1
                                         {{0x20, 0x63, 0xE0, 0xFF, 0x01, 0x00}, std::string(266, 'c')}}) {
    auto out = fastlz_decompress(c.packed, c.unpacked.size());
    ASSERT_TRUE(out.ok()) << out.error().debug();
    EXPECT_EQ(text_of(*out), c.unpacked);
  }
}

TEST(FstFastLz, Refusals) {
  // A literal run needing more bytes than the chunk holds.
  std::vector<uint8_t> short_run = {0x05, 0x61};
  EXPECT_EQ(fastlz_decompress(short_run, 6).error().kind, ReaderErrorKind::Io);
  // A match before the start of the output.
  std::vector<uint8_t> far = {0x00, 0x61, 0x20, 0x05};
  EXPECT_EQ(fastlz_decompress(far, 6).error().kind, ReaderErrorKind::Malformed);
  // Level 3.
  std::vector<uint8_t> level3 = {0x40, 0x61};
  EXPECT_EQ(fastlz_decompress(level3, 1).error().kind, ReaderErrorKind::Malformed);
  // A claimed size no FastLZ data of this length can produce.
  EXPECT_EQ(fastlz_decompress(short_run, uint64_t{1} << 62).error().kind, ReaderErrorKind::Malformed);
}

TEST(FstPositionTable, PlainEncoding) {
  std::vector<uint8_t> table = {3, 4, 5, 0, 1};
  auto locs = read_signal_locs(table, 0, 5, 10);
  ASSERT_TRUE(locs.ok()) << locs.error().debug();
  EXPECT_EQ((*locs)[0].kind, FstSignalLoc::Data);
  EXPECT_EQ((*locs)[0].offset, 1u);
  EXPECT_EQ((*locs)[0].length, 2u);
  EXPECT_EQ((*locs)[1].kind, FstSignalLoc::None);
  EXPECT_EQ((*locs)[2].kind, FstSignalLoc::None);
  EXPECT_EQ((*locs)[3].kind, FstSignalLoc::Data);
  EXPECT_EQ((*locs)[3].offset, 3u);
  EXPECT_EQ((*locs)[3].length, 7u);
  EXPECT_EQ((*locs)[4].kind, FstSignalLoc::Alias);
  EXPECT_EQ((*locs)[4].target, 0u);
}

TEST(FstPositionTable, Version2Encoding) {
  // data +1, skip 2, data +4, alias of 0 (-1 -> 0x7F? s = 2*d+1 = -1), alias of remembered
  std::vector<uint8_t> table = {0x03, 0x04, 0x09, 0x7F, 0x01};
  auto locs = read_signal_locs(table, 2, 6, 20);
  ASSERT_TRUE(locs.ok()) << locs.error().debug();
  EXPECT_EQ((*locs)[0].offset, 1u);
  EXPECT_EQ((*locs)[0].length, 4u);
  EXPECT_EQ((*locs)[3].offset, 5u);
  EXPECT_EQ((*locs)[3].length, 15u);
  EXPECT_EQ((*locs)[4].kind, FstSignalLoc::Alias);
  EXPECT_EQ((*locs)[4].target, 0u);
  EXPECT_EQ((*locs)[5].kind, FstSignalLoc::Alias);
  EXPECT_EQ((*locs)[5].target, 0u);
}

TEST(FstPositionTable, HoldsOnlyTheSignalsItNames) {
  // A skip of 2^31 - 1 signals, then one chunk: five table bytes for a block
  // that claims 2^40 signals cost one entry, not one per signal.
  std::vector<uint8_t> table = {0xFE, 0xFF, 0xFF, 0xFF, 0x0F, 0x03};
  auto locs = read_signal_locs(table, 0, uint64_t{1} << 40, 10);
  ASSERT_TRUE(locs.ok()) << locs.error().debug();
  EXPECT_EQ(locs->size(), uint64_t{1} << 40);
  ASSERT_EQ(locs->entries().size(), 1u);
  const uint64_t last = (uint64_t{1} << 31) - 1;
  EXPECT_EQ((*locs)[last].kind, FstSignalLoc::Data);
  EXPECT_EQ((*locs)[last].offset, 1u);
  EXPECT_EQ((*locs)[last].length, 9u);
  EXPECT_EQ((*locs)[last - 1].kind, FstSignalLoc::None);
}

TEST(FstPositionTable, Refusals) {
  std::vector<uint8_t> beyond = {3, 3};  // two data signals for a one-signal block
  EXPECT_EQ(read_signal_locs(beyond, 0, 1, 10).error().kind, ReaderErrorKind::Malformed);
  std::vector<uint8_t> offset_past = {0x41};  // offset 32 in 10 bytes of data
  EXPECT_EQ(read_signal_locs(offset_past, 0, 1, 10).error().kind, ReaderErrorKind::Malformed);
  std::vector<uint8_t> cut = {0x80};
  EXPECT_EQ(read_signal_locs(cut, 0, 1, 10).error().kind, ReaderErrorKind::Io);
}

TEST(FstChangeEntry, OneBit) {
  struct Case {
    uint8_t byte;
    char value;
    uint64_t step;
  };
  FstSignalInfo one_bit = FstSignalInfo::from_file_format(1);
  std::vector<uint8_t> scratch;
  for (const Case& c : std::vector<Case>{{0x0A, '1', 2}, {0x0B, 'l', 0}, {0x13, 'z', 1}, {0x04, '0', 1}}) {
    std::vector<uint8_t> data = {c.byte};
    FstChangeValue value;
    auto size = decode_change_entry(data, 0, one_bit, FstFloatOrder::Little, scratch, value);
    ASSERT_TRUE(size.ok());
    EXPECT_EQ(*size, 1u);
    EXPECT_EQ(text_of(value.bytes), std::string(1, c.value));
    EXPECT_EQ(one_bit_signal_time_delta(c.byte), c.step);
  }
}

TEST(FstChangeEntry, MultiBitRealAndVariableLength) {
  std::vector<uint8_t> scratch;
  FstChangeValue value;
  std::vector<uint8_t> packed = {0x00, 0xA5};
  ASSERT_TRUE(decode_change_entry(packed, 0, FstSignalInfo::from_file_format(8), FstFloatOrder::Little, scratch, value).ok());
  EXPECT_EQ(text_of(value.bytes), "10100101");

  std::vector<uint8_t> chars = {0x03, 'x', '1', 'z'};
  EXPECT_EQ(*decode_change_entry(chars, 0, FstSignalInfo::from_file_format(3), FstFloatOrder::Little, scratch, value), 4u);
  EXPECT_EQ(text_of(value.bytes), "x1z");

  std::vector<uint8_t> real = {0x01, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F};
  ASSERT_TRUE(decode_change_entry(real, 0, FstSignalInfo::from_file_format(0), FstFloatOrder::Little, scratch, value).ok());
  EXPECT_TRUE(value.is_real);
  EXPECT_EQ(value.real, 1.5);
  real[0] = 0x00;
  EXPECT_EQ(decode_change_entry(real, 0, FstSignalInfo::from_file_format(0), FstFloatOrder::Little, scratch, value).error().kind,
            ReaderErrorKind::Malformed);

  std::vector<uint8_t> empty_var = {0x02, 0x00};
  FstSignalInfo var = FstSignalInfo::from_file_format(0xFFFFFFFFu);
  EXPECT_EQ(var.length(), 0u);
  EXPECT_EQ(*decode_change_entry(empty_var, 0, var, FstFloatOrder::Little, scratch, value), 2u);
  EXPECT_TRUE(value.bytes.empty());

  // An entry needing more bytes than its chunk holds.
  std::vector<uint8_t> cut = {0x01, 'x'};
  EXPECT_EQ(decode_change_entry(cut, 0, FstSignalInfo::from_file_format(3), FstFloatOrder::Little, scratch, value).error().kind,
            ReaderErrorKind::Io);
}

TEST(FstGeometry, SignalInfo) {
  EXPECT_TRUE(FstSignalInfo::from_file_format(0).is_real());
  EXPECT_EQ(FstSignalInfo::from_file_format(0).length(), 8u);
  EXPECT_EQ(FstSignalInfo::from_file_format(0xFFFFFFFFu).word(), 1u);
  EXPECT_EQ(FstSignalInfo::from_file_format(8).word(), 9u);
  EXPECT_EQ(FstSignalInfo::from_file_format(8).length(), 8u);
}

TEST(FstConvertValue, Kinds) {
  auto convert = [](std::string text) {
    FstChangeValue v;
    v.bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return FstTrace::convert_value(v);
  };
  uint8_t codes[] = {1, 2, 0, 3};
  EXPECT_EQ(convert("1x0z"), SignalValue::logic(codes));
  EXPECT_EQ(convert("0101"), SignalValue::from_int(5));
  EXPECT_EQ(convert("01?"), SignalValue::str("01?"));
  EXPECT_EQ(convert(""), SignalValue::unknown());
  EXPECT_EQ(convert("1" + std::string(64, '0')), SignalValue::from_int(0));
  uint8_t dash[] = {2};
  EXPECT_EQ(convert("-"), SignalValue::logic(dash));
  FstChangeValue real;
  real.is_real = true;
  real.real = 2.5;
  EXPECT_EQ(FstTrace::convert_value(real), SignalValue::from_real(2.5));
}

TEST(FstLoader, MissingFile) {
  auto t = FstTrace::from_file("/nonexistent/x.fst");
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error(), "Failed to open /nonexistent/x.fst: No such file or directory (os error 2)");
  auto empty = FstTrace::from_bytes({});
  EXPECT_EQ(empty.error(), "FST open: I/O operation failed");
}

}  // namespace
}  // namespace trelm
