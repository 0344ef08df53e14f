#include "eval/changes.hpp"

#include <algorithm>
#include <iterator>
#include <memory>
#include <span>

#include "base/threads/pool.hpp"
#include "eval/change_index.hpp"
#include "eval/value_ops.hpp"
#include "signal/run_cursor.hpp"

namespace trelm {

namespace {

SignalValue value_in_run(const SignalColumn& column, size_t run) {
  return run == SignalColumn::npos ? SignalValue::unknown() : column.run_value(run);
}

// Remembered runs per signal id for the point reads of changed_at, kept per
// thread and per store. A remembered run is only a starting point that
// find_run checks, so a stale one (another store at the same address) costs
// time, never correctness.
struct RunHints {
  static constexpr size_t kMaxIds = size_t{1} << 20;

  // Makes room for ids up to max_id; call before taking hint pointers.
  void prepare(const SignalStore& store, SignalId max_id) {
    if (&store != store_) {
      store_ = &store;
      hints_.assign(hints_.size(), SignalColumn::npos);
    }
    if (max_id < kMaxIds && max_id >= hints_.size()) hints_.resize(max_id + 1, SignalColumn::npos);
  }
  // Ids beyond the table share one scratch place: any hint is safe to use.
  size_t* hint(SignalId id) { return id < hints_.size() ? &hints_[id] : &scratch_; }

