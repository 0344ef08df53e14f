// Decoding one signal's chunk of a value-change block, for callers of
// FstReader::read_signal_blocks. A template, so that the caller's handling of
// each change compiles into the decoding loop.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "formats/fst/change_entry.hpp"
#include "formats/fst/reader.hpp"
#include "formats/fst/signals.hpp"

namespace trelm {

// Buffers that one thread reuses from chunk to chunk.
struct FstChunkBuffers {
  std::vector<uint8_t> unpacked;
  std::vector<uint8_t> digits;
};

inline constexpr size_t kNoNextSlot = SIZE_MAX;

// Unpacks `chunk` and calls take(slot, next_slot, value) for each of its
// changes that `block` delivers, in order: `slot` indexes block.times,
// `next_slot` is the slot of the next delivered change (kNoNextSlot after the
// last one), and value.time_position is set as read_signals sets it. A value
// with `has_int` set comes without its digits (`bytes` is empty). Fails
// where read_signals fails on this chunk, possibly before taking the last
// change read_signals delivers before its failure.
template <class Take>
FstStatus for_each_chunk_change(const FstBlockChunks& block, const FstSignalChunk& chunk, FstChunkBuffers& buffers,
                                Take&& take) {
  TRELM_ASSIGN(std::span<const uint8_t> data,
               read_packed_signal_value_bytes(chunk.bytes, block.pack_type, buffers.unpacked));
  if (data.empty()) return {};
  const FstSignalInfo info = chunk.info;
  const size_t slot_count = std::max<size_t>(block.times.size(), 1);
  const size_t stop_slot = std::min(block.stop_slot, block.times.size());
  const bool positioned = block.time_table_offset != kNoTimePosition;

  size_t pos = 0;
  uint32_t h = 0;
  EntryStatus status = read_varint32(data, pos, h);
  if (status != EntryStatus::Ok) return fail(entry_error(status));
  uint64_t step = entry_time_step(h, info);
  if (step >= slot_count) return fail_malformed("a change lies beyond its block's time table");
  size_t slot = static_cast<size_t>(step);
  FstChangeValue value;
  while (slot < stop_slot) {
    status = decode_entry_value<false>(data, pos, h, info, block.float_order, buffers.digits, value);
    if (status != EntryStatus::Ok) return fail(entry_error(status));
    value.time_position = positioned ? block.time_table_offset + slot : kNoTimePosition;
    size_t next_slot = kNoNextSlot;
    if (pos < data.size()) {
      status = read_varint32(data, pos, h);
      if (status != EntryStatus::Ok) return fail(entry_error(status));
      step = entry_time_step(h, info);
      if (step >= slot_count - slot) return fail_malformed("a change lies beyond its block's time table");
      next_slot = slot + static_cast<size_t>(step);
      if (next_slot >= stop_slot) next_slot = kNoNextSlot;
    }
    take(slot, next_slot, static_cast<const FstChangeValue&>(value));
    slot = next_slot;
  }
  return {};
}

}  // namespace trelm
