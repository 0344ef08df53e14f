// How many threads the pool's jobs run on, the caller included: the CPUs
// available to the process (the affinity mask, limited by a cgroup v2 cpu.max
// or v1 CFS quota), unless RAYON_NUM_THREADS or RAYON_RS_NUM_CPUS names a
// count.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace trelm {

inline constexpr size_t kMaxPoolThreads = 1024;

// A thread count as the environment gives it: an optional '+' and decimal
// digits only; nothing for anything else (overflow included).
std::optional<size_t> parse_thread_count(const char* text) noexcept;

// The pool size from the two variables (either may be null) and the CPU count,
// capped at kMaxPoolThreads.
size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, size_t cpus) noexcept;

// CPUs allowed by a cgroup v2 cpu.max text ("max 100000" or "quota period").
std::optional<size_t> cpus_from_cpu_max(std::string_view text) noexcept;
// CPUs allowed by a v1 quota and period (quota -1 means none).
std::optional<size_t> cpus_from_cfs(std::string_view quota, std::string_view period) noexcept;

// The number of CPUs this process may use, at least 1.
size_t available_cpus();

// pool_size_from with the process environment and available_cpus().
size_t configured_pool_size();

}  // namespace trelm
