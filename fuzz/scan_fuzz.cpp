// One target for the four heuristic scanners. The first input byte picks the
// scanner (low two bits: FSDB, WLF, SHM, VPD); the rest is the file. For SHM
// two big-endian bytes give the design file's length, and what follows the
// design file is one transition file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "formats/scan/fsdb.hpp"
#include "formats/scan/shm.hpp"
#include "formats/scan/vpd.hpp"
#include "formats/scan/wlf.hpp"

namespace {

void touch(const trelm::Trace& trace) {
  // Read a little of everything so the record's parts are exercised.
  trelm::Index last = trace.max_index();
  for (const std::string& name : trace.signal_names()) {
    (void)trace.signal_value(name, 0);
    (void)trace.signal_value(name, last);
    (void)trace.signal_width(name);
  }
  (void)trace.timestamp(last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::span<const uint8_t> rest(data + 1, size - 1);
  try {
    switch (data[0] & 3) {
      case 0:
        if (auto r = trelm::FsdbTrace::from_bytes(rest); r.ok()) touch(*r.value());
        break;
      case 1:
        if (auto r = trelm::WlfTrace::from_bytes(rest); r.ok()) touch(*r.value());
        break;
      case 2: {
        if (rest.size() < 2) break;
        size_t claimed = size_t{rest[0]} << 8 | rest[1];
        rest = rest.subspan(2);
        size_t cut = std::min(claimed, rest.size());
        std::vector<uint8_t> design(rest.begin(), rest.begin() + cut);
        std::vector<std::vector<uint8_t>> transitions{std::vector<uint8_t>(rest.begin() + cut, rest.end())};
        if (auto r = trelm::ShmTrace::from_bytes(&design, transitions); r.ok()) touch(*r.value());
        break;
      }
      default:
        if (auto r = trelm::VpdTrace::from_bytes(rest); r.ok()) touch(*r.value());
        break;
    }
  } catch (const std::bad_alloc&) {
    // Absurd scope sets are refused with bad_alloc, which Python sees as MemoryError.
  }
  return 0;
}