  const SignalStore* store_ = nullptr;
  std::vector<size_t> hints_;
  size_t scratch_ = SignalColumn::npos;
};

thread_local RunHints t_run_hints;

// One signal's share of a change query.
struct Probe {
  size_t name;  // position in signal_names
  const SignalColumn* column;
  size_t* hint;
  size_t guess;
};

// Compares every probe's signal at index - 1 and index with one or two run
// look-ups each. The work goes in passes over all probes (touch the likely
// runs, find the runs, read the values, decide), each pass a loop whose
// iterations do not wait for one another, so the processor overlaps the
// cache misses of all signals instead of taking them one at a time.
void compare_probes(const std::vector<std::string>& names, std::span<const Probe> probes, Index index,
                    std::vector<ChangeRecord>& into) {
  uint64_t touched = 0;
  for (const Probe& p : probes) {
    const SignalColumn& c = *p.column;
    if (c.run_count() == 0) continue;
    touched += c.run_start(std::min(p.guess, c.run_count() - 1));
    if (*p.hint < c.run_count()) touched += c.run_start(*p.hint);
  }
  asm volatile("" : : "r"(touched));
  std::vector<size_t> runs(probes.size());
  for (size_t k = 0; k < probes.size(); ++k) {
    const Probe& p = probes[k];
    runs[k] = find_run(*p.column, index, *p.hint, p.guess);
    if (runs[k] != SignalColumn::npos) *p.hint = runs[k];
  }
  std::vector<SignalValue> values(probes.size());
  for (size_t k = 0; k < probes.size(); ++k)
    if (runs[k] != SignalColumn::npos) values[k] = probes[k].column->run_value(runs[k]);
  for (size_t k = 0; k < probes.size(); ++k) {
    const SignalColumn& column = *probes[k].column;
    size_t here = runs[k];
    SignalValue& new_value = values[k];
    if (here != SignalColumn::npos && column.run_start(here) < index) {
      // index - 1 lies in the same run: equal unless the value is NaN.
      if (is_nan(new_value)) into.push_back(ChangeRecord{names[probes[k].name], new_value, new_value});
      continue;
    }
    size_t before = here != SignalColumn::npos && here > 0 ? here - 1 : find_run(column, index - 1, here);
    SignalValue old_value = value_in_run(column, before);
    if (!(old_value == new_value))
      into.push_back(ChangeRecord{names[probes[k].name], std::move(old_value), std::move(new_value)});
  }
}

// A probe costs about this many nanoseconds (a few cache misses and the
// record of a change), as the pool weighs work; shared out, the names are
// compared a piece of this many at a time.
constexpr uint64_t kProbeWork = 50;
constexpr size_t kNamesPerPiece = 512;

template <class Keep>
std::vector<ChangeRecord> changes(const Trace& trace, Index index, Keep&& keep) {
  std::vector<ChangeRecord> out;
  if (index == 0) return out;
  const auto& names = trace.signal_names();
  const SignalStore& store = trace.store();
  std::vector<Probe> probes;
  std::vector<SignalId> ids;
  SignalId max_id = 0;
  auto add_probe = [&](size_t k, SignalId id, const SignalColumn* column) {
    probes.push_back(Probe{k, column, nullptr, guess_run(*column, index)});
    ids.push_back(id);
    max_id = std::max(max_id, id);
  };
  std::shared_ptr<const ChangeIndex> listed = ChangeIndex::of(trace);
  if (listed && listed->covers(index)) {
    // Only the columns with a boundary here (and those holding a NaN) can
    // change; their names are probed in signal_names order.
    std::vector<uint32_t> slots;
    listed->candidates(index, slots);
    std::vector<uint64_t> named;  // position << 32 | slot
    for (uint32_t s : slots) {
      const ChangeIndex::Slot& slot = listed->slot(s);
      for (uint32_t n = 0; n < slot.position_count; ++n)
        named.push_back(uint64_t{listed->positions()[slot.first_position + n]} << 32 | s);
    }
    std::sort(named.begin(), named.end());
    probes.reserve(named.size());
    ids.reserve(named.size());
    for (uint64_t entry : named) {
      size_t k = static_cast<size_t>(entry >> 32);
      if (!keep(names[k])) continue;
      const ChangeIndex::Slot& slot = listed->slot(static_cast<uint32_t>(entry));
      add_probe(k, slot.id, slot.column);
    }
  } else {
    // Names without an id, or whose id holds no values (Unknown at both
    // indices), cannot change and are left out here.
    probes.reserve(names.size());
    ids.reserve(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
      if (!keep(names[k])) continue;
      auto id = trace.signal_id(names[k]);
      if (!id) continue;
      const SignalColumn* column = store.column(*id);
      if (!column) continue;
      add_probe(k, *id, column);
    }
  }
  t_run_hints.prepare(store, max_id);
  for (size_t k = 0; k < probes.size(); ++k) probes[k].hint = t_run_hints.hint(ids[k]);
  WorkerPool& pool = WorkerPool::instance();
  const uint64_t work = probes.size() * kProbeWork;
  if (!pool.shares(work)) {
    compare_probes(names, probes, index, out);
    return out;
  }
  size_t pieces = (probes.size() + kNamesPerPiece - 1) / kNamesPerPiece;
  std::vector<std::vector<ChangeRecord>> parts(pieces);
  // The hints belong to the calling thread; workers start from the guesses.
  for (Probe& p : probes) p.hint = nullptr;
  auto task = [&](size_t k) {
    size_t first = k * kNamesPerPiece, last = std::min(probes.size(), first + kNamesPerPiece);
    std::vector<size_t> hints(last - first, SignalColumn::npos);
    std::vector<Probe> mine(probes.begin() + first, probes.begin() + last);
    for (size_t j = 0; j < mine.size(); ++j) mine[j].hint = &hints[j];
    compare_probes(names, mine, index, parts[k]);
  };
  pool.run(pieces, task, work);
  for (auto& part : parts) std::move(part.begin(), part.end(), std::back_inserter(out));
  return out;
}

}  // namespace

std::vector<ChangeRecord> changed_at(const Trace& trace, Index index) {
  return changes(trace, index, [](const std::string&) { return true; });
}

std::vector<ChangeRecord> changed_at_scope(const Trace& trace, Index index, std::string_view scope) {
  std::string prefix(scope);
  prefix.push_back('.');
  return changes(trace, index, [&prefix](const std::string& name) { return name.starts_with(prefix); });
}

std::vector<TransitionRecord> transitions(const Trace& trace, std::string_view name) {
  std::vector<TransitionRecord> out;
  auto id = trace.signal_id(name);
  if (!id) return out;
  const Wide128 end = static_cast<Wide128>(trace.max_index()) + 1;
  // Every change but a held NaN starts a new run: reserve for them at once.
  if (const SignalColumn* column = trace.store().column(*id))
    out.reserve(std::min<Wide128>(column->run_count() + 1, end));
  RunCursor cursor(trace.store(), *id);
  SignalValue prev = cursor.at(0);
  Wide128 begin = 0;
  for (;;) {
    Wide128 stop = std::min<Wide128>(cursor.segment_end(), end);
    // A NaN is unequal to itself: every index of its stretch after the first
    // is a change.
    if (is_nan(prev))
      for (Wide128 i = begin + 1; i < stop; ++i) out.push_back(TransitionRecord{static_cast<Index>(i), prev, prev});
    if (stop >= end) break;
    Index i = static_cast<Index>(stop);
    const SignalValue& cur = cursor.at(i);
    if (!(cur == prev)) out.push_back(TransitionRecord{i, prev, cur});
    prev = cur;
    begin = stop;
  }
  return out;
}

}  // namespace trelm
