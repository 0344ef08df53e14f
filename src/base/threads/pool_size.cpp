#include "base/threads/pool_size.hpp"

#include <sched.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/decimal.hpp"

namespace trelm {

std::optional<size_t> parse_thread_count(const char* text) noexcept {
  if (!text) return std::nullopt;
  auto n = parse_unsigned_decimal(text);
  if (!n || *n > SIZE_MAX) return std::nullopt;
  return static_cast<size_t>(*n);
}

size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, size_t cpus) noexcept {
  size_t count = cpus;
  if (auto n = parse_thread_count(num_threads)) {
    if (*n > 0) count = *n;
  } else if (auto m = parse_thread_count(rs_num_cpus); m && *m > 0) {
    count = *m;
  }
  return std::clamp<size_t>(count, 1, kMaxPoolThreads);
}

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

std::optional<int64_t> parse_signed(std::string_view s) {
  s = trim(s);
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  if (s.empty() || s.front() == '+') return std::nullopt;
  auto n = parse_unsigned_decimal(s);
  if (!n || *n > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  return negative ? -static_cast<int64_t>(*n) : static_cast<int64_t>(*n);
}

std::optional<size_t> cpus_from_quota(int64_t quota, int64_t period) {
  if (quota <= 0 || period <= 0) return std::nullopt;
  return std::max<size_t>(1, static_cast<size_t>(quota / period));
}

// Reads a small text file (proc and cgroup files), at most 1 MiB of it.
std::optional<std::string> read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buf[8192];
  while (text.size() < (size_t{1} << 20) && in.read(buf, sizeof buf).gcount() > 0)
    text.append(buf, static_cast<size_t>(in.gcount()));
  return text;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t k = 0; k <= s.size(); ++k) {
    if (k == s.size() || s[k] == sep) {
      parts.push_back(s.substr(start, k - start));
      start = k + 1;
    }
  }
  return parts;
}

size_t affinity_cpus() {
  for (size_t cpus = 1024; cpus <= (size_t{1} << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (!set) return 1;
    size_t bytes = CPU_ALLOC_SIZE(cpus);
    int rc = sched_getaffinity(0, bytes, set);
    int err = errno;
    size_t count = rc == 0 ? static_cast<size_t>(CPU_COUNT_S(bytes, set)) : 0;
    CPU_FREE(set);
    if (rc == 0) return std::max<size_t>(count, 1);
    if (err != EINVAL) break;
  }
  return 1;
}

struct CgroupMount {
  std::string root;   // the path inside the hierarchy that is mounted
  std::string point;  // where it is mounted
};

bool has_item(std::string_view list, std::string_view item) {
  for (auto part : split(list, ',')) if (part == item) return true;
  return false;
}

// The directory of this process's cgroup under a mount, or nothing when the
// cgroup lies outside what is mounted.
std::optional<std::string> cgroup_dir(const CgroupMount& mount, std::string_view path) {
  std::string_view root = mount.root;
  if (root != "/") {
    if (path.substr(0, root.size()) != root) return std::nullopt;
    path.remove_prefix(root.size());
  }
  std::string dir = mount.point;
  if (!path.empty() && path != "/") dir.append(path);
  return dir;
}

// The smallest quota on the way from the process's cgroup up to the mount.
template <class ReadDir>
std::optional<size_t> smallest_up_to(const std::string& dir, const std::string& top, ReadDir&& read_dir) {
  std::optional<size_t> best;
  std::string d = dir;
  for (int guard = 0; guard < 256; ++guard) {
    if (auto n = read_dir(d); n && (!best || *n < *best)) best = n;
    if (d.size() <= top.size()) break;
    size_t slash = d.rfind('/');
    if (slash == std::string::npos || slash < top.size()) break;
    d.resize(slash);
  }
  return best;
}

std::optional<size_t> cgroup_cpus() {
  auto mountinfo = read_text_file("/proc/self/mountinfo");
  auto cgroups = read_text_file("/proc/self/cgroup");
  if (!mountinfo || !cgroups) return std::nullopt;
  std::optional<CgroupMount> v2, v1;
  for (auto line : split(*mountinfo, '\n')) {
    auto fields = split(line, ' ');
    size_t dash = 0;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (fields.size() < 5 || dash + 1 >= fields.size()) continue;
    std::string_view fstype = fields[dash + 1];
    std::string_view options = dash + 3 < fields.size() ? fields[dash + 3] : std::string_view();
    if (fstype == "cgroup2" && !v2) v2 = CgroupMount{std::string(fields[3]), std::string(fields[4])};
    if (fstype == "cgroup" && !v1 && has_item(options, "cpu"))
      v1 = CgroupMount{std::string(fields[3]), std::string(fields[4])};
  }
  std::optional<size_t> best;
  auto take = [&best](std::optional<size_t> n) {
    if (n && (!best || *n < *best)) best = n;
  };
  for (auto line : split(*cgroups, '\n')) {
    auto fields = split(line, ':');
    if (fields.size() < 3) continue;
    std::string_view path = line.substr(fields[0].size() + fields[1].size() + 2);
    if (fields[0] == "0" && fields[1].empty() && v2) {
      if (auto dir = cgroup_dir(*v2, path))
        take(smallest_up_to(*dir, v2->point, [](const std::string& d) -> std::optional<size_t> {
          auto text = read_text_file(d + "/cpu.max");
          return text ? cpus_from_cpu_max(*text) : std::nullopt;
        }));
    } else if (v1 && has_item(fields[1], "cpu")) {
      if (auto dir = cgroup_dir(*v1, path))
        take(smallest_up_to(*dir, v1->point, [](const std::string& d) -> std::optional<size_t> {
          auto quota = read_text_file(d + "/cpu.cfs_quota_us");
          auto period = read_text_file(d + "/cpu.cfs_period_us");
          return quota && period ? cpus_from_cfs(*quota, *period) : std::nullopt;
        }));
    }
  }
  return best;
}

}  // namespace

std::optional<size_t> cpus_from_cpu_max(std::string_view text) noexcept {
  auto parts = split(trim(text), ' ');
  if (parts.size() != 2 || parts[0] == "max") return std::nullopt;
  auto quota = parse_signed(parts[0]);
  auto period = parse_signed(parts[1]);
  if (!quota || !period) return std::nullopt;
  return cpus_from_quota(*quota, *period);
}

std::optional<size_t> cpus_from_cfs(std::string_view quota, std::string_view period) noexcept {
  auto q = parse_signed(quota);
  auto p = parse_signed(period);
  if (!q || !p) return std::nullopt;
  return cpus_from_quota(*q, *p);
}

}  // namespace trelm

namespace trelm {

size_t available_cpus() {
  size_t cpus = affinity_cpus();
  if (auto quota = cgroup_cpus()) cpus = std::min(cpus, *quota);
  return std::max<size_t>(cpus, 1);
}

size_t configured_pool_size() {
  return pool_size_from(std::getenv("RAYON_NUM_THREADS"), std::getenv("RAYON_RS_NUM_CPUS"), available_cpus());
}

}  // namespace trelm
