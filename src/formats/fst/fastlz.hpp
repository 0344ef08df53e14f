// FastLZ decompression (levels 1 and 2) of one FST signal chunk.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/fst/io.hpp"

namespace trelm {

// Unpacks exactly the bytes of `input`. The output is not compared with
// `expected_size`, which only sizes the first allocation. A literal run or
// instruction that needs bytes past the end of `input` is an Io error; a
// level other than 1 or 2, or a match reaching outside the output, is
// Malformed.
FstResult<std::vector<uint8_t>> fastlz_decompress(std::span<const uint8_t> input, uint64_t expected_size);

}  // namespace trelm
