// VpdTrace: a trace loaded from a VPD file into the common trace record.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class VpdTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<VpdTrace>> from_file(const std::string& path);
  // The same scan over a file's bytes already in memory.
  static Result<std::unique_ptr<VpdTrace>> from_bytes(std::span<const uint8_t> bytes);
};

}  // namespace trelm
