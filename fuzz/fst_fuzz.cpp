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

// Both succeed, or both fail with the same text.
template <class A, class B>
void expect_same(const A& a, const B& b) {
  if (a.ok() != b.ok() || (!a.ok() && a.error() != b.error())) std::abort();
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
  // With no two names read alike in the exact reading, both readings give
  // ids to the same signals in the same order.
  if (front->trace->signal_names().size() == (*trace)->signal_names().size() &&
      !trelm::fuzz::exact_agrees_with_literal(*front->trace, **trace))
    std::abort();
  return 0;
}
