#include "eval/stats.hpp"

#include <algorithm>

#include "eval/value_ops.hpp"
#include "signal/run_cursor.hpp"

namespace trelm {

namespace {

// Adds `n` indices holding `v`; counts wrap modulo 2^64 like the sums.
void add_stretch(SignalStats& s, const SignalValue& v, uint64_t n) {
  switch (v.kind()) {
    case ValueKind::Int: {
      uint64_t x = v.int_value();
      s.sum += x * n;
      s.max = std::max(s.max, x);
      s.min = std::min(s.min, x);
      s.count += n;
      break;
    }
    case ValueKind::Logic: {
      uint64_t x = 0, z = 0;
      for (uint8_t b : v.logic_bits()) {
        x += b == kLogicX;
        z += b == kLogicZ;
      }
      s.num_x += x * n;
      s.num_z += z * n;
      break;
    }
    case ValueKind::Unknown: s.num_x += n; break;
    default: break;
  }
}

}  // namespace

// One pass over the stretches of equal values: a stretch of n indices counts
// n times, and only its first index can be a change (except for NaN, which
// differs from itself at every index).
SignalStats compute_stats(const Trace& trace, std::string_view name) {
  SignalStats s;
  auto id = trace.signal_id(name);
  if (!id) return s;
  s.min = UINT64_MAX;
  const Wide128 end = static_cast<Wide128>(trace.max_index()) + 1;
  RunCursor cursor(trace.store(), *id);
  SignalValue prev;
  Wide128 begin = 0;
  for (;;) {
    const SignalValue& v = cursor.at(static_cast<Index>(begin));
    Wide128 stop = std::min<Wide128>(cursor.segment_end(), end);
    uint64_t n = static_cast<uint64_t>(stop - begin);
    if (begin > 0 && !(v == prev)) ++s.transitions;
    if (is_nan(v)) s.transitions += n - 1;
    add_stretch(s, v, n);
    if (stop >= end) break;
    prev = v;
    begin = stop;
  }
  if (s.count == 0) s.min = 0;
  return s;
}

}  // namespace trelm
