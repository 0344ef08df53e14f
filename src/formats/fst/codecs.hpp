// The compressed payloads of the FST format: zlib streams, raw deflate (the
// gzip wrapper and gzip hierarchy blocks), LZ4 blocks and the gzip header.
// A stated output size is a claim: it is checked against what the codec can
// produce from the input at hand before any buffer is allocated.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/fst/io.hpp"

namespace trelm {

// Largest expansion of each codec per input byte (deflate's is 1032:1; LZ4
// and FastLZ level 2 extend a match by at most 255 bytes per input byte).
inline constexpr uint64_t kDeflateMaxRatio = 1032;
inline constexpr uint64_t kLz4MaxRatio = 255;
inline constexpr uint64_t kFastLzMaxRatio = 255;

// Malformed when `claimed` bytes cannot come out of `input_size` bytes of a
// codec with expansion `ratio`, or cannot be held in memory at all.
FstStatus check_expansion(uint64_t claimed, uint64_t input_size, uint64_t ratio, const char* what);

// A zlib stream (RFC 1950) inflated to exactly `size` bytes.
FstResult<std::vector<uint8_t>> inflate_zlib(std::span<const uint8_t> input, uint64_t size);
// A raw deflate stream inflated to exactly `size` bytes (bytes after the end
// of the stream, such as a gzip trailer, are ignored).
FstResult<std::vector<uint8_t>> inflate_raw(std::span<const uint8_t> input, uint64_t size);
// One LZ4 block decompressed to exactly `size` bytes.
FstResult<std::vector<uint8_t>> lz4_decompress(std::span<const uint8_t> input, uint64_t size);
// The same two into `out`, whose room is reused from call to call.
FstStatus inflate_zlib_into(std::span<const uint8_t> input, uint64_t size, std::vector<uint8_t>& out);
FstStatus lz4_decompress_into(std::span<const uint8_t> input, uint64_t size, std::vector<uint8_t>& out);

// `compressed` bytes: as they are when both lengths are equal, else a zlib
// stream of `uncompressed` bytes.
FstResult<std::vector<uint8_t>> read_zlib_compressed_bytes(FstCursor& in, uint64_t uncompressed, uint64_t compressed);
FstResult<std::vector<uint8_t>> read_lz4_compressed_bytes(FstCursor& in, uint64_t uncompressed, uint64_t compressed);

// The 10-byte gzip member header: magic, deflate method, no flags.
FstStatus read_gzip_header(FstCursor& in);

// The whole-file wrapper's body: raw deflate up to `uncompressed` bytes or
// the end of the stream, whichever comes first.
FstResult<std::vector<uint8_t>> inflate_gzip_body(FstCursor& in, uint64_t uncompressed);

}  // namespace trelm
