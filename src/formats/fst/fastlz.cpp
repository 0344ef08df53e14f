#include "formats/fst/fastlz.hpp"

#include "formats/fst/codecs.hpp"

namespace trelm {

FstResult<std::vector<uint8_t>> fastlz_decompress(std::span<const uint8_t> input, uint64_t expected_size) {
  std::vector<uint8_t> out;
  if (input.empty()) return out;
  TRELM_TRY(check_expansion(expected_size, input.size(), kFastLzMaxRatio, "fastlz data"));
  out.reserve(static_cast<size_t>(expected_size));
  unsigned level = (input[0] >> 5) + 1;
  if (level != 1 && level != 2) return fail_malformed("fastlz level " + std::to_string(level));

  FstCursor in(input);
  auto next = [&](uint8_t& byte) { return in.read_u8(byte); };
  bool first = true;
  while (!in.at_end()) {
    uint8_t ctrl;
    next(ctrl);
    if (first) {
      ctrl &= 31;
      first = false;
    }
    if (ctrl < 32) {
      std::span<const uint8_t> run;
      if (!in.read_span(uint64_t{ctrl} + 1, run)) return fail_io();
      out.insert(out.end(), run.begin(), run.end());
      continue;
    }
    uint64_t length = (ctrl >> 5) + 2;
    uint8_t byte;
    if ((ctrl >> 5) == 7) {
      length = 9;
      if (level == 1) {
        if (!next(byte)) return fail_io();
        length += byte;
      } else {
        do {
          if (!next(byte)) return fail_io();
          length += byte;
        } while (byte == 255);
      }
    }
    uint8_t d;
    if (!next(d)) return fail_io();
    uint64_t distance = (uint64_t{ctrl & 31u} << 8) + d + 1;
    if (level == 2 && (ctrl & 31) == 31 && d == 255) {
      uint8_t hi, lo;
      if (!next(hi) || !next(lo)) return fail_io();
      distance = (uint64_t{hi} << 8) + lo + 8192;
    }
    if (distance > out.size()) return fail_malformed("fastlz match before the start of the output");
    size_t source = out.size() - static_cast<size_t>(distance);
    // Byte by byte: an overlapping source repeats what was just written.
    for (uint64_t i = 0; i < length; ++i) out.push_back(out[source + i]);
  }
  return out;
}

}  // namespace trelm
