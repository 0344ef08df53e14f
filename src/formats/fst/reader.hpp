// FstReader: opens an FST file held in memory or mapped. Opening inflates the optional
// whole-file gzip wrapper, then scans every block: header, geometry and
// blackouts are decoded, the hierarchy block is located, and value-change
// blocks are indexed (with their time tables when asked for).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/file.hpp"
#include "formats/fst/io.hpp"
#include "formats/fst/types.hpp"

namespace trelm {

// One change handed out by read_signals: value characters (or the raw bytes
// of a variable-length value), or a real. When the characters are all 0 or 1
// and came packed as bits (at most 64), `has_int` is set and `int_value`
// holds them read most significant first, which saves callers a parse.
//
// `time_position` is where the change's time stands in the time table
// collected at open, also after take_time_table (kNoTimePosition for frame
// values, or when no table was collected): callers that map times to
// positions can start there.
inline constexpr uint64_t kNoTimePosition = UINT64_MAX;
struct FstChangeValue {
  std::span<const uint8_t> bytes;
  bool is_real = false;
  bool has_int = false;
  double real = 0.0;
  uint64_t int_value = 0;
  uint64_t time_position = kNoTimePosition;
};

struct FstSignalFilter {
  uint64_t start = 0;
  std::optional<uint64_t> end;                               // default: the header's end time
  std::optional<std::vector<FstSignalHandle>> include;       // default: every signal
};

using FstHierarchyCallback = std::function<void(FstHierarchyEntry&&)>;
using FstChangeCallback = std::function<void(uint64_t time, FstSignalHandle handle, const FstChangeValue& value)>;

// One selected signal's changes within a value-change block, as stored: the
// unpacked size, then the change entries (packed by the block's pack type
// unless that size is 0). An alias carries its target's bytes.
struct FstSignalChunk {
  uint32_t signal;  // the handle's index
  FstSignalInfo info;
  std::span<const uint8_t> bytes;
};

// A value-change block as read_signal_blocks hands it out: its time table and
// the chunks of the selected signals that have data, in signal order.
struct FstBlockChunks {
  std::span<const uint64_t> times;
  // Where times[0] stands in the time table collected at open, or
  // kNoTimePosition when no table was collected.
  uint64_t time_table_offset = kNoTimePosition;
  // Changes at this slot of `times` or later lie after the filter's end and
  // are not delivered.
  size_t stop_slot = 0;
  uint8_t pack_type = 0;
  FstFloatOrder float_order = FstFloatOrder::Little;
  std::vector<FstSignalChunk> chunks;
};
using FstBlockCallback = std::function<FstStatus(const FstBlockChunks&)>;

struct FstTimeTable {
  std::vector<uint64_t> times;
  uint64_t section_size;  // compressed table + its three 8-byte fields
};

class FstReader {
 public:
  // `bytes` is the whole file. Fails with the first ReaderError of the scan.
  // The scan reads each block's header and time table only, so of a mapped
  // file just those pages and, later, those of the chunks read are touched.
  static FstResult<FstReader> open(FileBytes bytes, bool collect_time_table);
  static FstResult<FstReader> open(std::vector<uint8_t> bytes, bool collect_time_table) {
    return open(FileBytes(std::move(bytes)), collect_time_table);
  }

  const FstMetaData& meta_data() const noexcept { return meta_; }
  // Moves the collected time table out (empty when it was not collected).
  std::vector<uint64_t> take_time_table() {
    std::vector<uint64_t> table = meta_.time_table ? std::move(*meta_.time_table) : std::vector<uint64_t>{};
    meta_.time_table.reset();
    return table;
  }

  // Walks the hierarchy block, handing each entry to `callback` in file order.
  FstStatus read_hierarchy(const FstHierarchyCallback& callback) const;
  // Delivers every selected change, block by block and in ascending time
  // within a block.
  FstStatus read_signals(const FstSignalFilter& filter, const FstChangeCallback& callback) const;
  // The same changes and the same error, delivered block by block, within a
  // block in windows of a few thousand time slots, and within a window signal
  // by signal. Each signal sees its changes in the same order as from
  // read_signals, so a loader that keeps signals apart gets the same result,
  // with each signal's writes together and the time table read in order.
  FstStatus read_signals_per_signal(const FstSignalFilter& filter, const FstChangeCallback& callback) const;
  // The same changes for callers that decode each signal's chunks on their
  // own (see formats/fst/chunk_changes.hpp), possibly on several threads:
  // block by block, the frame's values go to `frame` as read_signals
  // delivers them, then the block's chunks to `block`; a failure from
  // `block` ends the read. Each chunk, decoded in block order, gives its
  // signal the changes read_signals gives it. Failures may be found in
  // another order than read_signals finds them, so callers that report the
  // error take it from read_signals.
  FstStatus read_signal_blocks(const FstSignalFilter& filter, const FstChangeCallback& frame,
                               const FstBlockCallback& block) const;

 private:
  FstStatus read_signals_in(const FstSignalFilter& filter, const FstChangeCallback& callback, bool per_signal) const;
  FstReader(FileBytes bytes, FstMetaData meta) : bytes_(std::move(bytes)), meta_(std::move(meta)) {}
  FileBytes bytes_;
  FstMetaData meta_;
};

// The time table at the end of the value-change block whose section length
// field is at `section_start`.
FstResult<FstTimeTable> read_time_table(FstCursor& in, uint64_t section_start, uint64_t section_length);

// Malformed when a block's section length is below the `minimum` bytes its
// fixed fields take.
FstStatus check_section_length(uint64_t section_length, uint64_t minimum, const char* block);

// The end of the block at `section_start`, after checking that its section
// length covers `minimum` bytes and that the block lies inside the input.
FstResult<uint64_t> checked_block_end(const FstCursor& in, uint64_t section_start, uint64_t section_length,
                                      uint64_t minimum, const char* block);

}  // namespace trelm
