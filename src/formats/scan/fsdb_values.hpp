// Decoding of FSDB value blocks: inflated byte lists cut into a header of
// LEB128 numbers, a dictionary region of (delta, value) pairs and a value
// region of single-byte records, mapped onto signal ids by position. The
// decoder adds the times it finds to the trace's time stamps and writes Int
// values.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/scan/common.hpp"
#include "signal/staged_store.hpp"

namespace trelm {

// Events all blocks of a file may produce together; events past the bound are
// dropped.
inline constexpr uint64_t kMaxFsdbFileEvents = uint64_t{1} << 19;
// Clock-trailer events of one block (counted in the bound above too).
inline constexpr uint64_t kMaxFsdbClockEvents = uint64_t{1} << 18;

struct FsdbValues {
  std::vector<uint64_t> timestamps{0};  // ascending, without duplicates
  StagedStore store;
  uint64_t events_left = kMaxFsdbFileEvents;
  uint64_t work = 0;  // time stamps looked up and merged, for the caller's bound
};

// Decodes one block (at least 8 bytes) against `name_count` signal names.
// Returns false when the block is skipped: no header pattern, or no room for a
// dictionary region after the header.
bool decode_fsdb_value_block(Bytes block, uint64_t name_count, FsdbValues& values);

}  // namespace trelm
