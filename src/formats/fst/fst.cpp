#include "formats/fst/fst.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/file.hpp"
#include "base/name_budget.hpp"
#include "base/utf8.hpp"
#include "formats/fst/reader.hpp"
#include "formats/fst/block_loader.hpp"
#include "formats/fst/change_writer.hpp"

namespace trelm {

namespace {

constexpr SignalId kNoSignal = kNoFstSignal;

// Builds names, scopes and the handle -> signal id map from hierarchy entries,
// the text of full names and scope paths within a NameBudget of the file.
class HierarchyBuilder {
 public:
  HierarchyBuilder(TraceRecord& record, size_t handle_count, uint64_t file_size)
      : record_(record), handle_ids_(handle_count, kNoSignal), name_budget_(file_size) {}

  void operator()(FstHierarchyEntry&& entry) {
    if (over_budget_) return;
    if (auto* scope = std::get_if<FstScopeOpen>(&entry)) {
      scope_lengths_.push_back(path_.size());
      if (scope_lengths_.size() > 1) path_ += '.';
      path_ += scope->name;
      if (!charge(2 * path_.size())) return;
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
  // Every id handed out is below this.
  SignalId id_count() const noexcept { return next_id_; }
  bool over_budget() const noexcept { return over_budget_; }
  uint64_t name_budget() const noexcept { return name_budget_.limit(); }

 private:
  bool charge(uint64_t bytes) {
    if (!name_budget_.take(bytes)) over_budget_ = true;
    return !over_budget_;
  }

  void add_variable(FstVariable& var) {
    if (!charge(path_.size() + 1 + var.name.size())) return;
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
  NameBudget name_budget_;
  bool over_budget_ = false;
};

bool is_four_state_digit(uint8_t c) {
  switch (c) {
    case '-': case 'X': case 'Z': case 'h': case 'l': case 'u': case 'w': case 'x': case 'z': return true;
    default: return false;
  }
}

// Writes every change chunk by chunk (FstBlockLoader); false when the
// reader or the loader fails, leaving the store half written.
bool write_by_blocks(const FstReader& reader, const HierarchyBuilder& hierarchy, FstChangeWriter& writer,
                     const std::vector<uint64_t>& timestamps, bool use_pool) {
  writer.prepare_ids(hierarchy.id_count());
  FstBlockLoader loader(writer, timestamps, use_pool);
  std::vector<SignalId> ids;
  auto frame = [&](uint64_t time, FstSignalHandle handle, const FstChangeValue& value) {
    SignalId id = hierarchy.id_of(handle);
    if (id != kNoSignal) writer.write(id, time, FstTrace::convert_value(value), value.time_position);
  };
  auto block = [&](const FstBlockChunks& chunks) {
    ids.clear();
    for (const FstSignalChunk& chunk : chunks.chunks)
      ids.push_back(hierarchy.id_of(FstSignalHandle::from_index(chunk.signal)));
    return loader.add(chunks, ids);
  };
  return reader.read_signal_blocks(FstSignalFilter{}, frame, block).ok() && loader.load().ok();
}

}  // namespace

SignalValue FstTrace::convert_value(const FstChangeValue& value) {
  if (value.is_real) return SignalValue::from_real(value.real);
  if (value.has_int) return SignalValue::from_int(value.int_value);
  std::span<const uint8_t> bytes = value.bytes;
  if (bytes.empty()) return SignalValue::unknown();
  bool four_state = false, other = false;
  for (uint8_t c : bytes) {
    if (is_four_state_digit(c)) {
      four_state = true;
      break;
    }
    if (c != '0' && c != '1') other = true;
  }
  if (four_state) {
    uint8_t small[128];
    std::vector<uint8_t> large;
    uint8_t* codes = small;
    if (bytes.size() > sizeof small) {
      large.resize(bytes.size());
      codes = large.data();
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
      uint8_t c = bytes[i];
      codes[i] = c == '0' ? 0 : c == '1' ? 1 : (c == 'z' || c == 'Z') ? 3 : 2;
    }
    return SignalValue::logic(std::span<const uint8_t>(codes, bytes.size()));
  }
  if (other) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return SignalValue::str(utf8_lossy(text));
  }
  uint64_t bits = 0;
  for (size_t i = bytes.size() > 64 ? bytes.size() - 64 : 0; i < bytes.size(); ++i) bits = (bits << 1) | (bytes[i] - '0');
  return SignalValue::from_int(bits);
}

Result<std::unique_ptr<FstTrace>> FstTrace::from_bytes(std::vector<uint8_t> bytes, FstLoadPath path) {
  uint64_t file_size = bytes.size();
  auto opened = FstReader::open(std::move(bytes), true);
  if (!opened.ok()) return fail("FST open: " + opened.error().text());
  // Released before the store is filled forward, so the file's bytes and the
  // store's final growth do not add up.
  std::optional<FstReader> reader_holder(std::move(opened).value());
  FstReader& reader = *reader_holder;

  TraceRecord record;
  HierarchyBuilder hierarchy(record, reader.meta_data().signals.size(), file_size);
  auto walked = reader.read_hierarchy([&](FstHierarchyEntry&& entry) { hierarchy(std::move(entry)); });
  if (!walked.ok()) return fail("FST hierarchy: " + walked.error().text());
  if (hierarchy.over_budget())
    return fail("FST hierarchy: " + ReaderError::malformed("full names and scope paths exceed " +
                                                           std::to_string(hierarchy.name_budget()) + " bytes")
                                        .text());

  record.timestamps = reader.take_time_table();
  std::optional<FstChangeWriter> writer(std::in_place, record.store, record.timestamps);
  bool written = false;
  if (path != FstLoadPath::Changes && writer->ascending()) {
    written = write_by_blocks(reader, hierarchy, *writer, record.timestamps, path == FstLoadPath::Blocks);
    if (!written) {
      // Start over change by change, which reports the error exactly as the
      // reader meets it first.
      writer.reset();
      record.store = SignalStore();
      writer.emplace(record.store, record.timestamps);
    }
  }
  if (!written) {
    auto read = reader.read_signals_per_signal(FstSignalFilter{}, [&](uint64_t time, FstSignalHandle handle,
                                                                      const FstChangeValue& value) {
      SignalId id = hierarchy.id_of(handle);
      if (id != kNoSignal) writer->write(id, time, convert_value(value), value.time_position);
    });
    if (!read.ok()) return fail("FST signals: " + read.error().text());
  }
  reader_holder.reset();
  writer->finish();
  // Columns written chunk by chunk gave back their slack on the threads that
  // wrote them (see FstBlockLoader); this finds the rest.
  record.store.shrink_to_fit();
  return std::make_unique<FstTrace>(std::move(record));
}

Result<std::unique_ptr<FstTrace>> FstTrace::from_file(const std::string& path) {
  auto opened = FileStream::open(path);
  if (!opened.ok()) return fail("Failed to open " + path + ": " + opened.error());
  // A directory opens and then fails to read: that is the reader's I/O error.
  auto bytes = opened->read_all();
  if (!bytes.ok()) return fail("FST open: " + ReaderError::io().text());
  return from_bytes(std::move(bytes).value());
}

}  // namespace trelm
