#include "formats/fst/block_loader.hpp"

#include <algorithm>
#include <optional>

#include "base/threads/pool.hpp"
#include "formats/fst/chunk_changes.hpp"
#include "formats/fst/fst.hpp"

namespace trelm {

FstBlockLoader::FstBlockLoader(FstChangeWriter& writer, const std::vector<uint64_t>& timestamps, bool use_pool)
    : writer_(writer), timestamps_(timestamps), use_pool_(use_pool) {
  for (size_t p = 0; p + 1 < timestamps.size(); ++p) {
    if (timestamps[p + 1] != timestamps[p]) continue;
    if (!repeats_.empty() && repeats_.back().last == p) repeats_.back().last = p + 1;
    else repeats_.push_back(Repeat{p, p + 1});
  }
}

FstStatus FstBlockLoader::add(const FstBlockChunks& block, std::span<const SignalId> ids) {
  const size_t slots = block.times.size();
  const uint64_t offset = block.time_table_offset;
  if (offset == kNoTimePosition || offset > timestamps_.size() || slots > timestamps_.size() - offset ||
      !std::equal(block.times.begin(), block.times.end(), timestamps_.begin() + static_cast<std::ptrdiff_t>(offset)))
    return fail_malformed("a value-change block's time table differs from the one read at open");
  if (ids.size() != block.chunks.size()) return fail_malformed("a signal id for every chunk is needed");

  Block added;
  added.chunks.times = std::span<const uint64_t>(timestamps_).subspan(static_cast<size_t>(offset), slots);
  added.chunks.time_table_offset = offset;
  added.chunks.stop_slot = block.stop_slot;
  added.chunks.pack_type = block.pack_type;
  added.chunks.float_order = block.float_order;
  added.first_chunk = chunks_.size();
  for (size_t k = 0; k < block.chunks.size(); ++k) chunks_.push_back(Chunk{block.chunks[k], ids[k]});
  added.end_chunk = chunks_.size();
  // The stretches of this block's slots that share their time with a later
  // position.
  auto repeat = std::lower_bound(repeats_.begin(), repeats_.end(), offset,
                                 [](const Repeat& r, uint64_t position) { return r.last < position; });
  for (; repeat != repeats_.end() && repeat->first < offset + slots; ++repeat) {
    uint64_t begin = std::max(repeat->first, offset);
    uint64_t end = std::min(repeat->last, offset + slots);
    if (begin < end) added.stretches.push_back(SlotStretch{begin - offset, end - offset, repeat->last});
  }
  blocks_.push_back(std::move(added));
  return {};
}

namespace {

// About how many changes a chunk holds, from the unpacked size its first
// LEB128 value states (the stored size when it is stored as is) and the
// smallest entry its signal's values take: writing changes costs more than
// decoding bytes, so groups of equal work hold about equal numbers of changes.
uint64_t chunk_weight(const FstSignalChunk& chunk) {
  uint64_t unpacked = 0;
  for (size_t k = 0; k < chunk.bytes.size() && k < 5; ++k) {
    unpacked |= uint64_t{chunk.bytes[k] & 0x7fu} << (7 * k);
    if (!(chunk.bytes[k] & 0x80)) break;
  }
  if (unpacked == 0) unpacked = chunk.bytes.size();
  FstSignalInfo info = chunk.info;
  uint64_t entry = info.word() == 2         ? 1
                   : info.is_real()         ? 9
                   : info.is_var_length()   ? 2
                                            : 1 + (uint64_t{info.length()} + 7) / 8;
  return unpacked / entry + 1;
}

}  // namespace

FstStatus FstBlockLoader::load() {
  WorkerPool* pool = use_pool_ ? &WorkerPool::instance() : nullptr;
  // Many groups per thread, the heaviest handed out first, so that the
  // threads finish close together (also when one gets less of the machine).
  size_t groups = pool && pool->thread_count() > 1 ? 8 * pool->thread_count() : 1;

  // Signal index bounds of the groups: runs of neighbouring signals of about
  // equal weight.
  uint32_t signal_end = 0;
  for (const Chunk& c : chunks_) signal_end = std::max(signal_end, c.chunk.signal + 1);
  std::vector<uint64_t> weight_by_signal(signal_end);
  uint64_t total = 0;
  for (const Chunk& c : chunks_) {
    uint64_t weight = chunk_weight(c.chunk);
    weight_by_signal[c.chunk.signal] += weight;
    total += weight;
  }
  std::vector<uint32_t> bounds{0};
  std::vector<uint64_t> weights;
  uint64_t filled = 0, group_weight = 0;
  for (uint32_t signal = 0; signal < signal_end && bounds.size() < groups; ++signal) {
    filled += weight_by_signal[signal];
    group_weight += weight_by_signal[signal];
    if (filled * groups >= total * bounds.size()) {
      bounds.push_back(signal + 1);
      weights.push_back(group_weight);
      group_weight = 0;
    }
  }
  weights.push_back(total - (filled - group_weight));  // the last group takes the rest
  bounds.resize(groups, signal_end);
  weights.resize(groups, 0);
  bounds.push_back(signal_end);
  std::vector<size_t> order(groups);
  for (size_t g = 0; g < groups; ++g) order[g] = g;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return weights[a] > weights[b]; });

  std::vector<std::optional<ReaderError>> errors(groups);
  auto load_group = [&](size_t piece) {
    size_t group = order[piece];
    FstStatus status = load_signals(bounds[group], bounds[group + 1]);
    if (!status.ok()) errors[group] = status.error();
  };
  if (pool && groups > 1) {
    // Writing a change costs about ten nanoseconds: a load of few changes
    // runs its groups on the caller.
    pool->run(groups, load_group, total < kUnknownWork / 16 ? total * 10 : kUnknownWork);
  } else {
    for (size_t group = 0; group < groups; ++group) load_group(group);
  }
  for (auto& error : errors)
    if (error) return fail(std::move(*error));
  return {};
}

