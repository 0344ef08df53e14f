// FstTrace: a trace loaded from a FST file into the common trace record.
#pragma once

#include <memory>
#include <string>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class FstTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<FstTrace>> from_file(const std::string& path);
};

}  // namespace trelm
