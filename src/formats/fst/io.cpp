#include "formats/fst/io.hpp"

#include <limits>

#include "base/utf8.hpp"

namespace trelm {

namespace {

const char* kind_name(ReaderErrorKind kind) {
  switch (kind) {
    case ReaderErrorKind::CStringTooLong: return "CStringTooLong";
    case ReaderErrorKind::EnumTableString: return "EnumTableString";
    case ReaderErrorKind::Leb128: return "Leb128";
    case ReaderErrorKind::ParseInt: return "ParseInt";
    case ReaderErrorKind::Lz4Decompress: return "Lz4Decompress";
    case ReaderErrorKind::ZLibDecompress: return "ZLibDecompress";
    case ReaderErrorKind::GZipHeader: return "GZipHeader";
    case ReaderErrorKind::GZipBody: return "GZipBody";
    case ReaderErrorKind::Utf8: return "Utf8";
    case ReaderErrorKind::Utf8String: return "Utf8String";
    case ReaderErrorKind::Io: return "Io";
    case ReaderErrorKind::NotFinishedCompressing: return "NotFinishedCompressing";
    case ReaderErrorKind::BlockType: return "BlockType";
    case ReaderErrorKind::FileType: return "FileType";
    case ReaderErrorKind::FstVhdlVarType: return "FstVhdlVarType";
    case ReaderErrorKind::FstVhdlDataType: return "FstVhdlDataType";
    case ReaderErrorKind::FstVarType: return "FstVarType";
    case ReaderErrorKind::FstScopeType: return "FstScopeType";
    case ReaderErrorKind::FstVarDirection: return "FstVarDirection";
    case ReaderErrorKind::AttributeType: return "AttributeType";
    case ReaderErrorKind::MiscType: return "MiscType";
    case ReaderErrorKind::MissingGeometry: return "MissingGeometry";
    case ReaderErrorKind::MissingHierarchy: return "MissingHierarchy";
    case ReaderErrorKind::Malformed: return "Malformed";
  }
  return "?";
}

}  // namespace

ReaderError ReaderError::make(ReaderErrorKind kind, uint64_t number, std::string detail, std::string extra) {
  ReaderError e;
  e.kind = kind;
  e.number = number;
  e.detail = std::move(detail);
  e.extra = std::move(extra);
  return e;
}

std::string ReaderError::text() const {
  switch (kind) {
    case ReaderErrorKind::CStringTooLong:
      return "failed to read a null terminated string because it exceeds the expected size of " +
             std::to_string(number) + " bytes.\n" + detail;
    case ReaderErrorKind::EnumTableString: return "failed to parse an enum table string: " + detail + "\n" + extra;
    case ReaderErrorKind::Leb128:
      return "failed to read leb128 integer, more than the expected " + std::to_string(number) + " bits";
    case ReaderErrorKind::ParseInt: return "failed to parse an integer";
    case ReaderErrorKind::Lz4Decompress: return "failed to decompress with lz4";
    case ReaderErrorKind::ZLibDecompress: return "failed to decompress with zlib";
    case ReaderErrorKind::GZipHeader: return "failed to parse a gzip header: " + detail;
    case ReaderErrorKind::GZipBody: return "failed to decompress gzip stream: " + detail;
    case ReaderErrorKind::Utf8:
    case ReaderErrorKind::Utf8String: return "failed to decode string";
    case ReaderErrorKind::Io: return "I/O operation failed";
    case ReaderErrorKind::NotFinishedCompressing:
      return "The FST file is still being compressed into its final GZIP wrapper.";
    case ReaderErrorKind::BlockType: return "Unexpected block type";
    case ReaderErrorKind::FileType: return "Unexpected file type";
    case ReaderErrorKind::FstVhdlVarType: return "Unexpected vhdl variable type";
    case ReaderErrorKind::FstVhdlDataType: return "Unexpected vhdl data type";
    case ReaderErrorKind::FstVarType: return "Unexpected variable type";
    case ReaderErrorKind::FstScopeType: return "Unexpected scope type";
    case ReaderErrorKind::FstVarDirection: return "Unexpected variable direction";
    case ReaderErrorKind::AttributeType: return "Unexpected attribute type";
    case ReaderErrorKind::MiscType: return "Unexpected misc attribute type";
    case ReaderErrorKind::MissingGeometry: return "The FST file is incomplete: geometry block is missing.";
    case ReaderErrorKind::MissingHierarchy: return "The FST file is incomplete: hierarchy block is missing.";
    case ReaderErrorKind::Malformed: return "malformed FST data: " + detail;
  }
  return "unknown FST reader error";
}

std::string ReaderError::debug() const {
  std::string out = kind_name(kind);
  out += "(" + std::to_string(number);
  if (!detail.empty()) out += ", " + detail;
  if (!extra.empty()) out += ", " + extra;
  return out + ")";
}

FstResult<uint8_t> read_u8(FstCursor& in) {
  uint8_t v;
  if (!in.read_u8(v)) return fail_io();
  return v;
}

FstResult<int8_t> read_i8(FstCursor& in) {
  uint8_t v;
  if (!in.read_u8(v)) return fail_io();
  return static_cast<int8_t>(v);
}

FstResult<uint64_t> read_u64(FstCursor& in) {
  uint64_t v;
  if (!in.read_be(8, v)) return fail_io();
  return v;
}

FstResult<std::span<const uint8_t>> read_bytes(FstCursor& in, uint64_t count) {
  std::span<const uint8_t> out;
  if (!in.read_span(count, out)) return fail_io();
  return out;
}

FstStatus skip_bytes(FstCursor& in, uint64_t count) {
  if (!in.skip(count)) return fail_io();
  return {};
}

FstStatus seek_to(FstCursor& in, uint64_t position) {
  if (!in.seek(position)) return fail_io();
  return {};
}

namespace {

Failure<ReaderError> leb128_failure(Leb128Status status, unsigned bits) {
  if (status == Leb128Status::End) return fail_io();
  return fail(ReaderError::make(ReaderErrorKind::Leb128, bits));
}

template <class T>
FstResult<FstVarint> read_varint(FstCursor& in) {
  T value;
  size_t size;
  Leb128Status status = in.read_leb128(value, size);
  if (status != Leb128Status::Ok) return leb128_failure(status, std::numeric_limits<T>::digits);
  return FstVarint{value, size};
}

}  // namespace

FstResult<FstVarint> read_variant_u32(FstCursor& in) { return read_varint<uint32_t>(in); }
FstResult<FstVarint> read_variant_u64(FstCursor& in) { return read_varint<uint64_t>(in); }

FstResult<FstSignedVarint> read_signed_variant_u64(FstCursor& in) {
  int64_t value;
  size_t size;
  Leb128Status status = in.read_signed_leb128(value, size);
  if (status != Leb128Status::Ok) return leb128_failure(status, 64);
  return FstSignedVarint{value, size};
}

FstResult<std::string> read_c_str(FstCursor& in, size_t max_length) {
  std::span<const uint8_t> rest = in.data().subspan(in.position());
  size_t limit = std::min(rest.size(), max_length);
  for (size_t i = 0; i < limit; ++i) {
    if (rest[i] == 0) {
      std::string text(reinterpret_cast<const char*>(rest.data()), i);
      if (!is_valid_utf8(text)) return fail(ReaderError::make(ReaderErrorKind::Utf8String));
      in.skip(i + 1);
      return text;
    }
  }
  if (rest.size() < max_length) return fail_io();
  std::string_view read(reinterpret_cast<const char*>(rest.data()), max_length);
  return fail(ReaderError::make(ReaderErrorKind::CStringTooLong, max_length, utf8_lossy(read)));
}

FstResult<std::string> read_c_str_fixed_length(FstCursor& in, size_t length) {
  std::span<const uint8_t> bytes;
  if (!in.read_span(length, bytes)) return fail_io();
  size_t end = 0;
  while (end < bytes.size() && bytes[end] != 0) ++end;
  if (end == bytes.size() && end > 0) --end;
  std::string text(reinterpret_cast<const char*>(bytes.data()), end);
  if (!is_valid_utf8(text)) return fail(ReaderError::make(ReaderErrorKind::Utf8String));
  return text;
}

}  // namespace trelm
