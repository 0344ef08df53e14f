#include "signal/staged_store.hpp"

#include <algorithm>

namespace trelm {

StagedStore::Column& StagedStore::column(SignalId id) {
  if (id >= columns_.size()) columns_.resize(id + 1);
  return columns_[id];
}

void StagedStore::emit(std::vector<Run>& out, Index start, uint64_t value, bool known) {
  if (out.empty() && !known) return;  // a leading Unknown stays implicit
  if (!out.empty() && out.back().known == known && (!known || out.back().value == value)) return;
  out.push_back({start, value, known});
}

// The fills issued since the column was last touched collapse into the
// largest of them: with no write between, carrying through one count and then
// through another equals carrying through the larger one.
void StagedStore::realize_fill(Column& c) {
  if (c.epoch == fills_issued_) return;
  auto it = std::lower_bound(dominant_fills_.begin(), dominant_fills_.end(), c.epoch,
                             [](const std::pair<uint64_t, Index>& f, uint64_t epoch) { return f.first < epoch; });
  c.epoch = fills_issued_;
  Index count = it->second;
  auto& runs = c.runs;
  size_t first_known = 0;
  while (first_known < runs.size() && runs[first_known].start < count && !runs[first_known].known) ++first_known;
  if (first_known == runs.size() || runs[first_known].start >= count) return;
  work_ += runs.size();
  // An Unknown stretch that crosses `count` keeps its part from `count` on.
  bool unknown_at_count = false;
  if (count < c.length) {
    auto it = std::upper_bound(runs.begin(), runs.end(), count, [](Index i, const Run& r) { return i < r.start; });
    const Run& covering = *(it - 1);
    unknown_at_count = covering.start < count && !covering.known;
  }
  std::vector<Run> out;
  out.reserve(runs.size() + 1);
  size_t k = 0;
  for (; k < runs.size() && runs[k].start < count; ++k)
    if (runs[k].known) emit(out, runs[k].start, runs[k].value, true);
  if (unknown_at_count) emit(out, count, 0, false);
  for (; k < runs.size(); ++k) emit(out, runs[k].start, runs[k].value, runs[k].known);
  runs.swap(out);
  c.length = std::max(c.length, count);
}

// The column's dense list with each entry's position overwritten, in order.
void StagedStore::merge(Column& c, const std::vector<Entry>& entries) {
  const std::vector<Run>& old = c.runs;
  Index old_length = c.length;
  work_ += old.size() + entries.size();
  std::vector<Run> out;
  out.reserve(old.size() + 2 * entries.size());
  size_t k = 0;
  auto run_end = [&](size_t i) { return i + 1 < old.size() ? old[i + 1].start : old_length; };
  // Copies the old content of [from, to) to the output.
  auto copy_old = [&](Index from, Index to) {
    while (from < to) {
      while (k < old.size() && run_end(k) <= from) ++k;
      if (k == old.size() || from < old[k].start) {
        emit(out, from, 0, false);
        if (k == old.size()) return;
        from = old[k].start;
        continue;
      }
      emit(out, from, old[k].value, old[k].known);
      from = run_end(k);
    }
  };
  Index cursor = 0;
  Index length = old_length;
  for (const Entry& e : entries) {
    if (cursor < e.index) copy_old(cursor, e.index);
    emit(out, e.index, e.value, true);
    cursor = e.index + 1;
    length = std::max(length, cursor);
  }
  if (cursor < old_length) copy_old(cursor, old_length);
  c.runs.swap(out);
  c.length = length;
}

// Orders writes by signal, then index, keeping the original order among equal
// keys. Ids are small (positions in a name list), so the writes are first
// distributed by id; a signal's writes then usually arrive in index order already.
void StagedStore::sort_writes(std::vector<Write>& writes) {
  auto by_index = [](const Write& a, const Write& b) { return a.index < b.index; };
  SignalId max_id = 0;
  for (const Write& w : writes) max_id = std::max(max_id, w.id);
  if (max_id > 4 * writes.size() + 1024) {
    std::stable_sort(writes.begin(), writes.end(),
                     [](const Write& a, const Write& b) { return a.id != b.id ? a.id < b.id : a.index < b.index; });
    return;
  }
  std::vector<size_t> starts(max_id + 2, 0);
  for (const Write& w : writes) ++starts[w.id + 1];
  for (size_t id = 1; id < starts.size(); ++id) starts[id] += starts[id - 1];
  std::vector<Write> sorted(writes.size());
  std::vector<size_t> next(starts.begin(), starts.end() - 1);
  for (const Write& w : writes) sorted[next[w.id]++] = w;
  for (size_t id = 0; id + 1 < starts.size(); ++id) {
    auto first = sorted.begin() + starts[id];
    auto last = sorted.begin() + starts[id + 1];
    if (!std::is_sorted(first, last, by_index)) std::stable_sort(first, last, by_index);
  }
  writes.swap(sorted);
}

void StagedStore::set_many(std::vector<Write> writes) {
  sort_writes(writes);
  std::vector<Entry> entries;
  for (size_t i = 0; i < writes.size();) {
    SignalId id = writes[i].id;
    entries.clear();
    for (; i < writes.size() && writes[i].id == id; ++i) {
      // Of several writes to one position the last one stands.
      if (!entries.empty() && entries.back().index == writes[i].index)
        entries.back().value = writes[i].value;
      else
        entries.push_back({writes[i].index, writes[i].value});
    }
    Column& c = column(id);
    realize_fill(c);
    merge(c, entries);
  }
}

void StagedStore::fill_through(Index count) {
  while (!dominant_fills_.empty() && dominant_fills_.back().second <= count) dominant_fills_.pop_back();
  dominant_fills_.push_back({fills_issued_, count});
  ++fills_issued_;
}

void StagedStore::zero_unknown_starts(SignalId count) {
  // Values at index 0 are only ever replaced by known values, so ids already
  // given a start value need no second look.
  std::vector<Entry> zero{{0, 0}};
  for (SignalId id = zeroed_; id < count; ++id) {
    Column& c = column(id);
    if (!c.runs.empty() && c.runs.front().start == 0) continue;  // known at 0 (leading Unknown is implicit)
    realize_fill(c);
    merge(c, zero);
  }
  zeroed_ = std::max(zeroed_, count);
}

SignalStore StagedStore::finish() && {
  SignalStore store;
  for (SignalId id = 0; id < columns_.size(); ++id) {
    Column& c = columns_[id];
    realize_fill(c);
    // Runs go in ascending order, so each write appends; a known run reaches
    // its end by carrying, an Unknown one by writing its last position.
    for (size_t k = 0; k < c.runs.size(); ++k) {
      const Run& r = c.runs[k];
      Index end = k + 1 < c.runs.size() ? c.runs[k + 1].start : c.length;
      store.set(id, r.start, r.known ? SignalValue::from_int(r.value) : SignalValue::unknown());
      if (end - 1 > r.start) {
        if (r.known)
          store.carry_forward(id, end - 1);
        else
          store.set(id, end - 1, SignalValue::unknown());
      }
    }
  }
  return store;
}

}  // namespace trelm
