// TraceRecord: the fields shared by the FST, FSDB, WLF, SHM and VPD traces,
// and RecordTrace, their one implementation of the Trace interface.
#pragma once

#include "base/name_map.hpp"
#include "trace/trace.hpp"

namespace trelm {

struct TraceRecord {
  SignalStore store;
  NameMap<SignalId> name_to_id;
  NameMap<uint64_t> widths;
  std::vector<std::string> signal_names;
  std::vector<std::string> scopes;
  std::vector<uint64_t> timestamps;
};

class RecordTrace : public Trace {
 public:
  explicit RecordTrace(TraceRecord record) noexcept : record_(std::move(record)) {}

  const TraceRecord& record() const noexcept { return record_; }
  // Moves the record out, leaving this trace empty.
  TraceRecord take_record() noexcept { return std::move(record_); }

  const std::vector<std::string>& signal_names() const noexcept override { return record_.signal_names; }
  const std::vector<std::string>& scopes() const noexcept override { return record_.scopes; }
  Index max_index() const noexcept override;
  uint64_t timestamp(Index index) const noexcept override;
  SignalValue signal_value(std::string_view name, Index index) const override;
  // 1 for a name without a recorded width.
  uint64_t signal_width(std::string_view name) const noexcept override;
  std::optional<SignalId> signal_id(std::string_view name) const noexcept override;
  std::vector<SignalValue> signal_values_range(std::string_view name, Index start, Index end) const override;
  SignalValue signal_value_by_id(SignalId id, Index index) const override { return record_.store.get(id, index); }
  const SignalStore& store() const noexcept override { return record_.store; }
  Index timestamp_count() const noexcept override { return record_.timestamps.size(); }

 private:
  TraceRecord record_;
};

}  // namespace trelm
