// Feeds arbitrary bytes to the FST loader: any input must give a trace or an
// error text, never a crash, a hang or a runaway allocation. The loader's two
// ways of writing changes (chunk by chunk on the workers, change by change)
// must give the same trace or the same error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "trace/fst.hpp"

namespace {

bool same_trace(const trelm::Trace& a, const trelm::Trace& b) {
  if (a.signal_names() != b.signal_names() || a.timestamp_count() != b.timestamp_count()) return false;
  for (trelm::Index i = 0; i < a.timestamp_count(); ++i)
    if (a.timestamp(i) != b.timestamp(i)) return false;
  for (const auto& name : a.signal_names()) {
    const trelm::SignalColumn* c = a.store().column(*a.signal_id(name));
    const trelm::SignalColumn* d = b.store().column(*b.signal_id(name));
    if (!c || !d) {
      if (c != d) return false;
      continue;
    }
    if (c->length() != d->length() || c->run_count() != d->run_count()) return false;
    for (size_t k = 0; k < c->run_count(); ++k)
      if (c->run_start(k) != d->run_start(k) || !c->run_value(k).same_representation(d->run_value(k))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  auto trace = trelm::FstTrace::from_bytes(bytes);
  auto by_changes = trelm::FstTrace::from_bytes(std::move(bytes), trelm::FstLoadPath::Changes);
  if (trace.ok() != by_changes.ok()) std::abort();
  if (!trace.ok()) {
    if (trace.error() != by_changes.error()) std::abort();
    return 0;
  }
  const trelm::Trace& t = **trace;
  if (!same_trace(t, **by_changes)) std::abort();
  for (const auto& name : t.signal_names()) (void)t.signal_value(name, t.max_index());
  return 0;
}
