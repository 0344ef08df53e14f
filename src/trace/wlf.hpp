// WlfTrace: a trace loaded from a WLF file into the common trace record.
#pragma once

#include <memory>
#include <string>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

class WlfTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<WlfTrace>> from_file(const std::string& path);
};

}  // namespace trelm
