#include "formats/fst/codecs.hpp"

#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <string>

namespace trelm {

namespace {

// Slack for stream headers and the smallest blocks.
constexpr uint64_t kExpansionSlack = 64;
// Never allocate more than half the address space for one buffer.
constexpr uint64_t kMaxBuffer = SIZE_MAX / 2;

std::string zlib_error_name(int code) {
  switch (code) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_ERRNO: return "file error";
    default: return "error " + std::to_string(code);
  }
}

// Inflates `input` into exactly `size` bytes; the window bits select zlib
// (15) or raw deflate (-15).
FstStatus inflate_exact(std::span<const uint8_t> input, uint64_t size, int window_bits, const char* what,
                        std::vector<uint8_t>& out) {
  TRELM_TRY(check_expansion(size, input.size(), kDeflateMaxRatio, what));
  out.resize(static_cast<size_t>(size));
  z_stream zs{};
  if (inflateInit2(&zs, window_bits) != Z_OK) return fail(ReaderError::make(ReaderErrorKind::ZLibDecompress, 0, "init"));
  size_t in_pos = 0, out_pos = 0;
  int rc = Z_OK;
  while (out_pos < out.size()) {
    size_t in_chunk = std::min<size_t>(input.size() - in_pos, UINT_MAX);
    size_t out_chunk = std::min<size_t>(out.size() - out_pos, UINT_MAX);
    zs.next_in = const_cast<Bytef*>(input.data() + in_pos);
    zs.avail_in = static_cast<uInt>(in_chunk);
    zs.next_out = out.data() + out_pos;
    zs.avail_out = static_cast<uInt>(out_chunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    size_t used = in_chunk - zs.avail_in, made = out_chunk - zs.avail_out;
    in_pos += used;
    out_pos += made;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR || (rc == Z_OK && used == 0 && made == 0)) break;  // no progress: input ended
    if (rc != Z_OK) {
      inflateEnd(&zs);
      return fail(ReaderError::make(ReaderErrorKind::ZLibDecompress, 0, zlib_error_name(rc)));
    }
  }
  inflateEnd(&zs);
  if (out_pos != out.size())
    return fail_malformed(std::string(what) + " inflated to " + std::to_string(out_pos) + " bytes instead of " +
                          std::to_string(size));
  return {};
}

}  // namespace

FstStatus check_expansion(uint64_t claimed, uint64_t input_size, uint64_t ratio, const char* what) {
  uint64_t bound = UINT64_MAX;
  if (auto product = checked_mul(input_size, ratio)) bound = checked_add(*product, kExpansionSlack).value_or(UINT64_MAX);
  if (claimed > bound || claimed > kMaxBuffer)
    return fail_malformed(std::string(what) + " claims " + std::to_string(claimed) + " bytes from " +
                          std::to_string(input_size) + " compressed bytes");
  return {};
}

FstStatus inflate_zlib_into(std::span<const uint8_t> input, uint64_t size, std::vector<uint8_t>& out) {
  return inflate_exact(input, size, 15, "zlib data", out);
}

FstResult<std::vector<uint8_t>> inflate_zlib(std::span<const uint8_t> input, uint64_t size) {
  std::vector<uint8_t> out;
  TRELM_TRY(inflate_zlib_into(input, size, out));
  return out;
}

FstResult<std::vector<uint8_t>> inflate_raw(std::span<const uint8_t> input, uint64_t size) {
  std::vector<uint8_t> out;
  TRELM_TRY(inflate_exact(input, size, -15, "deflate data", out));
  return out;
}

FstResult<std::vector<uint8_t>> lz4_decompress(std::span<const uint8_t> input, uint64_t size) {
  std::vector<uint8_t> out;
  TRELM_TRY(lz4_decompress_into(input, size, out));
  return out;
}

