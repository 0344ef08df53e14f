// Feeds arbitrary bytes to the FST loader: any input must give a trace or an
// error text, never a crash, a hang or a runaway allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "trace/fst.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto trace = trelm::FstTrace::from_bytes(std::vector<uint8_t>(data, data + size));
  if (trace.ok()) {
    const trelm::Trace& t = **trace;
    for (const auto& name : t.signal_names()) (void)t.signal_value(name, t.max_index());
  }
  return 0;
}
