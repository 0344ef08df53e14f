#include "eval/change_index.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

#include "base/threads/pool.hpp"

namespace trelm {

namespace {

// Indices past this many beyond the number of listed boundaries are left to
// the full probe, so that the offsets never outgrow the changes they index.
constexpr uint64_t kSpareIndices = uint64_t{1} << 16;

bool holds_nan(const SignalColumn& column) {
  for (size_t k = 0; k < column.run_count(); ++k)
    if (column.run_kind(k) == ValueKind::Real && std::isnan(column.run_value(k).real_value())) return true;
  return false;
}

// Walks one column's boundaries in ascending order, a block of indices at a
// time: every index i >= 1 at which the value may differ from the one before
// (each run start, and the start of the Unknown tail).
struct BoundaryCursor {
  // Starts with the first boundary at or after `from`.
  BoundaryCursor(const SignalColumn* c, Index from) : column(c) {
    const size_t count = c->run_count();
    if (from == 0 || count == 0) return;
    tail_done = c->length() < from;
    if (from >= c->length()) {
      run = count;
    } else if (from > c->run_start(0)) {
      size_t k = c->run_at(from);
      run = c->run_start(k) == from ? k : k + 1;
    }
  }

  const SignalColumn* column;
  size_t run = 0;
  bool tail_done = false;