FstStatus lz4_decompress_into(std::span<const uint8_t> input, uint64_t size, std::vector<uint8_t>& out) {
  TRELM_TRY(check_expansion(size, input.size(), kLz4MaxRatio, "lz4 data"));
  if (input.size() > INT_MAX || size > INT_MAX) return fail_malformed("lz4 block larger than 2 GiB");
  out.resize(static_cast<size_t>(size));
  int made = LZ4_decompress_safe(reinterpret_cast<const char*>(input.data()), reinterpret_cast<char*>(out.data()),
                                 static_cast<int>(input.size()), static_cast<int>(out.size()));
  if (made < 0) return fail(ReaderError::make(ReaderErrorKind::Lz4Decompress, 0, "corrupt block"));
  if (static_cast<uint64_t>(made) != size)
    return fail_malformed("lz4 data decompressed to " + std::to_string(made) + " bytes instead of " +
                          std::to_string(size));
  return {};
}

FstResult<std::vector<uint8_t>> read_zlib_compressed_bytes(FstCursor& in, uint64_t uncompressed, uint64_t compressed) {
  TRELM_ASSIGN(auto bytes, read_bytes(in, compressed));
  if (uncompressed == compressed) return std::vector<uint8_t>(bytes.begin(), bytes.end());
  return inflate_zlib(bytes, uncompressed);
}

FstResult<std::vector<uint8_t>> read_lz4_compressed_bytes(FstCursor& in, uint64_t uncompressed, uint64_t compressed) {
  TRELM_ASSIGN(auto bytes, read_bytes(in, compressed));
  return lz4_decompress(bytes, uncompressed);
}

FstStatus read_gzip_header(FstCursor& in) {
  TRELM_ASSIGN(auto h, read_bytes(in, 10));
  if (h[0] != 0x1f || h[1] != 0x8b)
    return fail(ReaderError::make(ReaderErrorKind::GZipHeader, 0,
                                  "expected magic bytes (0x1f, 0x8b) got (" + std::to_string(h[0]) + ", " +
                                      std::to_string(h[1]) + ")"));
  if (h[2] != 8)
    return fail(ReaderError::make(ReaderErrorKind::GZipHeader, 0,
                                  "expected deflate compression (8) got " + std::to_string(h[2])));
  if (h[3] != 0)
    return fail(ReaderError::make(ReaderErrorKind::GZipHeader, 0,
                                  "TODO currently extra flags are not supported " + std::to_string(h[3])));
  return {};
}

FstResult<std::vector<uint8_t>> inflate_gzip_body(FstCursor& in, uint64_t uncompressed) {
  std::span<const uint8_t> input = in.data().subspan(in.position());
  TRELM_TRY(check_expansion(uncompressed, input.size(), kDeflateMaxRatio, "gzip wrapper"));
  constexpr size_t kInputChunk = 16384, kOutputChunk = 65536;
  std::vector<uint8_t> result;
  // The claim may still be far above the real size: grow as data arrives.
  result.reserve(static_cast<size_t>(std::min<uint64_t>(uncompressed, uint64_t{4} * input.size())));
  std::vector<uint8_t> buffer(kOutputChunk);
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return fail(ReaderError::make(ReaderErrorKind::GZipBody, 0, "init"));
  size_t in_pos = 0;
  while (result.size() < uncompressed) {
    if (zs.avail_in == 0) {
      if (in_pos == input.size()) {
        inflateEnd(&zs);
        return fail(ReaderError::make(ReaderErrorKind::GZipBody, 0, "unexpected end of input"));
      }
      size_t chunk = std::min(kInputChunk, input.size() - in_pos);
      zs.next_in = const_cast<Bytef*>(input.data() + in_pos);
      zs.avail_in = static_cast<uInt>(chunk);
      in_pos += chunk;
    }
    zs.next_out = buffer.data();
    zs.avail_out = static_cast<uInt>(buffer.size());
    int rc = inflate(&zs, Z_NO_FLUSH);
    size_t made = buffer.size() - zs.avail_out;
    size_t take = static_cast<size_t>(std::min<uint64_t>(made, uncompressed - result.size()));
    result.insert(result.end(), buffer.begin(), buffer.begin() + take);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_NEED_DICT) {
      inflateEnd(&zs);
      return fail_malformed("gzip wrapper asks for a preset dictionary");
    }
    if (rc != Z_OK && !(rc == Z_BUF_ERROR && zs.avail_in == 0)) {
      inflateEnd(&zs);
      return fail(ReaderError::make(ReaderErrorKind::GZipBody, 0, zlib_error_name(rc)));
    }
  }
  inflateEnd(&zs);
  return result;
}

}  // namespace trelm
