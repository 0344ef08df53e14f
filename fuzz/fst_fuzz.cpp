// Feeds arbitrary bytes to the FST loader: any input must give a trace or an
// error text, never a crash, a hang or a runaway allocation. The loader's two
// ways of writing changes (chunk by chunk on the workers, change by change)
// must give the same trace or the same error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "same_trace.hpp"
#include "formats/fst/fst.hpp"

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
  if (!trelm::fuzz::same_trace(t, **by_changes)) std::abort();
  for (const auto& name : t.signal_names()) (void)t.signal_value(name, t.max_index());
  return 0;
}
