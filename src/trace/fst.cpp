#include "trace/fst.hpp"

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/file.hpp"
#include "fst_reader/reader.hpp"

namespace trelm {

namespace {

constexpr SignalId kNoSignal = std::numeric_limits<SignalId>::max();

// Builds names, scopes and the handle -> signal id map from hierarchy entries.
class HierarchyBuilder {
 public:
  HierarchyBuilder(TraceRecord& record, size_t handle_count) : record_(record), handle_ids_(handle_count, kNoSignal) {}

  void operator()(FstHierarchyEntry&& entry) {
    if (auto* scope = std::get_if<FstScopeOpen>(&entry)) {
      scope_lengths_.push_back(path_.size());
      if (scope_lengths_.size() > 1) path_ += '.';
      path_ += scope->name;
      if (seen_scopes_.insert(path_).second) record_.scopes.push_back(path_);
    } else if (std::holds_alternative<FstScopeClose>(entry)) {
      if (scope_lengths_.empty()) return;
      path_.resize(scope_lengths_.back());
      scope_lengths_.pop_back();
    } else if (auto* var = std::get_if<FstVariable>(&entry)) {
      add_variable(*var);
    }
  }

  SignalId id_of(FstSignalHandle handle) const {
    uint32_t index = handle.index();
    if (index < handle_ids_.size()) return handle_ids_[index];
    auto it = far_handle_ids_.find(index);
    return it == far_handle_ids_.end() ? kNoSignal : it->second;
  }
  SignalId signal_count() const noexcept { return next_id_; }

 private:
  void add_variable(FstVariable& var) {
    std::string name = scope_lengths_.empty() ? std::move(var.name) : path_ + '.' + var.name;
    if (record_.name_to_id.contains(name)) return;
    uint32_t index = var.handle.index();
    SignalId* slot;
    if (index < handle_ids_.size()) {
      slot = &handle_ids_[index];
    } else {
      slot = &far_handle_ids_.try_emplace(index, kNoSignal).first->second;
    }
    if (*slot == kNoSignal) *slot = next_id_++;
    record_.name_to_id.emplace(name, *slot);
    record_.widths.emplace(name, var.length);
    record_.signal_names.push_back(std::move(name));
  }

  TraceRecord& record_;
  std::string path_;
  std::vector<size_t> scope_lengths_;
  std::unordered_set<std::string> seen_scopes_;
  std::vector<SignalId> handle_ids_;
  std::unordered_map<uint32_t, SignalId> far_handle_ids_;
  SignalId next_id_ = 0;
};

// Writes delivered changes into the store. Changes arrive in ascending time
// within a block and blocks normally follow each other in time, so each
// signal's latest write is held back until a later index arrives: repeated
// writes at one index then replace each other without touching the store,
// and the store sees appends only.
class ChangeWriter {
 public:
  ChangeWriter(SignalStore& store, const std::vector<uint64_t>& timestamps, SignalId signal_count)
      : store_(store), timestamps_(timestamps), pending_(static_cast<size_t>(signal_count)) {}

  void write(SignalId id, uint64_t time, SignalValue value) {
    if (timestamps_.empty()) return;
    Index index = index_of(time);
    Pending& p = pending_[id];
    if (!p.used || index == p.index) {
      p = Pending{index, std::move(value), true};
    } else if (index > p.index) {
      store_.set(id, p.index, std::move(p.value));
      p = Pending{index, std::move(value), true};
    } else {
      store_.set(id, index, std::move(value));  // a block earlier in time than the one before
    }
  }

  void finish() {
    for (size_t id = 0; id < pending_.size(); ++id)
      if (pending_[id].used) store_.set(id, pending_[id].index, std::move(pending_[id].value));
    pending_.clear();
    pending_.shrink_to_fit();
  }

 private:
  struct Pending {
    Index index = 0;
    SignalValue value;
    bool used = false;
  };

  // The last index whose time is not after `time` (0 before the first).
  Index index_of(uint64_t time) {
    if (!cache_valid_ || time != cached_time_) {
      auto it = std::upper_bound(timestamps_.begin(), timestamps_.end(), time);
      cached_index_ = it == timestamps_.begin() ? 0 : static_cast<Index>(it - timestamps_.begin()) - 1;
      cached_time_ = time;
      cache_valid_ = true;
    }
    return cached_index_;
  }

  SignalStore& store_;
  const std::vector<uint64_t>& timestamps_;
  std::vector<Pending> pending_;
  bool cache_valid_ = false;
  uint64_t cached_time_ = 0;
  Index cached_index_ = 0;
};

bool is_four_state_digit(uint8_t c) {
  switch (c) {
    case '-': case 'X': case 'Z': case 'h': case 'l': case 'u': case 'w': case 'x': case 'z': return true;
    default: return false;
  }
}

}  // namespace

SignalValue FstTrace::convert_value(const FstChangeValue& value) {
  if (value.is_real) return SignalValue::from_real(value.real);
  std::span<const uint8_t> bytes = value.bytes;
  if (bytes.empty()) return SignalValue::unknown();
  if (bytes.size() == 1 && (bytes[0] == '0' || bytes[0] == '1')) return SignalValue::from_int(bytes[0] - '0');
  bool four_state = false, other = false;
  for (uint8_t c : bytes) {
    if (is_four_state_digit(c)) {
      four_state = true;
      break;
    }
    if (c != '0' && c != '1') other = true;
  }
  if (four_state) {
    std::vector<uint8_t> codes(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      uint8_t c = bytes[i];
      codes[i] = c == '0' ? 0 : c == '1' ? 1 : (c == 'z' || c == 'Z') ? 3 : 2;
    }
    return SignalValue::logic(codes);
  }
  if (other) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return SignalValue::str(fst_utf8_lossy(text));
  }
  uint64_t bits = 0;
  for (size_t i = bytes.size() > 64 ? bytes.size() - 64 : 0; i < bytes.size(); ++i) bits = (bits << 1) | (bytes[i] - '0');
  return SignalValue::from_int(bits);
}

Result<std::unique_ptr<FstTrace>> FstTrace::from_bytes(std::vector<uint8_t> bytes) {
  auto opened = FstReader::open(std::move(bytes), true);
  if (!opened.ok()) return fail("FST open: " + opened.error().text());
  const FstReader& reader = opened.value();

  TraceRecord record;
  HierarchyBuilder hierarchy(record, reader.meta_data().signals.size());
  auto walked = reader.read_hierarchy([&](FstHierarchyEntry&& entry) { hierarchy(std::move(entry)); });
  if (!walked.ok()) return fail("FST hierarchy: " + walked.error().text());

  record.timestamps = *reader.meta_data().time_table;
  ChangeWriter writer(record.store, record.timestamps, hierarchy.signal_count());
  auto read = reader.read_signals(FstSignalFilter{}, [&](uint64_t time, FstSignalHandle handle,
                                                        const FstChangeValue& value) {
    SignalId id = hierarchy.id_of(handle);
    if (id != kNoSignal) writer.write(id, time, convert_value(value));
  });
  if (!read.ok()) return fail("FST signals: " + read.error().text());
  writer.finish();
  record.store.forward_fill_through(record.timestamps.size());
  record.store.shrink_to_fit();
  return std::make_unique<FstTrace>(std::move(record));
}

Result<std::unique_ptr<FstTrace>> FstTrace::from_file(const std::string& path) {
  auto bytes = read_whole_file(path);
  if (!bytes.ok()) return fail("Failed to open " + path + ": " + bytes.error());
  return from_bytes(std::move(bytes).value());
}

}  // namespace trelm
