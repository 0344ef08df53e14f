// Feeds arbitrary bytes to the VCD reader, line by line and in small pieces
// on several threads, reads back every signal and checks that both readings
// agree run for run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "trace/vcd.hpp"

namespace {

bool same_store(const trelm::VcdTrace& a, const trelm::VcdTrace& b) {
  if (a.signal_names() != b.signal_names() || a.scopes() != b.scopes() ||
      a.timestamp_count() != b.timestamp_count())
    return false;
  for (trelm::Index i = 0; i < a.timestamp_count(); ++i)
    if (a.timestamp(i) != b.timestamp(i)) return false;
  for (trelm::SignalId id = 0; id < a.signal_names().size(); ++id) {
    const trelm::SignalColumn* x = a.store().column(id);
    const trelm::SignalColumn* y = b.store().column(id);
    if ((x == nullptr) != (y == nullptr)) return false;
    if (!x) continue;
    if (x->length() != y->length() || x->run_count() != y->run_count()) return false;
    for (size_t k = 0; k < x->run_count(); ++k)
      if (x->run_start(k) != y->run_start(k) || !x->run_value(k).same_representation(y->run_value(k))) return false;
  }
  return true;
}

}  // namespace

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
  if (!same_store(*trace, *trelm::VcdTrace::parse(text, pieces))) std::abort();
  return 0;
}
