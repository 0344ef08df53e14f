// Decoders of the value-change blocks: position tables, signal chunks and
// change entries. FstReader::read_signals (signals.cpp) puts them together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/fst/io.hpp"
#include "formats/fst/reader.hpp"
#include "formats/fst/types.hpp"

namespace trelm {

// Where one signal's chunk lies in a block: offsets count from the pack-type
// byte; an alias names the signal index whose chunk it shares.
struct FstSignalLoc {
  enum Kind : uint8_t { None, Data, Alias };
  Kind kind = None;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t target = 0;
};

// A block's position table: the signals that have a chunk or an alias in
// the block, in index order. A few table bytes can skip millions of signals,
// so only the named ones are held, and a block costs what its table holds.
class FstSignalLocs {
 public:
  struct Entry {
    uint64_t index;
    FstSignalLoc loc;
  };

  explicit FstSignalLocs(uint64_t signal_count = 0) noexcept : signal_count_(signal_count) {}

  uint64_t size() const noexcept { return signal_count_; }
  const std::vector<Entry>& entries() const noexcept { return entries_; }
  // The position in entries() of signal `index`, or entries().size() when
  // the table names no such signal.
  size_t find(uint64_t index) const noexcept;
  // The location of signal `index`; kind None where the table names none.
  FstSignalLoc operator[](uint64_t index) const noexcept {
    size_t at = find(index);
    return at == entries_.size() ? FstSignalLoc{} : entries_[at].loc;
  }

 private:
  friend FstResult<FstSignalLocs> read_signal_locs(std::span<const uint8_t>, uint8_t, uint64_t, uint64_t);
  uint64_t signal_count_;
  std::vector<Entry> entries_;
};

// Decodes a position table for `signal_count` signals; `data_size` is the
// distance from the pack-type byte to the table, where the last chunk ends.
// `block_kind` 0 and 1 use the first encoding, 2 the second.
FstResult<FstSignalLocs> read_signal_locs(std::span<const uint8_t> table, uint8_t block_kind, uint64_t signal_count,
                                          uint64_t data_size);

// The time step carried by an entry's first LEB128 value.
inline uint64_t one_bit_signal_time_delta(uint64_t h) noexcept { return (h & 1) ? h >> 4 : h >> 2; }
inline uint64_t multi_bit_signal_time_delta(uint64_t h) noexcept { return h >> 1; }

// Decodes the change entry at `data[pos]`: its value into `out` (whose bytes
// may point into `scratch` or static storage) and its size in bytes.
FstResult<size_t> decode_change_entry(std::span<const uint8_t> data, size_t pos, FstSignalInfo info,
                                      FstFloatOrder order, std::vector<uint8_t>& scratch, FstChangeValue& out);

// A signal chunk: its LEB128 unpacked size, then the change data as it is
// (size 0) or packed by `pack_type` ('4' LZ4, 'F' FastLZ, else zlib).
// The result either views `chunk` or fills `storage` (whose room is reused).
FstResult<std::span<const uint8_t>> read_packed_signal_value_bytes(std::span<const uint8_t> chunk, uint8_t pack_type,
                                                                   std::vector<uint8_t>& storage);

double fst_real_from_bytes(std::span<const uint8_t> bytes, FstFloatOrder order) noexcept;

}  // namespace trelm
