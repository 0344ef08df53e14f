// The value-change reader that decodes pieces on the workers must leave
// exactly the trace the line-at-a-time reader leaves: same names, scopes,
// time stamps and the same runs in every column, whatever the cut points.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "formats/vcd/vcd.hpp"

namespace trelm {
namespace {

VcdPieceOptions line_by_line() {
  VcdPieceOptions options;
  options.min_parallel_bytes = SIZE_MAX;
  return options;
}

VcdPieceOptions in_pieces(size_t window_bytes, size_t piece_bytes) {
  VcdPieceOptions options;
  options.window_bytes = window_bytes;
  options.piece_bytes = piece_bytes;
  options.min_parallel_bytes = 0;
  options.force = true;
  return options;
}

void expect_same_trace(const VcdTrace& expected, const VcdTrace& actual, const std::string& where) {
  SCOPED_TRACE(where);
  ASSERT_EQ(expected.signal_names(), actual.signal_names());
  ASSERT_EQ(expected.scopes(), actual.scopes());
  ASSERT_EQ(expected.timestamp_count(), actual.timestamp_count());
  for (Index i = 0; i < expected.timestamp_count(); ++i) ASSERT_EQ(expected.timestamp(i), actual.timestamp(i));
  for (const auto& name : expected.signal_names()) {
    ASSERT_EQ(expected.signal_id(name), actual.signal_id(name)) << name;
    ASSERT_EQ(expected.signal_width(name), actual.signal_width(name)) << name;
  }
  for (SignalId id = 0; id < expected.signal_names().size() + 2; ++id) {
    const SignalColumn* a = expected.store().column(id);
    const SignalColumn* b = actual.store().column(id);
    ASSERT_EQ(a == nullptr, b == nullptr) << "id " << id;
    if (!a) continue;
    ASSERT_EQ(a->length(), b->length()) << "id " << id;
    ASSERT_EQ(a->run_count(), b->run_count()) << "id " << id;
    for (size_t k = 0; k < a->run_count(); ++k) {
      ASSERT_EQ(a->run_start(k), b->run_start(k)) << "id " << id << " run " << k;
      ASSERT_TRUE(a->run_value(k).same_representation(b->run_value(k))) << "id " << id << " run " << k;
    }
  }
}

// A random dump: declarations in the header and now and then in the body,
// every kind of change, repeated changes at one index, codes never declared,
// odd line endings and white space, and lines that are not valid UTF-8.
std::string random_dump(std::mt19937_64& rng) {
  const char* codes[] = {"!", "\"", "#a", "%", "&&", "'", "(x)", "lo0ong"};
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::string text = "$date today $end\n$scope module top $end\n";
  for (int v = 0; v < 5; ++v)
    text += "$var wire " + std::to_string(1 + pick(70)) + " " + codes[v] + " s" + std::to_string(v) + " $end\n";
  text += "$upscope $end\n$enddefinitions $end\n";
  const int lines = 50 + static_cast<int>(pick(400));
  uint64_t time = 0;
  for (int i = 0; i < lines; ++i) {
    const std::string code = codes[pick(8)];
    std::string line;
    switch (pick(16)) {
      case 0: case 1: case 2: line = "#" + std::to_string(time += pick(3)); break;
      case 3: line = "1" + code; break;
      case 4: line = "0" + code; break;
      case 5: line = (pick(2) ? "x" : "Z") + code; break;
      case 6: case 7: {
        line = "b";
        for (size_t k = 0, n = 1 + pick(70); k < n; ++k) line += "01xz"[pick(pick(3) ? 2 : 4)];
        line += " " + code;
        break;
      }
      case 8: line = "r" + std::to_string(static_cast<double>(pick(1000)) / 8) + " " + code; break;
      case 9: line = pick(2) ? "r1e400 " + code : "rnan " + code; break;
      case 10: line = "  \t1" + code + " \r"; break;
      case 11: line = "\xc2\xa0" "b101 " + code; break;  // U+00A0 in front
      case 12: line = "1" + code + "\xff"; break;      // not UTF-8: skipped
      case 13:
        if (pick(6) == 0) {
          line = "$scope module m" + std::to_string(pick(3)) + " $end\n$var reg 4 " + codes[5 + pick(3)] + " late" +
                 std::to_string(pick(9)) + " $end\n$upscope $end";
        } else {
          line = "$dumpvars";
        }
        break;
      case 14: line = ""; break;
      default: line = "b" + std::to_string(pick(2)) + "1 " + code; break;
    }
    text += line + (pick(5) == 0 ? "\r\n" : "\n");
  }
  if (pick(2)) text.pop_back();  // no line feed at the end
  return text;
}

TEST(VcdPieces, RandomDumpsMatchLineByLineReading) {
  std::mt19937_64 rng(20261208);
  for (int round = 0; round < 400; ++round) {
    std::string text = random_dump(rng);
    auto expected = VcdTrace::parse(text, line_by_line());
    size_t window = 16 + rng() % 600, piece = 1 + rng() % 120;
    auto actual = VcdTrace::parse(text, in_pieces(window, piece));
    expect_same_trace(*expected, *actual,
                      "round " + std::to_string(round) + " window " + std::to_string(window) + " piece " +
                          std::to_string(piece));
    if (HasFatalFailure()) return;
  }
}

TEST(VcdPieces, ManySignalsAndLongRunsMatch) {
  // More ids than changes per piece (the sorted grouping) and long columns.
  std::mt19937_64 rng(7);
  std::string text = "$scope module top $end\n";
  const int signals = 3000;
  std::vector<std::string> codes;
  for (int s = 0; s < signals; ++s) {
    codes.push_back("c" + std::to_string(s));
    text += "$var wire 8 " + codes.back() + " v" + std::to_string(s) + " $end\n";
  }
  text += "$upscope $end\n";
  for (int t = 0; t < 4000; ++t) {
    text += "#" + std::to_string(t) + "\n";
    text += "b" + std::to_string(t % 2) + "0 " + codes[rng() % 5] + "\n";
    text += "b1" + std::to_string(t % 3 == 0) + " " + codes[rng() % signals] + "\n";
  }
  auto expected = VcdTrace::parse(text, line_by_line());
  for (size_t piece : {64u, 4096u, 1u << 20}) {
    auto actual = VcdTrace::parse(text, in_pieces(32768, piece));
    expect_same_trace(*expected, *actual, "piece " + std::to_string(piece));
  }
}

TEST(VcdPieces, FilesReadInWindowsMatch) {
  std::mt19937_64 rng(11);
  auto path = std::filesystem::temp_directory_path() / ("trelm_pieces_" + std::to_string(::getpid()) + ".vcd");
  for (int round = 0; round < 20; ++round) {
    std::string text = random_dump(rng);
    {
      std::ofstream out(path, std::ios::binary);
      out << text;
    }
    auto expected = VcdTrace::parse(text, line_by_line());
    auto actual = VcdTrace::from_file(path.string(), in_pieces(32 + rng() % 400, 1 + rng() % 64));
    ASSERT_TRUE(actual.ok());
    expect_same_trace(*expected, **actual, "round " + std::to_string(round));
    if (HasFatalFailure()) break;
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace trelm
