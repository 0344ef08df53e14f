#include "formats/fst/hierarchy.hpp"

#include <string>
#include <string_view>

#include "base/decimal.hpp"
#include "base/name_budget.hpp"
#include "formats/fst/codecs.hpp"
#include "formats/fst/reader.hpp"

namespace trelm {

namespace {

constexpr size_t kMaxNameLength = 65536;
constexpr size_t kMaxAttributeTextLength = 69632;
constexpr uint8_t kPortVarType = 18;

enum HierarchyTag : uint8_t {
  kMaxVarType = 29,
  kAttributeBegin = 252,
  kAttributeEnd = 253,
  kScope = 254,
  kUpscope = 255,
};

enum MiscSubtype : uint8_t {
  kComment = 0,
  kEnvVar = 1,
  kSupplementalType = 2,
  kPathName = 3,
  kSourceStem = 4,
  kSourceInstanceStem = 5,
  kValueList = 6,
  kEnumTable = 7,
  kUnknownMisc = 8,
};

// An unsigned 32-bit decimal with an optional leading "+".
std::optional<uint32_t> parse_u32(std::string_view text) {
  auto value = parse_unsigned_decimal(text);
  if (!value || *value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

FstResult<FstHierarchyEntry> parse_enum_table(std::string text, uint64_t handle) {
  std::vector<std::string_view> words;
  std::string_view rest = text;
  for (;;) {
    size_t space = rest.find(' ');
    words.push_back(rest.substr(0, space));
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space + 1);
  }
  if (words.size() < 2)
    return fail(ReaderError::make(ReaderErrorKind::EnumTableString, 0, "not enough spaces", text));
  auto count = parse_u32(words[1]);
  if (!count) return fail(ReaderError::make(ReaderErrorKind::ParseInt));
  uint64_t expected = uint64_t{2} * *count;
  uint64_t got = words.size() - 2;
  if (got != expected)
    return fail(ReaderError::make(ReaderErrorKind::EnumTableString, 0,
                                  "expected " + std::to_string(expected) + " parts got " + std::to_string(got), text));
  FstEnumTableAttribute table{std::string(words[0]), handle, {}};
  table.mapping.reserve(*count);
  for (uint64_t i = 0; i < *count; ++i)
    table.mapping.emplace_back(std::string(words[2 + *count + i]), std::string(words[2 + i]));
  return FstHierarchyEntry(std::move(table));
}

FstResult<FstHierarchyEntry> read_misc_attribute(FstCursor& in, uint8_t subtype) {
  if (subtype == kSourceStem || subtype == kSourceInstanceStem) {
    TRELM_ASSIGN(FstVarint path_id, read_variant_u64(in));
    TRELM_ASSIGN(uint8_t separator, read_u8(in));
    if (separator != 0) return fail_malformed("source location attribute without its 0 separator");
    TRELM_ASSIGN(FstVarint line, read_variant_u64(in));
    return FstHierarchyEntry(FstSourceStemAttribute{subtype == kSourceInstanceStem, path_id.value, line.value});
  }
  TRELM_ASSIGN(std::string text, read_c_str(in, kMaxAttributeTextLength));
  TRELM_ASSIGN(FstVarint value, read_variant_u64(in));
  switch (subtype) {
    case kComment: return FstHierarchyEntry(FstCommentAttribute{std::move(text)});
    case kSupplementalType: {
      uint64_t var_type = (value.value >> 10) & 0xff;
      uint64_t data_type = value.value & 0xff;
      if (var_type > 5) return fail(ReaderError::make(ReaderErrorKind::FstVhdlVarType, var_type));
      if (data_type > 16) return fail(ReaderError::make(ReaderErrorKind::FstVhdlDataType, data_type));
      return FstHierarchyEntry(FstVhdlTypeAttribute{std::move(text), static_cast<uint8_t>(var_type),
                                                    static_cast<uint8_t>(data_type)});
    }
    case kPathName: return FstHierarchyEntry(FstPathNameAttribute{value.value, std::move(text)});
    case kEnumTable:
      if (text.empty()) return FstHierarchyEntry(FstEnumTableReference{value.value});
      return parse_enum_table(std::move(text), value.value);
    case kEnvVar: return fail_malformed("environment variable attributes are not supported");
    case kValueList: return fail_malformed("value list attributes are not supported");
    default: return fail_malformed("unknown miscellaneous attributes are not supported");
  }
}

FstResult<FstHierarchyEntry> read_variable(FstCursor& in, uint8_t var_type, uint32_t& handle_counter) {
  TRELM_ASSIGN(uint8_t direction, read_u8(in));
  if (direction > 5) return fail(ReaderError::make(ReaderErrorKind::FstVarDirection, direction));
  TRELM_ASSIGN(std::string name, read_c_str(in, kMaxNameLength));
  TRELM_ASSIGN(FstVarint length, read_variant_u32(in));
  TRELM_ASSIGN(FstVarint alias, read_variant_u32(in));
  uint32_t bits = static_cast<uint32_t>(length.value);
  if (var_type == kPortVarType) bits = (bits - 2) / 3;
  bool is_alias = alias.value != 0;
  uint32_t handle_value;
  if (is_alias) {
    handle_value = static_cast<uint32_t>(alias.value);
  } else {
    if (handle_counter == UINT32_MAX) return fail_malformed("more than 2^32 - 1 signal handles");
    handle_value = ++handle_counter;
  }
  return FstHierarchyEntry(
      FstVariable{var_type, direction, std::move(name), bits, *FstSignalHandle::make(handle_value), is_alias});
}

}  // namespace

FstResult<std::vector<uint8_t>> read_hierarchy_bytes(FstCursor& in, FstHierarchyCompression compression) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  uint64_t minimum = compression == FstHierarchyCompression::GZip ? 26 : 16;
  TRELM_TRY(checked_block_end(in, section_start, length, minimum, "hierarchy"));
  TRELM_ASSIGN(uint64_t uncompressed, read_u64(in));
  // The hierarchy is mostly names, so it gets the room names get: LZ4 applied
  // twice could otherwise make 65,000 bytes of each byte of the file.
  const uint64_t room = NameBudget(in.size()).limit();
  if (uncompressed > room)
    return fail_malformed("hierarchy of " + std::to_string(uncompressed) + " bytes exceeds " + std::to_string(room) +
                          " bytes");
  switch (compression) {
    case FstHierarchyCompression::GZip: {
      TRELM_TRY(read_gzip_header(in));
      TRELM_ASSIGN(auto deflated, read_bytes(in, length - 26));
      return inflate_raw(deflated, uncompressed);
    }
    case FstHierarchyCompression::Lz4: return read_lz4_compressed_bytes(in, uncompressed, length - 16);
    case FstHierarchyCompression::Lz4Duo: {
      TRELM_ASSIGN(FstVarint intermediate, read_variant_u64(in));
      if (length - 16 < intermediate.size) return fail_malformed("hierarchy block too short for its lengths");
      TRELM_ASSIGN(auto once, read_lz4_compressed_bytes(in, intermediate.value, length - 16 - intermediate.size));
      return lz4_decompress(once, uncompressed);
    }
  }
  return fail_malformed("unknown hierarchy compression");
}

FstResult<std::optional<FstHierarchyEntry>> read_hierarchy_entry(FstCursor& in, uint32_t& handle_counter) {
  using Entry = std::optional<FstHierarchyEntry>;
  uint8_t tag;
  if (!in.read_u8(tag)) return Entry();
  if (tag <= kMaxVarType) {
    TRELM_ASSIGN(FstHierarchyEntry variable, read_variable(in, tag, handle_counter));
    return Entry(std::move(variable));
  }
  switch (tag) {
    case kScope: {
      TRELM_ASSIGN(uint8_t scope_type, read_u8(in));
      if (scope_type > 22 && scope_type < 252)
        return fail(ReaderError::make(ReaderErrorKind::FstScopeType, scope_type));
      TRELM_ASSIGN(std::string name, read_c_str(in, kMaxNameLength));
      TRELM_ASSIGN(std::string component, read_c_str(in, kMaxNameLength));
      return Entry(FstScopeOpen{scope_type, std::move(name), std::move(component)});
    }
    case kUpscope: return Entry(FstScopeClose{});
    case kAttributeEnd: return Entry(FstAttributeClose{});
    case kAttributeBegin: {
      TRELM_ASSIGN(uint8_t attribute_type, read_u8(in));
      if (attribute_type > 3) return fail(ReaderError::make(ReaderErrorKind::AttributeType, attribute_type));
      TRELM_ASSIGN(uint8_t subtype, read_u8(in));
      if (subtype > kUnknownMisc) return fail(ReaderError::make(ReaderErrorKind::MiscType, subtype));
      if (attribute_type != 0)
        return fail_malformed("array, enumeration and packed attributes are not supported");
      TRELM_ASSIGN(FstHierarchyEntry attribute, read_misc_attribute(in, subtype));
      return Entry(std::move(attribute));
    }
    default: return fail_malformed("hierarchy entry tag " + std::to_string(tag));
  }
}

FstStatus FstReader::read_hierarchy(const FstHierarchyCallback& callback) const {
  FstCursor in(bytes_.span());
  TRELM_TRY(seek_to(in, meta_.hierarchy_start));
  TRELM_ASSIGN(std::vector<uint8_t> stream, read_hierarchy_bytes(in, meta_.hierarchy_compression));
  FstCursor entries(stream);
  uint32_t handle_counter = 0;
  for (;;) {
    TRELM_ASSIGN(std::optional<FstHierarchyEntry> entry, read_hierarchy_entry(entries, handle_counter));
    if (!entry) return {};
    callback(std::move(*entry));
  }
}

}  // namespace trelm
