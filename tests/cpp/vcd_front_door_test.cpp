// The VCD reader's front-door mode: names, exact values, strings, time
// units, declared types, the signal filter, gzip-compressed files, and the
// agreement of its two reading paths.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "formats/vcd/vcd.hpp"
#include "signal/column_exact.hpp"
#include "temp_files.hpp"

namespace trelm {
namespace {

// The exact value of a name at an index, written out: digits as they read,
// numbers in decimal, "s:" texts, "r:" reals, "-" for no value.
std::string exact(const Trace& trace, const std::string& name, Index index) {
  auto id = trace.signal_id(name);
  if (!id) return "no such name";
  const SignalColumn* column = trace.store().column(*id);
  ExactRun run = exact_run(column, run_covering(column, index));
  switch (exact_kind(run.view)) {
    case ExactKind::None: return "-";
    case ExactKind::Bits:
      return run.view.is_int() ? std::to_string(run.view.int_value()) : "wide " + std::to_string(run.view.wide_words()[1]);
    case ExactKind::Digits: return exact_digits(run.view, run.kept, trace.signal_width(name));
    case ExactKind::Real: return "r:" + std::to_string(run.view.real_value());
    case ExactKind::Text: return "s:" + std::string(run.view.text());
  }
  return "?";
}

LoadedDump load(const std::string& text, LoadOptions options = {}, VcdPieceOptions pieces = {}) {
  options.exact = true;
  auto loaded = VcdTrace::load_text(text, options, pieces);
  EXPECT_TRUE(loaded.ok());
  return std::move(loaded).value();
}

const char* const kDump = R"($timescale
  10 ns
$end
$scope module top $end
$var wire 1 ! clk $end
$var reg 4 " bus [3:0] $end
$var wire 8 # mem[3] $end
$var wire 8 $ mem [4] $end
$var wire 8 % data[7:0] $end
$var wire 70 & wide $end
$var string 1 ' state $end
$var real 64 ( level $end
$var wire 1 ) v $end
$scope module sub $end
$var wire 1 ! clk $end
$upscope $end
$upscope $end
$enddefinitions $end
#0
0!
bUX01 "
b1x #
bz $
bX %
b1000000000000000000000000000000000000000000000000000000000000000000001 &
sIDLE '
r1.5 (
U)
#5
1!
bUUUU "
X)
#10
bXXXX "
x)
sRUN '
#15
b0000 "
-)
h)
)";

TEST(VcdFrontDoor, NamesKindsTypesAndTimescale) {
  LoadedDump dump = load(kDump);
  const Trace& t = *dump.trace;
  EXPECT_EQ(t.signal_names(), (std::vector<std::string>{"top.clk", "top.bus", "top.mem[3]", "top.mem[4]", "top.data",
                                                         "top.wide", "top.state", "top.level", "top.v",
                                                         "top.sub.clk"}));
  ASSERT_TRUE(dump.info.timescale);
  EXPECT_EQ(dump.info.timescale->magnitude, 10u);
  EXPECT_EQ(dump.info.timescale->unit, "ns");
  std::vector<std::string> types;
  std::vector<SignalKind> kinds;
  for (const SignalDeclaration& d : dump.info.declarations) {
    types.push_back(d.var_type);
    kinds.push_back(d.kind);
  }
  EXPECT_EQ(types, (std::vector<std::string>{"wire", "reg", "wire", "wire", "wire", "wire", "string", "real", "wire",
                                             "wire"}));
  EXPECT_EQ(kinds[6], SignalKind::String);
  EXPECT_EQ(kinds[7], SignalKind::Real);
  EXPECT_EQ(kinds[0], SignalKind::Bits);

  for (const char* unit : {"$timescale 1ns $end", "$timescale 1 ns $end", "$timescale\n1ns\n$end"}) {
    LoadedDump d = load(std::string(unit) + "\n#0\n");
    ASSERT_TRUE(d.info.timescale) << unit;
    EXPECT_EQ(d.info.timescale->unit, "ns");
  }
  EXPECT_FALSE(load("$timescale 3 ns $end\n#0\n").info.timescale);
}