FstStatus FstBlockLoader::load_signals(uint32_t first, uint32_t end) const {
  if (first >= end) return {};
  FstChunkBuffers buffers;
  std::vector<SignalId> written;
  for (const Block& block : blocks_) {
    for (size_t k = block.first_chunk; k < block.end_chunk; ++k) {
      const Chunk& chunk = chunks_[k];
      if (chunk.chunk.signal < first || chunk.chunk.signal >= end) continue;
      TRELM_TRY(load_chunk(block, chunk, buffers));
      if (chunk.id != kNoFstSignal) written.push_back(chunk.id);
    }
  }
  // The columns' slack goes back on this thread, whose allocator arena their
  // memory came from.
  std::sort(written.begin(), written.end());
  written.erase(std::unique(written.begin(), written.end()), written.end());
  for (SignalId id : written) writer_.release_slack(id);
  return {};
}

namespace {

// Maps a block's slots, asked for in non-decreasing order, to indices.
template <class Stretch>
class SlotIndexer {
 public:
  SlotIndexer(uint64_t offset, std::span<const Stretch> stretches)
      : offset_(offset), stretches_(stretches), plain_end_(stretches.empty() ? SIZE_MAX : stretches[0].begin) {}
  Index operator()(size_t slot) {
    if (slot < plain_end_) [[likely]]
      return offset_ + slot;
    while (next_ < stretches_.size() && stretches_[next_].end <= slot) ++next_;
    plain_end_ = next_ < stretches_.size() ? stretches_[next_].begin : SIZE_MAX;
    return slot < plain_end_ ? offset_ + slot : stretches_[next_].index;
  }

 private:
  uint64_t offset_;
  std::span<const Stretch> stretches_;
  size_t plain_end_;  // slots below this, from the last one asked for on, are at their own position
  size_t next_ = 0;
};

}  // namespace

FstStatus FstBlockLoader::load_chunk(const Block& block, const Chunk& chunk, FstChunkBuffers& buffers) const {
  if (chunk.id == kNoFstSignal)
    return for_each_chunk_change(block.chunks, chunk.chunk, buffers, [](size_t, size_t, const FstChangeValue&) {});
  const uint64_t offset = block.chunks.time_table_offset;
  SlotIndexer<SlotStretch> index_of(offset, block.stretches);
  // Changes of later blocks land at or after this block's end.
  FstChangeWriter::Run run(writer_, chunk.id, offset + block.chunks.times.size());
  return for_each_chunk_change(
      block.chunks, chunk.chunk, buffers, [&](size_t slot, size_t next_slot, const FstChangeValue& value) {
        Index index = index_of(slot);
        if (next_slot != kNoNextSlot && index_of(next_slot) == index) return;  // the next change replaces it
        if (!value.is_real && value.has_int) run.add_int(index, value.int_value);
        else run.add(index, FstTrace::convert_value(value));
      });
}

}  // namespace trelm
