// Times VcdTrace::from_file on one file and prints wall time, peak RSS and
// the store's run count. Built with the C++ tests (make cpp-test), run e.g.:
//   ./build/cpp/vcd_load_bench bench/data/cpu.vcd
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <utility>
#include <vector>
#include <string>

#include "formats/vcd/vcd.hpp"

static long peak_rss_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.vcd [--reads]\n", argv[0]);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  auto trace = trelm::VcdTrace::from_file(argv[1]);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!trace.ok()) {
    std::fprintf(stderr, "%s\n", trace.error().c_str());
    return 1;
  }
  const auto& t = **trace;
  uint64_t runs = 0;
  for (trelm::SignalId id = 0; id < 1u << 20; ++id)
    if (auto* c = t.store().column(id)) runs += c->run_count();
  std::printf("load_seconds %.3f\npeak_rss_kb %ld\nsignals %zu\ntimestamps %llu\nruns %llu\n", seconds,
              peak_rss_kb(), t.signal_names().size(), static_cast<unsigned long long>(t.timestamp_count()),
              static_cast<unsigned long long>(runs));
  if (argc < 3 || std::strcmp(argv[2], "--reads") != 0) return 0;
  // Read costs: signal_value by name at random indices.
  std::mt19937_64 rng(5);
  const auto& names = t.signal_names();
  std::vector<std::pair<const std::string*, trelm::Index>> probes;
  for (int i = 0; i < 200000; ++i)
    probes.emplace_back(&names[rng() % names.size()], rng() % (t.max_index() + 1));
  auto read_start = std::chrono::steady_clock::now();
  uint64_t sink = 0;
  for (auto& [name, index] : probes) sink += static_cast<uint64_t>(t.signal_value(*name, index).kind());
  double read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - read_start).count();
  std::printf("signal_value_ns %.0f (%llu)\n", read_seconds / probes.size() * 1e9, static_cast<unsigned long long>(sink));
  return 0;
}