TEST(VcdFrontDoor, ValuesAsWritten) {
  LoadedDump dump = load(kDump);
  const Trace& t = *dump.trace;
  auto series = [&](const std::string& name) {
    std::vector<std::string> out;
    for (Index i = 0; i < 4; ++i) out.push_back(exact(t, name, i));
    return out;
  };
  using S = std::vector<std::string>;
  EXPECT_EQ(series("top.bus"), (S{"UX01", "UUUU", "XXXX", "0"}));
  EXPECT_EQ(series("top.mem[3]"), (S{"0000001x", "0000001x", "0000001x", "0000001x"}));
  EXPECT_EQ(series("top.mem[4]")[0], "zzzzzzzz");
  EXPECT_EQ(series("top.data")[0], "XXXXXXXX");
  EXPECT_EQ(series("top.wide")[0], "wide 32");  // bit 69 set: word 1 holds 2^5
  EXPECT_EQ(series("top.state"), (S{"s:IDLE", "s:IDLE", "s:RUN", "s:RUN"}));
  EXPECT_EQ(series("top.v"), (S{"U", "X", "x", "h"}));  // "-" at 15 replaced by "h" at the same index
  EXPECT_EQ(series("top.level")[3], "r:1.500000");

  // U then X, and X then x: equal views, other digits, so other runs.
  const SignalColumn* v = t.store().column(*t.signal_id("top.v"));
  EXPECT_EQ(v->run_count(), 4u);
}

// The pieces read on several threads give the line-by-line reading's runs,
// digits included.
TEST(VcdFrontDoor, PiecesMatchLines) {
  std::mt19937 rng(3);
  const char* const scalars[] = {"0", "1", "x", "X", "z", "Z", "U", "W", "L", "H", "-", "u"};
  const char* const vectors[] = {"b0101", "bUX01", "bxz", "b1", "bZZ", "b-", "b111111111111111111111111111111111111111111111111111111111111111111"};
  std::string text = "$scope module t $end\n$var wire 1 ! a $end\n$var wire 4 \" b $end\n$var string 1 # s $end\n"
                     "$upscope $end\n";
  for (int step = 0; step < 3000; ++step) {
    text += "#" + std::to_string(step) + "\n";
    text += std::string(scalars[rng() % 12]) + "!\n";
    text += std::string(vectors[rng() % 7]) + " \"\n";
    if (rng() % 7 == 0) text += "sw" + std::to_string(rng() % 3) + " #\n";
  }
  VcdPieceOptions lines;
  lines.min_parallel_bytes = SIZE_MAX;
  VcdPieceOptions pieces;
  pieces.force = true;
  pieces.min_parallel_bytes = 0;
  pieces.window_bytes = 4096;
  pieces.piece_bytes = 97;
  LoadedDump a = load(text, {}, lines), b = load(text, {}, pieces);
  for (const std::string& name : a.trace->signal_names()) {
    const SignalColumn* x = a.trace->store().column(*a.trace->signal_id(name));
    const SignalColumn* y = b.trace->store().column(*b.trace->signal_id(name));
    ASSERT_EQ(x->run_count(), y->run_count()) << name;
    for (size_t k = 0; k < x->run_count(); ++k) {
      ASSERT_EQ(x->run_start(k), y->run_start(k));
      ASSERT_TRUE(x->run_value(k).same_representation(y->run_value(k)));
      ASSERT_EQ(x->run_digits(k), y->run_digits(k));
    }
  }
}

