// Feeds arbitrary bytes to the VCD reader, line by line and in small pieces
// on several threads, reads back every signal and checks that both readings
// agree run for run, in the literal reading and in the front door's exact
// one. Where the exact reading holds a two-state number or a real, the
// literal reading (which reads the same lines, and fewer) holds the same.
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

  trelm::LoadOptions exact;
  exact.exact = true;
  auto exact_lines = trelm::VcdTrace::load_text(text, exact, line_by_line);
  auto exact_pieces = trelm::VcdTrace::load_text(text, exact, pieces);
  if (!exact_lines.ok() || !exact_pieces.ok()) std::abort();
  if (!trelm::fuzz::same_trace(*exact_lines->trace, *exact_pieces->trace)) std::abort();
  // Both readings give ids to identifier codes in the order they are first
  // declared, so an id is the same signal in both.
  if (!trelm::fuzz::exact_agrees_with_literal(*exact_lines->trace, *trace)) std::abort();
  return 0;
}
