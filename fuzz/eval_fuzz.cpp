// Builds a small trace and an expression from arbitrary bytes and checks that
// every way of scanning agrees with the per-index evaluation: find and the
// parallel count, and the stretch and batch evaluators over a sub-range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "eval/batch_eval.hpp"
#include "eval/find.hpp"
#include "trace/record.hpp"

namespace {

using namespace trelm;

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t next() { return size_ ? (--size_, *data_++) : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Mostly small Ints, which the batch evaluator takes, and now and then a
// value of another kind, which it hands to the stretch evaluator.
SignalValue value(uint8_t b) {
  switch (b % 16) {
    case 0: return SignalValue::unknown();
    case 1: return SignalValue::logic(std::vector<uint8_t>{1, 2});
    case 2: return SignalValue::from_real(b & 16 ? std::numeric_limits<double>::quiet_NaN() : 1.0);
    case 3: return SignalValue::from_int(UINT64_MAX);
    case 4: return SignalValue::str("5");
    case 5: return SignalValue::wide(std::vector<uint64_t>{3, 1});
    default: return SignalValue::from_int(b % 4);
  }
}

constexpr size_t kMaxSignals = 4;

RecordTrace make_trace(Bytes& in, size_t& signals) {
  TraceRecord r;
  const size_t timestamps = 1 + 2 * size_t{in.next()};
  for (size_t i = 0; i < timestamps; ++i) r.timestamps.push_back(i);
  signals = 1 + in.next() % kMaxSignals;
  for (SignalId id = 0; id < signals; ++id) {
    std::string name = "s" + std::to_string(id);
    r.signal_names.push_back(name);
    r.name_to_id[name] = id;
    // Lists that end early (an Unknown tail) or run past the last index.
    const uint8_t shape = in.next();
    const size_t length = shape % 4 == 0 ? shape : shape % 4 == 1 ? timestamps + 2 : timestamps;
    for (size_t i = 0; i < length;) {
      const uint8_t hold = in.next();
      SignalValue v = value(in.next());
      const size_t end = std::min(length, i + 1 + (hold & 0x80 ? hold : hold % 3));
      for (; i < end; ++i) r.store.set(id, i, v);
    }
  }
  return RecordTrace(std::move(r));
}

int64_t offset(uint8_t b, Index max_index) {
  const int64_t m = static_cast<int64_t>(max_index);
  const int64_t offsets[] = {-1, 1, -2, 2, -7, 5, m, -m, m + 1, -m - 1, std::numeric_limits<int64_t>::max(),
                             std::numeric_limits<int64_t>::min()};
  return offsets[b % std::size(offsets)];
}

Expr tree(Bytes& in, size_t signals, Index max_index, int depth) {
  const uint8_t b = in.next();
  const auto kind = static_cast<ExprKind>(depth <= 0 ? b % 3 : b % 22);
  switch (kind) {
    case ExprKind::Signal: return Expr::signal(in.next() % (signals + 1));  // sometimes an unknown id
    case ExprKind::Const: return Expr::constant(value(in.next()));
    case ExprKind::RelEval: {
      // A shifted signal in most cases (the batch takes those), a shifted subtree otherwise.
      const uint8_t shift = in.next();
      Expr child = (shift & 0xC0) || depth <= 0 ? Expr::signal(in.next() % signals)
                                                : tree(in, signals, max_index, depth - 1);
      return Expr::rel_eval(child, offset(shift, max_index));
    }
    case ExprKind::Slice: {
      const uint64_t bits[] = {0, 1, 2, 3, 63, 64, UINT64_MAX};
      const uint8_t s = in.next();
      return Expr::slice(tree(in, signals, max_index, depth - 1), bits[s % 7], bits[s / 7 % 7]);
    }
    case ExprKind::AlwaysTrue: return Expr::always_true();
    default:
      if (is_binary_kind(kind)) {
        Expr l = tree(in, signals, max_index, depth - 1);
        return Expr::binary(kind, l, tree(in, signals, max_index, depth - 1));
      }
      return Expr::unary(kind, tree(in, signals, max_index, depth - 1));
  }
}

template <class Evaluator>
std::vector<Index> scanned(Evaluator& evaluator, Index first, Index last) {
  std::vector<Index> out;
  evaluator.scan(first, last, [&out](Wide128 a, Wide128 b) {
    for (Wide128 i = a; i < b; ++i) out.push_back(static_cast<Index>(i));
  });
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  size_t signals = 0;
  const RecordTrace trace = make_trace(in, signals);
  const Index max_index = trace.max_index();
  const Expr expr = tree(in, signals, max_index, 1 + in.next() % 5);

  std::vector<Index> literal;
  for (Index i = 0; i <= max_index; ++i)
    if (eval_bool(trace, expr, i)) literal.push_back(i);
  if (find(trace, expr) != literal || parallel_count(trace, expr) != literal.size()) std::abort();

  // A sub-range, as one worker's piece.
  Index first = in.next() * (max_index + 1) / 256, last = first + in.next() * (max_index + 1) / 256;
  if (last > max_index + 1) last = max_index + 1;
  std::vector<Index> expected;
  for (Index i : literal)
    if (i >= first && i < last) expected.push_back(i);
  StretchProgram program(expr, max_index);
  StretchEvaluator stretch(program, trace.store());
  if (scanned(stretch, first, last) != expected) std::abort();
  if (BatchEvaluator::supports(program)) {
    BatchEvaluator batch(program, trace.store());
    if (scanned(batch, first, last) != expected) std::abort();
  }
  return 0;
}