TEST(VcdFrontDoor, FilterKeepsMatchingNamesAndTheirCodes) {
  LoadOptions options;
  options.filter = true;
  options.signals = {"top.mem*", "top.sub.c?k"};
  LoadedDump dump = load(kDump, options);
  const Trace& t = *dump.trace;
  EXPECT_EQ(t.signal_names(), (std::vector<std::string>{"top.mem[3]", "top.mem[4]", "top.sub.clk"}));
  EXPECT_EQ(t.scopes(), (std::vector<std::string>{"top", "top.sub"}));
  EXPECT_EQ(dump.info.declarations.size(), 3u);
  LoadedDump whole = load(kDump);
  for (const std::string& name : t.signal_names())
    for (Index i = 0; i < 4; ++i) EXPECT_EQ(exact(t, name, i), exact(*whole.trace, name, i)) << name;
}

class VcdLoadFiles : public TempFiles {
 protected:
  static std::string gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
  }
};

TEST_F(VcdLoadFiles, StreamReadsLikeTheText) {
  std::string text = kDump;
  for (int i = 20; i < 5000; ++i) text += "#" + std::to_string(i * 5) + "\n" + (i % 2 ? "1!\n" : "0!\n");
  VcdPieceOptions small;
  small.window_bytes = 1000;  // many windows, lines cut across the stream's blocks
  LoadOptions options;
  options.exact = true;
  // Two members one after the other read as one text.
  const size_t half = text.find("#2000\n");
  std::string members = gzip(text.substr(0, half)) + gzip(text.substr(half));
  for (const std::string& bytes : {gzip(text), members}) {
    auto loaded = VcdTrace::load_file(write("d.vcd.gz", bytes), options, true, small);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    LoadedDump plain = load(text);
    const Trace& t = *loaded->trace;
    ASSERT_EQ(t.signal_names(), plain.trace->signal_names());
    ASSERT_EQ(t.timestamp_count(), plain.trace->timestamp_count());
    for (const std::string& name : t.signal_names())
      for (Index i : {Index{0}, Index{3}, Index{4000}}) ASSERT_EQ(exact(t, name, i), exact(*plain.trace, name, i));
  }
}

TEST_F(VcdLoadFiles, DamagedStreamsFail) {
  std::string text = kDump;
  for (int i = 20; i < 2000; ++i) text += "#" + std::to_string(i) + "\nb" + std::to_string(i % 2) + " \"\n";
  const std::string whole = gzip(text);
  std::string corrupt = whole;
  corrupt[corrupt.size() / 2] ^= 0x55;
  std::string bad_crc = whole;
  bad_crc[bad_crc.size() - 6] ^= 1;
  const std::pair<std::string, std::string> cases[] = {
      {whole.substr(0, whole.size() / 2), "the gzip stream ends early (the file is truncated)"},
      {whole.substr(0, whole.size() - 4), "the gzip stream ends early (the file is truncated)"},
      {corrupt, "the gzip stream is corrupt"},
      {bad_crc, "the gzip stream is corrupt (incorrect data check)"},
      {whole + "junk", "data follows the end of the gzip stream"},
      {text, "the gzip stream is corrupt (incorrect header check)"},
  };
  LoadOptions options;
  options.exact = true;
  for (const auto& [bytes, reason] : cases) {
    std::string path = write("d.vcd.gz", bytes);
    auto loaded = VcdTrace::load_file(path, options, true);
    ASSERT_FALSE(loaded.ok()) << reason;
    EXPECT_EQ(loaded.error().rfind("Failed to read " + path + ": " + reason, 0), 0u) << loaded.error();
  }
}

// The literal reading through load_file equals from_file's.
TEST_F(VcdLoadFiles, DefaultOptionsReadLiterally) {
  std::string path = write("d.vcd", kDump);
  auto literal = VcdTrace::from_file(path);
  auto loaded = VcdTrace::load_file(path, LoadOptions{});
  ASSERT_TRUE(literal.ok() && loaded.ok());
  const Trace& a = **literal;
  const Trace& b = *loaded->trace;
  ASSERT_EQ(a.signal_names(), b.signal_names());
  for (const std::string& name : a.signal_names())
    EXPECT_EQ(a.signal_values_range(name, 0, 5), b.signal_values_range(name, 0, 5)) << name;
  EXPECT_FALSE(loaded->info.timescale);
}

}  // namespace
}  // namespace trelm
