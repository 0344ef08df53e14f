#include "eval/find.hpp"

#include <algorithm>
#include <memory>

#include "eval/pool.hpp"
#include "eval/stretch_eval.hpp"

namespace trelm {

namespace {

Wide128 range_end(const Trace& trace) { return static_cast<Wide128>(trace.max_index()) + 1; }

void append_range(std::vector<Index>& out, Wide128 first, Wide128 last) {
  out.reserve(out.size() + static_cast<size_t>(last - first));
  for (Wide128 i = first; i < last; ++i) out.push_back(static_cast<Index>(i));
}

// The range 0..max_index cut into contiguous pieces, several per worker so
// that a worker that finishes early takes pieces from the rest.
struct Pieces {
  Pieces(Wide128 total, size_t workers) : total(total) {
    Wide128 wanted = static_cast<Wide128>(std::max<size_t>(workers, 1)) * 8;
    count = static_cast<size_t>(std::min(total, wanted));
    if (count == 0) count = 1;
  }
  Wide128 begin(size_t k) const { return total * k / count; }
  Wide128 end(size_t k) const { return total * (k + 1) / count; }

  Wide128 total;
  size_t count;
};

}  // namespace

std::vector<Index> find(const Trace& trace, const Expr& expr) {
  StretchProgram program(expr, trace.max_index());
  StretchEvaluator evaluator(program, trace.store());
  std::vector<Index> out;
  evaluator.scan(0, range_end(trace), [&out](Wide128 a, Wide128 b) { append_range(out, a, b); });
  return out;
}

std::vector<Index> parallel_find(const Trace& trace, const Expr& expr) {
  StretchProgram program(expr, trace.max_index());
  WorkerPool& pool = WorkerPool::instance();
  Pieces pieces(range_end(trace), pool.thread_count());
  std::vector<std::vector<Index>> found(pieces.count);
  auto task = [&](size_t k) {
    StretchEvaluator evaluator(program, trace.store());
    auto& out = found[k];
    evaluator.scan(pieces.begin(k), pieces.end(k), [&out](Wide128 a, Wide128 b) { append_range(out, a, b); });
  };
  pool.run(pieces.count, task);
  // The pieces are contiguous and scanned in ascending order, so joining them
  // in range order already gives the sorted list.
  size_t total = 0;
  for (const auto& part : found) total += part.size();
  std::vector<Index> out;
  out.reserve(total);
  for (auto& part : found) {
    out.insert(out.end(), part.begin(), part.end());
    std::vector<Index>().swap(part);
  }
  return out;
}

uint64_t parallel_count(const Trace& trace, const Expr& expr) {
  StretchProgram program(expr, trace.max_index());
  WorkerPool& pool = WorkerPool::instance();
  Pieces pieces(range_end(trace), pool.thread_count());
  std::vector<uint64_t> counts(pieces.count, 0);
  auto task = [&](size_t k) {
    StretchEvaluator evaluator(program, trace.store());
    uint64_t n = 0;
    evaluator.scan(pieces.begin(k), pieces.end(k), [&n](Wide128 a, Wide128 b) { n += static_cast<uint64_t>(b - a); });
    counts[k] = n;
  };
  pool.run(pieces.count, task);
  uint64_t total = 0;
  for (uint64_t n : counts) total += n;
  return total;
}

namespace {

bool is_nan(const SignalValue& v) noexcept { return v.kind() == ValueKind::Real && v.real_value() != v.real_value(); }

SignalValue value_in_run(const SignalColumn& column, size_t run) {
  return run == SignalColumn::npos ? SignalValue::unknown() : column.run_value(run);
}

// The change of one signal between index - 1 and index, read with one or two
// run look-ups; false when the two values are equal.
bool change_of(const SignalStore& store, SignalId id, Index index, SignalValue& old_value, SignalValue& new_value) {
  const SignalColumn* column = store.column(id);
  if (!column) return false;  // Unknown on both sides
  size_t here = column->run_at(index);
  if (here != SignalColumn::npos && column->run_start(here) < index) {
    // index - 1 lies in the same run: equal unless the value is NaN.
    new_value = column->run_value(here);
    if (!is_nan(new_value)) return false;
    old_value = new_value;
    return true;
  }
  new_value = value_in_run(*column, here);
  old_value = value_in_run(*column, column->run_at(index - 1));
  return !(old_value == new_value);
}

// Above this many names the comparison is split among the workers; below it
// the hand-off would cost more than the reads.
constexpr size_t kParallelChangeNames = 4096;
constexpr size_t kNamesPerPiece = 1024;

template <class Keep>
std::vector<ChangeRecord> changes(const Trace& trace, Index index, Keep&& keep) {
  std::vector<ChangeRecord> out;
  if (index == 0) return out;
  const auto& names = trace.signal_names();
  const SignalStore& store = trace.store();
  auto scan = [&](size_t first, size_t last, std::vector<ChangeRecord>& into) {
    SignalValue old_value, new_value;
    for (size_t k = first; k < last; ++k) {
      const std::string& name = names[k];
      if (!keep(name)) continue;
      auto id = trace.signal_id(name);
      if (!id) continue;
      if (change_of(store, *id, index, old_value, new_value))
        into.push_back(ChangeRecord{name, std::move(old_value), std::move(new_value)});
    }
  };
  if (names.size() < kParallelChangeNames) {
    scan(0, names.size(), out);
    return out;
  }
  size_t pieces = (names.size() + kNamesPerPiece - 1) / kNamesPerPiece;
  std::vector<std::vector<ChangeRecord>> parts(pieces);
  auto task = [&](size_t k) {
    scan(k * kNamesPerPiece, std::min(names.size(), (k + 1) * kNamesPerPiece), parts[k]);
  };
  WorkerPool::instance().run(pieces, task);
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
  const Wide128 end = range_end(trace);
  StoreCursor cursor(trace.store(), *id);
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
