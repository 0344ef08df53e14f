#include "formats/fst/reader.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "formats/fst/codecs.hpp"

namespace trelm {

namespace {

constexpr uint64_t kHeaderSectionLength = 329;
constexpr double kEndianTest = 2.718281828459045;

enum BlockType : uint8_t {
  kHeaderBlock = 0,
  kValueChangeBlock = 1,
  kBlackoutBlock = 2,
  kGeometryBlock = 3,
  kHierarchyGzip = 4,
  kValueChangeAliasBlock = 5,
  kHierarchyLz4 = 6,
  kHierarchyLz4Duo = 7,
  kValueChangeAlias2Block = 8,
  kWrapperBlock = 254,
  kSkipBlock = 255,
};

double double_from_bits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

FstResult<FstHeader> read_header(FstCursor& in, FstFloatOrder& order) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  if (length != kHeaderSectionLength)
    return fail_malformed("header section length " + std::to_string(length) + " instead of 329");
  TRELM_TRY(checked_block_end(in, section_start, length, length, "header"));
  FstHeader h;
  TRELM_ASSIGN(h.start_time, read_u64(in));
  TRELM_ASSIGN(h.end_time, read_u64(in));
  uint64_t bits_le = 0;
  if (!in.read_le(8, bits_le)) return fail_io();
  uint64_t bits_be = __builtin_bswap64(bits_le);
  if (double_from_bits(bits_le) == kEndianTest) {
    order = FstFloatOrder::Little;
  } else if (double_from_bits(bits_be) == kEndianTest) {
    order = FstFloatOrder::Big;
  } else {
    return fail_malformed("header byte-order test value is not e in either byte order");
  }
  TRELM_ASSIGN(h.memory_used_by_writer, read_u64(in));
  TRELM_ASSIGN(h.scope_count, read_u64(in));
  TRELM_ASSIGN(h.var_count, read_u64(in));
  TRELM_ASSIGN(h.max_handle, read_u64(in));
  TRELM_ASSIGN(h.vc_section_count, read_u64(in));
  TRELM_ASSIGN(h.timescale_exponent, read_i8(in));
  TRELM_ASSIGN(h.version, read_c_str_fixed_length(in, 128));
  TRELM_ASSIGN(h.date, read_c_str_fixed_length(in, 119));
  TRELM_ASSIGN(h.file_type, read_u8(in));
  if (h.file_type > 2) return fail(ReaderError::make(ReaderErrorKind::FileType, h.file_type));
  TRELM_ASSIGN(uint64_t zero, read_u64(in));
  h.time_zero = static_cast<int64_t>(zero);
  return h;
}

FstResult<std::vector<FstSignalInfo>> read_geometry(FstCursor& in) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  TRELM_TRY(checked_block_end(in, section_start, length, 24, "geometry"));
  TRELM_ASSIGN(uint64_t uncompressed, read_u64(in));
  TRELM_ASSIGN(uint64_t count, read_u64(in));
  TRELM_ASSIGN(auto payload, read_zlib_compressed_bytes(in, uncompressed, length - 24));
  if (count > payload.size() || count >= UINT32_MAX)
    return fail_malformed("geometry claims " + std::to_string(count) + " entries in " +
                          std::to_string(payload.size()) + " bytes");
  std::vector<FstSignalInfo> signals;
  signals.reserve(static_cast<size_t>(count));
  FstCursor entries(payload);
  for (uint64_t i = 0; i < count; ++i) {
    TRELM_ASSIGN(FstVarint v, read_variant_u32(entries));
    signals.push_back(FstSignalInfo::from_file_format(static_cast<uint32_t>(v.value)));
  }
  return signals;
}

FstResult<std::vector<std::pair<uint64_t, bool>>> read_blackout(FstCursor& in) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  TRELM_ASSIGN(uint64_t end, checked_block_end(in, section_start, length, 8, "blackout"));
  TRELM_ASSIGN(FstVarint count, read_variant_u32(in));
  // Each entry takes at least two bytes.
  if (in.position() > end || count.value > (end - in.position()) / 2)
    return fail_malformed("blackout block claims " + std::to_string(count.value) + " entries");
  std::vector<std::pair<uint64_t, bool>> blackouts;
  blackouts.reserve(static_cast<size_t>(count.value));
  uint64_t time = 0;
  for (uint64_t i = 0; i < count.value; ++i) {
    TRELM_ASSIGN(uint8_t active, read_u8(in));
    TRELM_ASSIGN(FstVarint delta, read_variant_u64(in));
    time += delta.value;
    blackouts.emplace_back(time, active != 0);
  }
  if (in.position() != end) return fail_malformed("blackout entries do not end at the end of their block");
  return blackouts;
}

// The scan's state while it walks the blocks.
struct Scan {
  FstMetaData meta;
  bool seen_header = false;
  bool seen_geometry = false;
  bool seen_hierarchy = false;
  bool times_from_blocks = false;
};

