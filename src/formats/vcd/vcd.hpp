// VcdTrace: a trace read from Value Change Dump text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/name_map.hpp"
#include "base/result.hpp"
#include "trace/trace.hpp"
#include "formats/vcd/piece_options.hpp"

namespace trelm {

class VcdTrace final : public Trace {
 public:
  struct Variable {
    uint32_t width;
    SignalId id;
  };

  // Parses VCD text held in memory; never fails.
  static std::unique_ptr<VcdTrace> parse(std::string_view text, const VcdPieceOptions& options = {});
  // Streams a file; the one error is "Failed to open {path}: {os error}".
  static Result<std::unique_ptr<VcdTrace>> from_file(const std::string& path, const VcdPieceOptions& options = {});

  const std::vector<std::string>& signal_names() const noexcept override { return signal_names_; }
  const std::vector<std::string>& scopes() const noexcept override { return scopes_; }
  Index max_index() const noexcept override { return timestamps_.empty() ? 0 : timestamps_.size() - 1; }
  uint64_t timestamp(Index index) const noexcept override {
    return index < timestamps_.size() ? timestamps_[index] : 0;
  }
  SignalValue signal_value(std::string_view name, Index index) const override;
  // 0 for an unknown name.
  uint64_t signal_width(std::string_view name) const noexcept override;
  std::optional<SignalId> signal_id(std::string_view name) const noexcept override;
  std::vector<SignalValue> signal_values_range(std::string_view name, Index start, Index end) const override;
  SignalValue signal_value_by_id(SignalId id, Index index) const override { return store_.get(id, index); }
  const SignalStore& store() const noexcept override { return store_; }
  Index timestamp_count() const noexcept override { return timestamps_.size(); }

 private:
  friend class VcdParser;
  VcdTrace() = default;

  NameMap<Variable> vars_;
  SignalStore store_;
  std::vector<std::string> signal_names_;
  std::vector<std::string> scopes_;
  std::vector<uint64_t> timestamps_;
};

}  // namespace trelm
