// FstTrace: a trace loaded from a FST file into the common trace record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "trace/dump_info.hpp"
#include "trace/record.hpp"

namespace trelm {

struct FstChangeValue;

// How from_bytes writes the changes into the store; every path gives the
// same trace. Blocks writes each block's chunks signal by signal on the
// worker pool (on a time table that ascends, as every writer's does; others
// go change by change), BlocksOnCaller the same on the calling thread, and
// Changes writes change by change in the reader's delivery order.
enum class FstLoadPath : uint8_t { Blocks, BlocksOnCaller, Changes };

class FstTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;
  // The finished trace, or the error text for the user.
  static Result<std::unique_ptr<FstTrace>> from_file(const std::string& path);
  // The same from the bytes of a whole file.
  static Result<std::unique_ptr<FstTrace>> from_bytes(std::vector<uint8_t> bytes,
                                                      FstLoadPath path = FstLoadPath::Blocks);
  // The front door's load: only the kept signals' names and chunks are read
  // (the filter of `options`), in exact mode with names without converter
  // bit ranges, values as exact_change.hpp reads them, and the header's time
  // unit; progress after each value-change block. The file is mapped where
  // it can be (as from_file does), so that with a filter only the pages of
  // the blocks' headers and tables and of the kept chunks are read.
  static Result<LoadedDump> load(const std::string& path, const LoadOptions& options,
                                 FstLoadPath load_path = FstLoadPath::Blocks);
  // The same from the bytes of a whole file.
  static Result<LoadedDump> load_bytes(std::vector<uint8_t> bytes, const LoadOptions& options,
                                       FstLoadPath load_path = FstLoadPath::Blocks);
  // One delivered change as a SignalValue: Real, Unknown (empty), Logic (any
  // four-state digit), Str (other digits) or Int (only 0 and 1).
  static SignalValue convert_value(const FstChangeValue& value);
};

}  // namespace trelm
