// FstTrace: a trace loaded from a FST file into the common trace record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "trace/record.hpp"

namespace trelm {

struct FstChangeValue;

class FstTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<FstTrace>> from_file(const std::string& path);
  // The same from the bytes of a whole file.
  static Result<std::unique_ptr<FstTrace>> from_bytes(std::vector<uint8_t> bytes);
  // One delivered change as a SignalValue: Real, Unknown (empty), Logic (any
  // four-state digit), Str (other digits) or Int (only 0 and 1).
  static SignalValue convert_value(const FstChangeValue& value);
};

}  // namespace trelm
