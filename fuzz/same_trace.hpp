// Whether two traces read from the same input are the same: names, scopes,
// time stamps, and every signal's runs (starts, values bit for bit, and the
// digits kept beside them). The fuzz targets use it to check one reading
// path against another.
#pragma once

#include <cstddef>

#include "trace/trace.hpp"

namespace trelm::fuzz {

inline bool same_trace(const Trace& a, const Trace& b) {
  if (a.signal_names() != b.signal_names() || a.scopes() != b.scopes() ||
      a.timestamp_count() != b.timestamp_count())
    return false;
  for (Index i = 0; i < a.timestamp_count(); ++i)
    if (a.timestamp(i) != b.timestamp(i)) return false;
  for (const auto& name : a.signal_names()) {
    auto id = a.signal_id(name);
    if (id != b.signal_id(name)) return false;
    if (!id) continue;
    const SignalColumn* x = a.store().column(*id);
    const SignalColumn* y = b.store().column(*id);
    if ((x == nullptr) != (y == nullptr)) return false;
    if (!x) continue;
    if (x->length() != y->length() || x->run_count() != y->run_count()) return false;
    for (size_t k = 0; k < x->run_count(); ++k)
      if (x->run_start(k) != y->run_start(k) || !x->run_value(k).same_representation(y->run_value(k)) ||
          x->run_digits(k) != y->run_digits(k))
        return false;
  }
  return true;
}

// Where the front door's exact reading holds a two-state number or a real,
// the literal reading of the same input holds the same, read by the same
// signal id. Callers make sure ids name the same signals in both.
inline bool exact_agrees_with_literal(const Trace& exact, const Trace& literal) {
  for (const auto& name : exact.signal_names()) {
    auto id = exact.signal_id(name);
    const SignalColumn* x = id ? exact.store().column(*id) : nullptr;
    if (!x) continue;
    for (size_t k = 0; k < x->run_count(); ++k) {
      SignalValue view = x->run_value(k);
      if (!view.is_int() && view.kind() != ValueKind::Real) continue;
      if (!literal.store().get(*id, x->run_start(k)).same_representation(view)) return false;
    }
  }
  return true;
}

}  // namespace trelm::fuzz