// Moves to the block after the one whose section length field is at
// `section_start`. A block that runs past the end of the input ends the scan,
// as the read of a type byte there would.
void pass_over_block(FstCursor& in, uint64_t section_start, uint64_t section_length, bool& end_of_scan) {
  if (range_fits(section_start, section_length, in.size())) in.seek(section_start + section_length);
  else end_of_scan = true;
}

// Records where the hierarchy block is; its bytes are checked against the
// input when the hierarchy is read.
FstStatus index_hierarchy(FstCursor& in, Scan& scan, FstHierarchyCompression compression, bool& end_of_scan) {
  if (scan.seen_hierarchy) return fail_malformed("a second hierarchy block");
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  TRELM_TRY(check_section_length(length, 16, "hierarchy"));
  scan.seen_hierarchy = true;
  scan.meta.hierarchy_compression = compression;
  scan.meta.hierarchy_start = section_start;
  pass_over_block(in, section_start, length, end_of_scan);
  return {};
}

FstStatus index_data(FstCursor& in, Scan& scan, uint8_t kind, bool collect_time_table) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  TRELM_ASSIGN(uint64_t end, checked_block_end(in, section_start, length, 32, "value-change"));
  TRELM_ASSIGN(uint64_t start_time, read_u64(in));
  TRELM_ASSIGN(uint64_t end_time, read_u64(in));
  TRELM_ASSIGN(uint64_t memory_required, read_u64(in));
  uint64_t time_table_offset = kNoTimePosition;
  if (collect_time_table) {
    TRELM_ASSIGN(FstTimeTable table, read_time_table(in, section_start, length));
    auto& collected = *scan.meta.time_table;
    if (collected.empty()) {
      if (table.times.empty()) return fail_malformed("the first value-change block has an empty time table");
      if (start_time < table.times.front()) collected.push_back(start_time);
    }
    time_table_offset = collected.size();
    collected.insert(collected.end(), table.times.begin(), table.times.end());
  }
  in.seek(end);
  FstHeader& header = scan.meta.header;
  if (scan.meta.data_sections.empty()) {
    if (header.start_time == 0 && header.end_time == 0) {
      scan.times_from_blocks = true;
      header.start_time = start_time;
      header.end_time = end_time;
    }
  } else if (scan.times_from_blocks) {
    header.end_time = end_time;
  }
  scan.meta.data_sections.push_back(
      FstDataSection{section_start, start_time, end_time, memory_required, kind, time_table_offset});
  return {};
}

FstStatus skip_block(FstCursor& in, bool& end_of_scan) {
  uint64_t section_start = in.position();
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  if (length == 0) {
    end_of_scan = true;
    return {};
  }
  TRELM_TRY(check_section_length(length, 8, "skip"));
  pass_over_block(in, section_start, length, end_of_scan);
  return {};
}

// The number of time stamps the value-change blocks' tables say they hold,
// from the count at the end of each table, without decoding any; at most the
// input's size, as a claim past it is not believed. Walks the blocks as
// scan_blocks does and stops, with what it has, wherever that would fail.
uint64_t claimed_time_stamps(FstCursor in) {
  uint64_t claimed = 0;
  // Every block moves the cursor forward by at least 9 bytes, so the loop ends.
  while (!in.at_end()) {
    uint8_t type;
    uint64_t length;
    in.read_u8(type);
    uint64_t section_start = in.position();
    if (!in.read_be(8, length) || length < 8 || !range_fits(section_start, length, in.size())) break;
    uint64_t end = section_start + length;
    if ((type == kValueChangeBlock || type == kValueChangeAliasBlock || type == kValueChangeAlias2Block) &&
        length >= 32) {
      uint64_t count;
      in.seek(end - 8);
      if (!in.read_be(8, count)) break;
      claimed = checked_add(claimed, count).value_or(UINT64_MAX);
      if (claimed >= in.size()) return in.size();
    }
    in.seek(end);
  }
  return claimed;
}

