// Trace: the read-only interface of a loaded dump. Traces are immutable once
// built and are shared by std::shared_ptr<const Trace>; every operation is a
// pure read, safe from any number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "signal/store.hpp"

namespace trelm {

// Data a layer above derives from a trace on first use and keeps with it
// (the change index of the query engine), which is sound because a trace
// never changes once built. The slot holds it type-erased, so this layer
// knows nothing of what is kept. A copied, moved or assigned trace starts
// without.
struct TraceQueryCache {
  TraceQueryCache() = default;
  TraceQueryCache(const TraceQueryCache&) noexcept {}
  TraceQueryCache& operator=(const TraceQueryCache&) noexcept {
    std::lock_guard<std::mutex> lock(mutex);
    built = false;
    derived.reset();
    return *this;
  }

  std::mutex mutex;
  bool built = false;
  std::shared_ptr<const void> derived;
};

class Trace {
 public:
  virtual ~Trace() = default;

  virtual const std::vector<std::string>& signal_names() const noexcept = 0;
  virtual const std::vector<std::string>& scopes() const noexcept = 0;
  // Number of time stamps minus 1; 0 when there are none.
  virtual Index max_index() const noexcept = 0;
  // 0 past the end.
  virtual uint64_t timestamp(Index index) const noexcept = 0;
  virtual SignalValue signal_value(std::string_view name, Index index) const = 0;
  virtual uint64_t signal_width(std::string_view name) const noexcept = 0;
  virtual std::optional<SignalId> signal_id(std::string_view name) const noexcept = 0;
  virtual std::vector<SignalValue> signal_values_range(std::string_view name, Index start, Index end) const = 0;
  virtual SignalValue signal_value_by_id(SignalId id, Index index) const = 0;

  // The store behind signal_value_by_id, for scans that read through cursors.
  virtual const SignalStore& store() const noexcept = 0;
  // Number of time stamps (max_index() + 1, or 0 for none).
  virtual Index timestamp_count() const noexcept = 0;

  TraceQueryCache& query_cache() const noexcept { return query_cache_; }

 private:
  mutable TraceQueryCache query_cache_;
};

}  // namespace trelm
