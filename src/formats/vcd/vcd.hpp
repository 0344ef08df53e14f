// VcdTrace: a trace read from Value Change Dump text into the common trace
// record. Every declared name has a width and an id in the record; a name
// declared twice keeps the width and id of its last declaration.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "trace/dump_info.hpp"
#include "trace/record.hpp"
#include "formats/vcd/piece_options.hpp"

namespace trelm {

class VcdTrace final : public RecordTrace {
 public:
  using RecordTrace::RecordTrace;

  // Parses VCD text held in memory. Its one failure is std::bad_alloc, also
  // when scope paths and full names would outgrow the text's NameBudget.
  static std::unique_ptr<VcdTrace> parse(std::string_view text, const VcdPieceOptions& options = {});
  // Streams a file, with the same failure; the one error text is
  // "Failed to open {path}: {os error}".
  static Result<std::unique_ptr<VcdTrace>> from_file(const std::string& path, const VcdPieceOptions& options = {});

  // The front door's loads: read with `load` (see VcdParser), described
  // beside the trace, with progress after each window of text. A
  // gzip-compressed file is read as a stream (`gzip`); a stream that is
  // truncated or corrupt fails with "Failed to read {path}: {reason}".
  static Result<LoadedDump> load_text(std::string_view text, const LoadOptions& load,
                                      const VcdPieceOptions& options = {});
  static Result<LoadedDump> load_file(const std::string& path, const LoadOptions& load, bool gzip = false,
                                      const VcdPieceOptions& options = {});

  // 0 for an unknown name, where the other formats' traces give 1.
  uint64_t signal_width(std::string_view name) const noexcept override;
};

}  // namespace trelm
