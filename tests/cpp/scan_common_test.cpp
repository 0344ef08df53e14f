// The shared scanner steps: text runs, both identifier rule sets, scopes,
// LEB128 numbers and bounded inflation.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "formats/scan/common.hpp"

namespace trelm {
namespace {

Bytes bytes_of(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

std::vector<uint8_t> deflate_bytes(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(raw.size());
  std::vector<uint8_t> out(size);
  EXPECT_EQ(compress2(out.data(), &size, raw.data(), raw.size(), 9), Z_OK);
  out.resize(size);
  return out;
}

TEST(ScanCommon, TerminatedRuns) {
  struct Case {
    std::string input;
    std::vector<std::string> runs;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"abc", {}},                                  // no terminator
      {"abc\x01"s, {}},                             // wrong terminator
      {"  abc\0"s, {"abc"}},                        // leading spaces skipped
      {"a b\0c\0"s, {"a b", "c"}},                  // inner space kept
      {"x\0abc"s, {"x"}},                           // a run reaching the end stops the scan
      {"ab\x01" "cd\0"s, {"cd"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> runs;
    for_each_terminated_run(bytes_of(c.input), [&](std::string_view r) { runs.emplace_back(r); });
    EXPECT_EQ(runs, c.runs) << c.input;
  }
}

// The scan as first described: forward from each candidate start.
std::vector<std::string> forward_runs(Bytes b) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < b.size()) {
    if (b[i] < 0x21 || b[i] > 0x7E) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < b.size() && is_printable(b[j])) ++j;
    if (j == b.size()) break;
    if (b[j] == 0) out.emplace_back(as_text(b.subspan(i, j - i)));
    i = j + 1;
  }
  return out;
}

TEST(ScanCommon, TerminatedRunsMatchTheForwardScan) {
  std::mt19937 rng(3);
  const uint8_t alphabet[] = {0, 0, 1, ' ', ' ', 'a', 'b', '.', 0x7F, 0x80, 0x1F};
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> b(rng() % 40);
    for (auto& c : b) c = alphabet[rng() % sizeof alphabet];
    std::vector<std::string> runs;
    for_each_terminated_run(b, [&](std::string_view r) { runs.emplace_back(r); });
    ASSERT_EQ(runs, forward_runs(b));
  }
}

TEST(ScanCommon, IdentifierRuleSetsDiffer) {
  struct Case {
    const char* text;
    bool fsdb;
    bool wlf;
  };
  const Case cases[] = {
      {"_x", true, true}, {"a.b", true, true}, {"bus[7:0]", true, true}, {"a$1", true, true},
      {"1abc", false, false}, {"_a/b", false, false}, {"a-b", false, true}, {"a b=c", false, true},
      {"x.log", false, true}, {"mysimv", false, true}, {"a..b", false, false}, {"a.", false, false},
      {"a.1b", false, false}, {"\\esc", false, false}, {"a@b", false, false}, {"a{b", false, false},
      {"f(x)", false, false}, {"top.fsdb", false, true}, {"x", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_fsdb_identifier(c.text), c.fsdb) << c.text;
    EXPECT_EQ(is_wlf_identifier(c.text), c.wlf) << c.text;
  }
}

TEST(ScanCommon, DeriveScopes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(derive_scopes({"a.b.c", "a.d", "e"}), (V{"a", "a.b"}));
  EXPECT_EQ(derive_scopes({"top.cpu.pc", "top.mem"}), (V{"top", "top.cpu"}));
  EXPECT_EQ(derive_scopes({"b.x", "a.y.z", "a.y.w", "a.y"}), (V{"a", "a.y", "b"}));
  EXPECT_EQ(derive_scopes({"a..b", ".c"}), (V{"", "a", "a."}));
  EXPECT_EQ(derive_scopes({"B.x", "a.x", "_.x"}), (V{"B", "_", "a"}));  // byte order
}

TEST(ScanCommon, DeriveScopesRefusesAbsurdNames) {
  std::string name;
  for (int i = 0; i < 200000; ++i) name += "ab.";
  name += "c";
  EXPECT_THROW(derive_scopes({name}), std::bad_alloc);
}

TEST(ScanCommon, Leb128) {
  const uint8_t data[] = {0x85, 0x01, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x05};
  size_t pos = 0;
  EXPECT_EQ(read_leb128(data, pos, sizeof data), 133u);
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(read_leb128(data, pos, sizeof data), 127u);
  EXPECT_EQ(read_leb128(data, pos, sizeof data), ~uint64_t{0});  // ten bytes at most
  EXPECT_EQ(pos, 13u);
  EXPECT_EQ(read_leb128(data, pos, sizeof data), 5u);
  pos = 0;
  EXPECT_EQ(read_leb128(data, pos, 1), 5u);  // ends at the end of the range
  EXPECT_EQ(pos, 1u);
}

TEST(ScanCommon, TryZlibDecompress) {
  std::vector<uint8_t> small(1000, 'a');
  auto packed = deflate_bytes(small);
  packed.push_back(0x99);  // trailing byte not consumed
  auto out = try_zlib_decompress(packed);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->bytes, small);
  EXPECT_EQ(out->consumed, packed.size() - 1);

  // Larger than 1 MiB: the second pass takes 4 MiB at most.
  std::vector<uint8_t> big(5 << 20, 'b');
  auto big_packed = deflate_bytes(big);
  out = try_zlib_decompress(big_packed);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->bytes.size(), size_t{4} << 20);

  // Truncated: the second pass keeps what came out.
  std::vector<uint8_t> truncated(packed.begin(), packed.begin() + packed.size() / 2);
  out = try_zlib_decompress(truncated);
  ASSERT_TRUE(out);
  EXPECT_LT(out->bytes.size(), small.size());

  std::vector<uint8_t> corrupt = packed;
  corrupt[corrupt.size() - 3] ^= 0xFF;  // check value
  EXPECT_FALSE(try_zlib_decompress(corrupt));
  EXPECT_FALSE(try_zlib_decompress(std::vector<uint8_t>{0x78}));
  EXPECT_FALSE(try_zlib_decompress(deflate_bytes({})));  // no output

  uint64_t work = 0;
  (void)try_zlib_decompress(big_packed, &work);
  EXPECT_EQ(work, (size_t{1} << 20) + (size_t{4} << 20));
}

TEST(ScanCommon, InflateWholeStreamCapsOutput) {
  std::vector<uint8_t> raw(100000, 'c');
  auto packed = deflate_bytes(raw);
  EXPECT_EQ(inflate_whole_stream(packed, 1 << 20)->size(), raw.size());
  EXPECT_EQ(inflate_whole_stream(packed, 4096)->size(), 4096u);
  std::vector<uint8_t> truncated(packed.begin(), packed.begin() + packed.size() / 2);
  EXPECT_FALSE(inflate_whole_stream(truncated, 1 << 20));
}

}  // namespace
}  // namespace trelm