  // Calls on_boundary(i) for the boundaries below `stop` not reported yet.
  template <class OnBoundary>
  void advance(Index stop, OnBoundary&& on_boundary) {
    const size_t count = column->run_count();
    for (; run < count; ++run) {
      Index start = column->run_start(run);
      if (start >= stop) return;
      if (start >= 1) on_boundary(start);
    }
    if (tail_done || count == 0 || column->length() >= stop) return;
    tail_done = true;
    on_boundary(column->length());
  }
};

// Indices per block of the counting sort: the offsets and entries one block
// touches stay in cache while every column adds its boundaries.
constexpr Index kBlockIndices = Index{1} << 14;

}  // namespace

std::shared_ptr<const ChangeIndex> ChangeIndex::of(const Trace& trace) {
  TraceQueryCache& cache = trace.query_cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (!cache.built) {
    try {
      cache.derived = build(trace);
    } catch (const std::bad_alloc&) {
      // Without room for the index, every query probes all signals.
      cache.derived.reset();
    }
    cache.built = true;
  }
  // Only this function fills the slot, always with a ChangeIndex.
  return std::static_pointer_cast<const ChangeIndex>(cache.derived);
}

std::shared_ptr<const ChangeIndex> ChangeIndex::build(const Trace& trace) {
  const auto& names = trace.signal_names();
  const SignalStore& store = trace.store();
  if (names.size() >= std::numeric_limits<uint32_t>::max()) return nullptr;
  auto index = std::make_shared<ChangeIndex>();

  // Slots in the order of their first name; each slot lists its positions.
  std::vector<uint32_t> slot_of_position(names.size(), std::numeric_limits<uint32_t>::max());
  std::unordered_map<SignalId, uint32_t> slot_of_id;
  for (size_t p = 0; p < names.size(); ++p) {
    auto id = trace.signal_id(names[p]);
    if (!id) continue;
    const SignalColumn* column = store.column(*id);
    if (!column || column->run_count() == 0) continue;  // Unknown everywhere: never changes
    auto [it, added] = slot_of_id.try_emplace(*id, static_cast<uint32_t>(index->slots_.size()));
    if (added) index->slots_.push_back(Slot{*id, column, 0, 0});
    slot_of_position[p] = it->second;
    ++index->slots_[it->second].position_count;
  }
  uint32_t next = 0;
  for (Slot& slot : index->slots_) {
    slot.first_position = next;
    next += slot.position_count;
    slot.position_count = 0;
  }
  index->positions_.resize(next);
  for (size_t p = 0; p < names.size(); ++p) {
    if (slot_of_position[p] == std::numeric_limits<uint32_t>::max()) continue;
    Slot& slot = index->slots_[slot_of_position[p]];
    index->positions_[slot.first_position + slot.position_count++] = static_cast<uint32_t>(p);
  }

  // The NaN-holding columns are probed at every index; the rest are listed.
  std::vector<uint32_t> listed;
  uint64_t boundaries = 0;
  for (uint32_t s = 0; s < index->slots_.size(); ++s) {
    const SignalColumn& column = *index->slots_[s].column;
    if (holds_nan(column)) {
      index->nan_slots_.push_back(s);
    } else {
      listed.push_back(s);
      boundaries += column.run_count() + 1;
    }
  }
  if (boundaries >= std::numeric_limits<uint32_t>::max()) return nullptr;
  const uint64_t limit = boundaries + kSpareIndices;
  const Index max_index = trace.max_index();
  index->covered_end_ = (max_index < limit ? max_index : limit) + 2;

  if (index->slots_.size() <= std::numeric_limits<uint16_t>::max() + size_t{1})
    index->fill(index->narrow_, listed, boundaries);
  else
    index->fill(index->wide_, listed, boundaries);
  return index;
}

// A counting sort of (index, slot) pairs: count per index, turn counts into
// starting offsets, place the slots, then shift the offsets back.
template <class Entry>
void ChangeIndex::fill(std::vector<Entry>& entries, const std::vector<uint32_t>& listed, uint64_t boundaries) {
  const Index end = covered_end_;
  // Both passes split the indices among the workers: each part touches only
  // the offsets (and so the entries) of its own indices.
  WorkerPool& pool = WorkerPool::instance();
  const Index blocks = (end + kBlockIndices - 1) / kBlockIndices;
  const size_t parts = static_cast<size_t>(std::min<Index>(blocks, pool.thread_count() * 4));
  // A pass costs a few nanoseconds per boundary and per column and block.
  const uint64_t work = (boundaries + listed.size() * blocks) * 4;
  auto by_blocks = [&](auto&& on_boundary) {
    auto part = [&](size_t k) {
      const Index first = blocks * k / parts * kBlockIndices;
      const Index last = std::min(end, blocks * (k + 1) / parts * kBlockIndices);
      std::vector<BoundaryCursor> cursors;
      cursors.reserve(listed.size());
      for (uint32_t s : listed) cursors.emplace_back(slots_[s].column, first);
      for (Index block = first; block < last; block += std::min(kBlockIndices, last - block)) {
        Index stop = block + std::min(kBlockIndices, last - block);
        for (size_t c = 0; c < cursors.size(); ++c)
          cursors[c].advance(stop, [&](Index i) { on_boundary(i, listed[c]); });
      }
    };
    pool.run(parts, part, work);
  };
  offsets_.assign(static_cast<size_t>(end) + 1, 0);
  by_blocks([this](Index i, uint32_t) { ++offsets_[i]; });
  uint32_t total = 0;
  for (auto& n : offsets_) {
    uint32_t count = n;
    n = total;
    total += count;
  }
  entries.resize(total);
  by_blocks([this, &entries](Index i, uint32_t s) { entries[offsets_[i]++] = static_cast<Entry>(s); });
  // offsets_[i] now holds the end of index i, which is where i + 1 begins.
  for (size_t i = offsets_.size() - 1; i > 0; --i) offsets_[i] = offsets_[i - 1];
  offsets_[0] = 0;
}

void ChangeIndex::candidates(Index index, std::vector<uint32_t>& slots) const {
  const size_t first = offsets_[index], last = offsets_[index + 1];
  if (!narrow_.empty())
    slots.insert(slots.end(), narrow_.begin() + first, narrow_.begin() + last);
  else if (!wide_.empty())
    slots.insert(slots.end(), wide_.begin() + first, wide_.begin() + last);
  slots.insert(slots.end(), nan_slots_.begin(), nan_slots_.end());
}

}  // namespace trelm
