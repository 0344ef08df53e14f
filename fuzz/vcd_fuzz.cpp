// Feeds arbitrary bytes to the VCD reader and reads back every signal.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trace/vcd.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto trace = trelm::VcdTrace::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto count = trace->timestamp_count();
  for (const auto& name : trace->signal_names()) {
    (void)trace->signal_width(name);
    if (count < 4096) (void)trace->signal_values_range(name, 0, count + 1);
    else (void)trace->signal_value(name, count - 1);
  }
  return 0;
}