FstResult<FstMetaData> scan_blocks(FstCursor& in, bool collect_time_table) {
  Scan scan;
  if (collect_time_table) {
    // Room for the whole table at once: grown block by block, a table of
    // millions of stamps would for a moment need its old and its new copy.
    scan.meta.time_table.emplace();
    scan.meta.time_table->reserve(static_cast<size_t>(claimed_time_stamps(in) + 1));
  }
  // Every block moves the cursor forward by at least 9 bytes, so the loop ends.
  while (!in.at_end()) {
    uint8_t type;
    in.read_u8(type);
    bool end_of_scan = false;
    switch (type) {
      case kHeaderBlock: {
        TRELM_ASSIGN(scan.meta.header, read_header(in, scan.meta.float_byte_order));
        scan.seen_header = true;
        break;
      }
      case kBlackoutBlock: {
        TRELM_ASSIGN(scan.meta.blackouts, read_blackout(in));
        break;
      }
      case kGeometryBlock: {
        TRELM_ASSIGN(scan.meta.signals, read_geometry(in));
        scan.seen_geometry = true;
        break;
      }
      case kHierarchyGzip: TRELM_TRY(index_hierarchy(in, scan, FstHierarchyCompression::GZip, end_of_scan)); break;
      case kHierarchyLz4: TRELM_TRY(index_hierarchy(in, scan, FstHierarchyCompression::Lz4, end_of_scan)); break;
      case kHierarchyLz4Duo:
        TRELM_TRY(index_hierarchy(in, scan, FstHierarchyCompression::Lz4Duo, end_of_scan));
        break;
      case kValueChangeBlock: TRELM_TRY(index_data(in, scan, 0, collect_time_table)); break;
      case kValueChangeAliasBlock: TRELM_TRY(index_data(in, scan, 1, collect_time_table)); break;
      case kValueChangeAlias2Block: TRELM_TRY(index_data(in, scan, 2, collect_time_table)); break;
      case kSkipBlock: TRELM_TRY(skip_block(in, end_of_scan)); break;
      case kWrapperBlock: return fail_malformed("a compressed wrapper block that is not the first block");
      default: return fail(ReaderError::make(ReaderErrorKind::BlockType, type));
    }
    if (end_of_scan) break;
  }
  if (!scan.seen_geometry) return fail(ReaderError::make(ReaderErrorKind::MissingGeometry));
  if (!scan.seen_hierarchy) return fail(ReaderError::make(ReaderErrorKind::MissingHierarchy));
  if (!scan.seen_header) return fail_malformed("the header block is missing");
  return std::move(scan.meta);
}

}  // namespace

FstStatus check_section_length(uint64_t section_length, uint64_t minimum, const char* block) {
  if (section_length < minimum)
    return fail_malformed(std::string(block) + " block section length " + std::to_string(section_length) +
                          " is below its minimum of " + std::to_string(minimum));
  return {};
}

FstResult<uint64_t> checked_block_end(const FstCursor& in, uint64_t section_start, uint64_t section_length,
                                      uint64_t minimum, const char* block) {
  TRELM_TRY(check_section_length(section_length, minimum, block));
  if (!range_fits(section_start, section_length, in.size()))
    return fail_io(std::string(block) + " block runs past the end of the input");
  return section_start + section_length;
}

FstResult<FstTimeTable> read_time_table(FstCursor& in, uint64_t section_start, uint64_t section_length) {
  TRELM_ASSIGN(uint64_t end, checked_block_end(in, section_start, section_length, 24, "value-change"));
  TRELM_TRY(seek_to(in, end - 24));
  TRELM_ASSIGN(uint64_t uncompressed, read_u64(in));
  TRELM_ASSIGN(uint64_t compressed, read_u64(in));
  TRELM_ASSIGN(uint64_t count, read_u64(in));
  if (compressed > section_length - 24)
    return fail_malformed("time table of " + std::to_string(compressed) + " bytes exceeds its block");
  TRELM_TRY(seek_to(in, end - 24 - compressed));
  TRELM_ASSIGN(auto data, read_zlib_compressed_bytes(in, uncompressed, compressed));
  if (count > data.size())
    return fail_malformed("time table claims " + std::to_string(count) + " entries in " +
                          std::to_string(data.size()) + " bytes");
  FstTimeTable table;
  table.section_size = compressed + 24;
  table.times.reserve(static_cast<size_t>(count));
  FstCursor deltas(data);
  uint64_t time = 0;
  for (uint64_t i = 0; i < count; ++i) {
    // Millions of stamps: decoded in place, the reader's wording of a
    // failure made only when one occurs (a failed read does not move on).
    uint64_t delta;
    size_t size;
    if (deltas.read_leb128(delta, size) != Leb128Status::Ok) {
      TRELM_ASSIGN(FstVarint checked, read_variant_u64(deltas));
      delta = checked.value;
    }
    time += delta;
    table.times.push_back(time);
  }
  return table;
}

FstResult<FstReader> FstReader::open(FileBytes bytes, bool collect_time_table) {
  FstCursor in(bytes.span());
  TRELM_ASSIGN(uint8_t first, read_u8(in));
  if (first >= 9 && first <= 253) return fail(ReaderError::make(ReaderErrorKind::BlockType, first));
  if (first == kWrapperBlock) {
    TRELM_ASSIGN(uint64_t length, read_u64(in));
    if (length == 0) return fail(ReaderError::make(ReaderErrorKind::NotFinishedCompressing));
    TRELM_ASSIGN(uint64_t uncompressed, read_u64(in));
    TRELM_TRY(read_gzip_header(in));
    TRELM_ASSIGN(std::vector<uint8_t> inner, inflate_gzip_body(in, uncompressed));
    bytes = FileBytes(std::move(inner));
  }
  FstCursor file(bytes.span());
  TRELM_ASSIGN(FstMetaData meta, scan_blocks(file, collect_time_table));
  return FstReader(std::move(bytes), std::move(meta));
}

}  // namespace trelm
