// Feeds arbitrary bytes to the VCD reader, line by line and in small pieces
// on several threads, reads back every signal and checks that both readings
// agree run for run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "same_trace.hpp"
#include "formats/vcd/vcd.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  trelm::VcdPieceOptions line_by_line;
  line_by_line.min_parallel_bytes = SIZE_MAX;
  auto trace = trelm::VcdTrace::parse(text, line_by_line);
  const auto count = trace->timestamp_count();
  for (const auto& name : trace->signal_names()) {
    (void)trace->signal_width(name);
    if (count < 4096) (void)trace->signal_values_range(name, 0, count + 1);
    else (void)trace->signal_value(name, count - 1);
  }

  trelm::VcdPieceOptions pieces;
  pieces.min_parallel_bytes = 0;
  pieces.force = true;
  pieces.window_bytes = 64 + size % 512;
  pieces.piece_bytes = 1 + size % 61;
  if (!trelm::fuzz::same_trace(*trace, *trelm::VcdTrace::parse(text, pieces))) std::abort();
  return 0;
}
