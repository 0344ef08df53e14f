// ShmTrace: a trace loaded from a SHM file into the common trace record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class ShmTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<ShmTrace>> from_file(const std::string& path);
  // The same scan over files already in memory: the design file (none when
  // absent) and the transition files in order.
  static Result<std::unique_ptr<ShmTrace>> from_bytes(const std::vector<uint8_t>* design,
                                                      const std::vector<std::vector<uint8_t>>& transitions);
};

}  // namespace trelm
