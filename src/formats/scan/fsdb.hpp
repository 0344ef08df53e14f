// FsdbTrace: a trace loaded from a FSDB file into the common trace record.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class FsdbTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<FsdbTrace>> from_file(const std::string& path);
  // The same scan over a file's bytes already in memory.
  static Result<std::unique_ptr<FsdbTrace>> from_bytes(std::span<const uint8_t> bytes);
};

}  // namespace trelm
