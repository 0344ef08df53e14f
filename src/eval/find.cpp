#include "eval/find.hpp"

#include <algorithm>

#include "base/threads/pool.hpp"
#include "eval/scanner.hpp"

namespace trelm {

namespace {

Wide128 range_end(const Trace& trace) { return static_cast<Wide128>(trace.max_index()) + 1; }

void append_range(std::vector<Index>& out, Wide128 first, Wide128 last) {
  // Growing by the stretch alone would defeat the vector's doubling.
  size_t n = static_cast<size_t>(last - first);
  if (out.size() + n > out.capacity()) out.reserve(std::max(out.size() + n, out.capacity() * 2));
  for (Wide128 i = first; i < last; ++i) out.push_back(static_cast<Index>(i));
}

// The range 0..max_index cut into contiguous pieces, several per thread so
// that a thread that finishes early takes pieces from the rest (one piece for
// one thread).
struct Pieces {
  Pieces(Wide128 total, size_t threads) : total(total) {
    Wide128 wanted = threads > 1 ? static_cast<Wide128>(threads) * 8 : 1;
    count = static_cast<size_t>(std::min(total, wanted));
    if (count == 0) count = 1;
  }
  Wide128 begin(size_t k) const { return total * k / count; }
  Wide128 end(size_t k) const { return total * (k + 1) / count; }

  Wide128 total;
  size_t count;
};

// Calls on_true(first, last_exclusive) for the true indices of [begin, end).
template <class OnTrue>
void scan(const StretchProgram& program, const SignalStore& store, Wide128 begin, Wide128 end, OnTrue&& on_true) {
  Scanner(program, store).scan(begin, end, on_true);
}

std::vector<Index> scan_all(const StretchProgram& program, const Trace& trace) {
  std::vector<Index> out;
  scan(program, trace.store(), 0, range_end(trace), [&out](Wide128 a, Wide128 b) { append_range(out, a, b); });
  return out;
}

// What a scan of `indices` indices costs on one thread at most, as the pool
// weighs work: a few nanoseconds per instruction and index when the values
// change at every index.
uint64_t scan_work(const StretchProgram& program, Wide128 indices) {
  const Wide128 work = indices * program.code().size() * 4;
  return work < kUnknownWork ? static_cast<uint64_t>(work) : kUnknownWork;
}

}  // namespace

std::vector<Index> find(const Trace& trace, const Expr& expr) {
  return scan_all(StretchProgram(expr, trace.max_index()), trace);
}

std::vector<Index> parallel_find(const Trace& trace, const Expr& expr) {
  StretchProgram program(expr, trace.max_index());
  WorkerPool& pool = WorkerPool::instance();
  const uint64_t work = scan_work(program, range_end(trace));
  if (!pool.shares(work)) return scan_all(program, trace);
  Pieces pieces(range_end(trace), pool.thread_count());
  std::vector<std::vector<Index>> found(pieces.count);
  auto task = [&](size_t k) {
    auto& out = found[k];
    scan(program, trace.store(), pieces.begin(k), pieces.end(k),
         [&out](Wide128 a, Wide128 b) { append_range(out, a, b); });
  };
  pool.run(pieces.count, task, work);
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
  const uint64_t work = scan_work(program, range_end(trace));
  Pieces pieces(range_end(trace), pool.shares(work) ? pool.thread_count() : 1);
  std::vector<uint64_t> counts(pieces.count, 0);
  auto task = [&](size_t k) {
    uint64_t n = 0;
    scan(program, trace.store(), pieces.begin(k), pieces.end(k),
         [&n](Wide128 a, Wide128 b) { n += static_cast<uint64_t>(b - a); });
    counts[k] = n;
  };
  pool.run(pieces.count, task, work);
  uint64_t total = 0;
  for (uint64_t n : counts) total += n;
  return total;
}

}  // namespace trelm
