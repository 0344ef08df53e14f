// Feeds arbitrary bytes to the FST loader: any input must give a trace or an
// error text, never a crash, a hang or a runaway allocation. The loader's two
// ways of writing changes (chunk by chunk on the workers, change by change)
// must give the same trace or the same error, in the literal reading and in
// the front door's exact one. Where the exact reading holds a two-state
// number or a real, the literal one holds the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "same_trace.hpp"
#include "formats/fst/fst.hpp"

namespace {

template <class A, class B>
void expect_same(const A& a, const B& b) {
  if (a.ok() != b.ok()) std::abort();
  if (!a.ok()) {
    if (a.error() != b.error()) std::abort();
    return;
  }
}

// With no two names read alike in the exact reading, both readings give ids
// to the same signals in the same order.
void check_exact_against_literal(const trelm::Trace& exact, const trelm::Trace& literal) {
  if (exact.signal_names().size() != literal.signal_names().size()) return;
  for (const auto& name : exact.signal_names()) {
    auto id = exact.signal_id(name);
    const trelm::SignalColumn* x = id ? exact.store().column(*id) : nullptr;
    if (!x) continue;
    for (size_t k = 0; k < x->run_count(); ++k) {
      trelm::SignalValue view = x->run_value(k);
      if (!view.is_int() && view.kind() != trelm::ValueKind::Real) continue;
      if (!literal.store().get(*id, x->run_start(k)).same_representation(view)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  auto trace = trelm::FstTrace::from_bytes(bytes);
  auto by_changes = trelm::FstTrace::from_bytes(bytes, trelm::FstLoadPath::Changes);
  expect_same(trace, by_changes);
  if (trace.ok()) {
    const trelm::Trace& t = **trace;
    if (!trelm::fuzz::same_trace(t, **by_changes)) std::abort();
    for (const auto& name : t.signal_names()) (void)t.signal_value(name, t.max_index());
  }

  trelm::LoadOptions exact;
  exact.exact = true;
  auto front = trelm::FstTrace::load_bytes(bytes, exact);
  auto front_by_changes = trelm::FstTrace::load_bytes(std::move(bytes), exact, trelm::FstLoadPath::Changes);
  expect_same(front, front_by_changes);
  if (front.ok() != trace.ok()) std::abort();
  if (!front.ok()) return 0;
  if (!trelm::fuzz::same_trace(*front->trace, *front_by_changes->trace)) std::abort();
  check_exact_against_literal(*front->trace, **trace);
  return 0;
}
