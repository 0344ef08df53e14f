// FstBlockLoader: writes the chunks that FstReader::read_signal_blocks hands
// out into a store through an FstChangeWriter, several signals at a time.
//
// For an ascending time table only. A chunk holds one signal's changes of one
// block in ascending time, so on such a table they arrive at ascending
// indices, and chunks of different signals write different columns. The
// blocks are collected first; then the signals are shared out in groups of
// about equal stored size, a few per thread, and each group writes its
// signals' chunks block after block on one thread. The store ends the same
// whichever thread writes which group. Keeping a column on one thread for the
// whole load also keeps its growth within that thread's allocator arena, so
// the threads do not leave each other's freed memory unused.
//
// A change at slot s of a block lands where FstChangeWriter::write would put
// it: at the last position of the table holding the same time (times repeat
// where blocks meet), found without a search.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "formats/fst/reader.hpp"
#include "formats/fst/change_writer.hpp"

namespace trelm {

struct FstChunkBuffers;

inline constexpr SignalId kNoFstSignal = std::numeric_limits<SignalId>::max();

class FstBlockLoader {
 public:
  // `timestamps` is the writer's table, which must ascend. With `use_pool`
  // the groups run on the process's worker pool, else on the calling thread.
  // With `exact` the changes are written as the front door reads them (see
  // exact_change.hpp), else as FstTrace::convert_value makes them.
  FstBlockLoader(FstChangeWriter& writer, const std::vector<uint64_t>& timestamps, bool use_pool, bool exact = false);

  // Takes a block's chunks to write later: those of block.chunks[k] go to
  // signal ids[k] (decoded and dropped for kNoFstSignal). Every id must be
  // below the count prepared in the writer, and the chunks' bytes must stay
  // valid until load. Fails when the block's time table is not the part of
  // the writer's table it claims to be.
  FstStatus add(const FstBlockChunks& block, std::span<const SignalId> ids);

  // Writes every change of the blocks added. Fails on the first chunk that
  // does not decode, in some group; the store is then half written.
  FstStatus load();

 private:
  // A stretch of a block's slots [begin, end) whose changes land at `index`
  // instead of at their own position.
  struct SlotStretch {
    size_t begin;
    size_t end;
    Index index;
  };
  struct Chunk {
    FstSignalChunk chunk;
    SignalId id;
  };
  struct Block {
    FstBlockChunks chunks;  // without its chunk list (kept in chunks_)
    size_t first_chunk;
    size_t end_chunk;
    std::vector<SlotStretch> stretches;
  };
  // Positions [first, last] of the table that share one time.
  struct Repeat {
    uint64_t first;
    uint64_t last;
  };

  // Writes the chunks of signals whose index lies in [first, end).
  FstStatus load_signals(uint32_t first, uint32_t end) const;
  FstStatus load_chunk(const Block& block, const Chunk& chunk, FstChunkBuffers& buffers) const;

  FstChangeWriter& writer_;
  const std::vector<uint64_t>& timestamps_;
  bool use_pool_;
  bool exact_;
  std::vector<Repeat> repeats_;
  std::vector<Block> blocks_;
  std::vector<Chunk> chunks_;
};

}  // namespace trelm
