// ProgressSink: where a loader reports how far it has come.
#pragma once

#include <cstdint>

namespace trelm {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // `done` of `total` input bytes are read. Called on the loading thread,
  // often (implementations keep it cheap, and throttle what they pass on).
  // false asks the loader to stop: it then fails with kLoadStopped.
  virtual bool advance(uint64_t done, uint64_t total) = 0;
};

// The error text of a load that its progress sink stopped.
inline constexpr const char* kLoadStopped = "load stopped by its progress callback";

}  // namespace trelm
