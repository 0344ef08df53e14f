// ReaderError, the one failure type of the FST reader, and the primitive
// decoders of the format: fixed big-endian integers, LEB128 integers and
// NUL-terminated or fixed-width strings. Every primitive reads through a
// ByteReader, so a read past the end of its input is an Io error.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/byte_reader.hpp"
#include "base/result.hpp"

namespace trelm {

enum class ReaderErrorKind : uint8_t {
  CStringTooLong,
  EnumTableString,
  Leb128,
  ParseInt,
  Lz4Decompress,
  ZLibDecompress,
  GZipHeader,
  GZipBody,
  Utf8,
  Utf8String,
  Io,
  NotFinishedCompressing,
  BlockType,
  FileType,
  FstVhdlVarType,
  FstVhdlDataType,
  FstVarType,
  FstScopeType,
  FstVarDirection,
  AttributeType,
  MiscType,
  MissingGeometry,
  MissingHierarchy,
  // Data this reader refuses: inconsistent fields, sizes the input cannot
  // hold, and constructs it does not decode. The detail names the problem.
  Malformed,
};

struct ReaderError {
  ReaderErrorKind kind = ReaderErrorKind::Io;
  uint64_t number = 0;  // maximum length, bit count, or the offending byte/type
  std::string detail;   // text read so far, reason, or the codec's failure name
  std::string extra;    // the attribute text of EnumTableString

  // The text shown to users.
  std::string text() const;
  // Variant name and payload, for tests and debugging.
  std::string debug() const;

  static ReaderError make(ReaderErrorKind kind, uint64_t number = 0, std::string detail = {},
                          std::string extra = {});
  static ReaderError io(std::string what = "unexpected eof") { return make(ReaderErrorKind::Io, 0, std::move(what)); }
  static ReaderError malformed(std::string what) { return make(ReaderErrorKind::Malformed, 0, std::move(what)); }
};

// The cursor every FST decoder reads file bytes through: a ByteReader, as a
// distinct type so that these primitives stay apart from other readers'.
class FstCursor : public ByteReader {
 public:
  using ByteReader::ByteReader;
};

template <class T>
using FstResult = Result<T, ReaderError>;
using FstStatus = Status<ReaderError>;

inline Failure<ReaderError> fail_io(std::string what = "unexpected eof") { return fail(ReaderError::io(std::move(what))); }
inline Failure<ReaderError> fail_malformed(std::string what) { return fail(ReaderError::malformed(std::move(what))); }

// A LEB128 value and the number of bytes it took.
struct FstVarint {
  uint64_t value;
  size_t size;
};
struct FstSignedVarint {
  int64_t value;
  size_t size;
};

FstResult<uint8_t> read_u8(FstCursor& in);
FstResult<int8_t> read_i8(FstCursor& in);
FstResult<uint64_t> read_u64(FstCursor& in);
// A view of the next `count` bytes (Io when fewer remain).
FstResult<std::span<const uint8_t>> read_bytes(FstCursor& in, uint64_t count);
FstStatus skip_bytes(FstCursor& in, uint64_t count);
FstStatus seek_to(FstCursor& in, uint64_t position);

// Unsigned LEB128 of at most 5 bytes (32 bits) or 10 bytes (64 bits), as
// decode_leb128 reads it: Io when the input ends first, Leb128 when the last
// allowed byte still has its continuation bit.
FstResult<FstVarint> read_variant_u32(FstCursor& in);
FstResult<FstVarint> read_variant_u64(FstCursor& in);
// Signed LEB128 of at most 10 bytes.
FstResult<FstSignedVarint> read_signed_variant_u64(FstCursor& in);

// Bytes up to a NUL (consumed). At most max_length - 1 text bytes; reading
// max_length non-zero bytes is CStringTooLong.
FstResult<std::string> read_c_str(FstCursor& in, size_t max_length);
// Exactly `length` bytes; the text ends at the first NUL, or after length - 1.
FstResult<std::string> read_c_str_fixed_length(FstCursor& in, size_t length);

}  // namespace trelm
