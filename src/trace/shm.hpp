// ShmTrace: a trace loaded from a SHM file into the common trace record.
#pragma once

#include <memory>
#include <string>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class ShmTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<ShmTrace>> from_file(const std::string& path);
};

}  // namespace trelm
