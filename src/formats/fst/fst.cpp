#include "formats/fst/fst.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/file.hpp"
#include "base/name_budget.hpp"
#include "base/scratch_bytes.hpp"
#include "base/utf8.hpp"
#include "formats/fst/reader.hpp"
#include "formats/fst/block_loader.hpp"
#include "formats/fst/change_writer.hpp"
#include "formats/fst/exact_change.hpp"
#include "formats/fst/var_types.hpp"

namespace trelm {

namespace {

constexpr SignalId kNoSignal = kNoFstSignal;

// Builds names, scopes and the handle -> signal id map from hierarchy entries,
// the text of full names and scope paths within a NameBudget of the file.
// With load options, only the names the filter keeps get a signal, and in
// exact mode names lose their bit ranges (see without_bit_ranges); the
// declarations (kind by the geometry, the type's word) are kept per name.
class HierarchyBuilder {
 public:
  HierarchyBuilder(TraceRecord& record, const std::vector<FstSignalInfo>& geometry, uint64_t file_size,
                   const LoadOptions* options)
      : record_(record),
        geometry_(geometry),
        handle_ids_(geometry.size(), kNoSignal),
        name_budget_(file_size),
        options_(options) {}

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
  std::vector<SignalDeclaration> take_declarations() noexcept { return std::move(declarations_); }

  // The signals whose chunks are to be read: every one, or with a filter
  // those that got an id.
  FstSignalFilter signal_filter() const {
    FstSignalFilter filter;
    if (!options_ || !options_->filters()) return filter;
    filter.include.emplace();
    for (uint32_t index = 0; index < handle_ids_.size(); ++index)
      if (handle_ids_[index] != kNoSignal) filter.include->push_back(FstSignalHandle::from_index(index));
    // Handles beyond the geometry have no chunks.
    return filter;
  }

 private:
  bool charge(uint64_t bytes) {
    if (!name_budget_.take(bytes)) over_budget_ = true;
    return !over_budget_;
  }

  void add_variable(FstVariable& var) {
    if (!charge(path_.size() + 1 + var.name.size())) return;
    if (options_ && options_->exact) var.name = without_bit_ranges(var.name);
    std::string name = scope_lengths_.empty() ? std::move(var.name) : path_ + '.' + var.name;
    if (record_.name_to_id.contains(name)) return;
    if (options_ && !options_->keeps(name)) return;
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
    if (options_) {
      SignalKind kind = SignalKind::Bits;
      if (index < geometry_.size() && geometry_[index].is_real()) kind = SignalKind::Real;
      if (index < geometry_.size() && geometry_[index].is_var_length()) kind = SignalKind::String;
      declarations_.push_back(SignalDeclaration{kind, fst_var_type_name(var.var_type)});
    }
  }

  TraceRecord& record_;
  const std::vector<FstSignalInfo>& geometry_;
  std::string path_;
  std::vector<size_t> scope_lengths_;
  std::unordered_set<std::string> seen_scopes_;
  std::vector<SignalId> handle_ids_;
  std::unordered_map<uint32_t, SignalId> far_handle_ids_;
  SignalId next_id_ = 0;
  NameBudget name_budget_;
  bool over_budget_ = false;
  const LoadOptions* options_;
  std::vector<SignalDeclaration> declarations_;  // with options, one per listed name
};

bool is_four_state_digit(uint8_t c) {
  switch (c) {
    case '-': case 'X': case 'Z': case 'h': case 'l': case 'u': case 'w': case 'x': case 'z': return true;
    default: return false;
  }
}

// Writes one delivered change of the signal `handle` as the literal reading
// or (with `exact`) as the front door reads it.
void write_change(FstChangeWriter& writer, const FstMetaData& meta, SignalId id, uint64_t time, FstSignalHandle handle,
                  const FstChangeValue& value, bool exact) {
  if (!exact) return writer.write(id, time, FstTrace::convert_value(value), value.time_position);
  const uint32_t index = handle.index();
  FstSignalInfo info = index < meta.signals.size() ? meta.signals[index] : FstSignalInfo::from_file_format(1);
  FstExactChange change = exact_fst_change(value, info);
  writer.write(id, time, std::move(change.view), value.time_position, change.kept);
}

enum class BlockWrite { Done, Failed, Stopped };

// Writes every change chunk by chunk (FstBlockLoader), telling the options'
// progress after each block. Failed when the reader or the loader fails,
// leaving the store half written.
BlockWrite write_by_blocks(const FstReader& reader, const HierarchyBuilder& hierarchy, FstChangeWriter& writer,
                           const std::vector<uint64_t>& timestamps, bool use_pool, const LoadOptions* options,
                           uint64_t file_size) {
  const bool exact = options && options->exact;
  writer.prepare_ids(hierarchy.id_count());
  FstBlockLoader loader(writer, timestamps, use_pool, exact);
  std::vector<SignalId> ids;
  const FstMetaData& meta = reader.meta_data();
  auto frame = [&](uint64_t time, FstSignalHandle handle, const FstChangeValue& value) {
    SignalId id = hierarchy.id_of(handle);
    if (id != kNoSignal) write_change(writer, meta, id, time, handle, value, exact);
  };
  size_t blocks = 0;
  bool stopped = false;
  auto block = [&](const FstBlockChunks& chunks) -> FstStatus {
    ids.clear();
    for (const FstSignalChunk& chunk : chunks.chunks)
      ids.push_back(hierarchy.id_of(FstSignalHandle::from_index(chunk.signal)));
    TRELM_TRY(loader.add(chunks, ids));
    // The bytes up to the next block are done.
    ++blocks;
    const uint64_t done = blocks < meta.data_sections.size() ? meta.data_sections[blocks].section_start : file_size;
    if (options && !options->report(std::min(done, file_size), file_size)) {
      stopped = true;
      return fail(ReaderError::malformed(kLoadStopped));
    }
    return {};
  };
  bool read = reader.read_signal_blocks(hierarchy.signal_filter(), frame, block).ok();
  if (stopped) return BlockWrite::Stopped;
  return read && loader.load().ok() ? BlockWrite::Done : BlockWrite::Failed;
}

// A trace and what the front door learns beside it, or the error text.
struct LoadedBytes {
  std::unique_ptr<FstTrace> trace;
  DumpInfo info;
};

Result<LoadedBytes> read_bytes(FileBytes bytes, FstLoadPath path, const LoadOptions* options);

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
    ScratchBytes<128> room(bytes.size());
    uint8_t* codes = room.data();
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

namespace {

Result<LoadedBytes> read_bytes(FileBytes bytes, FstLoadPath path, const LoadOptions* options) {
  const uint64_t file_size = bytes.size();
  const bool exact = options && options->exact;
  if (options && !options->report(0, file_size)) return fail(std::string(kLoadStopped));
  auto opened = FstReader::open(std::move(bytes), true);
  if (!opened.ok()) return fail("FST open: " + opened.error().text());
  // Released before the store is filled forward, so the file's bytes and the
  // store's final growth do not add up.
  std::optional<FstReader> reader_holder(std::move(opened).value());
  FstReader& reader = *reader_holder;

  TraceRecord record;
  HierarchyBuilder hierarchy(record, reader.meta_data().signals, file_size, options);
  auto walked = reader.read_hierarchy([&](FstHierarchyEntry&& entry) { hierarchy(std::move(entry)); });
  if (!walked.ok()) return fail("FST hierarchy: " + walked.error().text());
  if (hierarchy.over_budget())
    return fail("FST hierarchy: " + ReaderError::malformed("full names and scope paths exceed " +
                                                           std::to_string(hierarchy.name_budget()) + " bytes")
                                        .text());
  LoadedBytes loaded;
  if (exact) loaded.info.timescale = timescale_from_exponent(reader.meta_data().header.timescale_exponent);
  loaded.info.declarations = hierarchy.take_declarations();
  if (options && options->filters()) record.scopes = scopes_holding(record.scopes, record.signal_names);

  record.timestamps = reader.take_time_table();
  std::optional<FstChangeWriter> writer(std::in_place, record.store, record.timestamps, exact);
  bool written = false;
  if (path != FstLoadPath::Changes && writer->ascending()) {
    BlockWrite wrote =
        write_by_blocks(reader, hierarchy, *writer, record.timestamps, path == FstLoadPath::Blocks, options, file_size);
    if (wrote == BlockWrite::Stopped) return fail(std::string(kLoadStopped));
    written = wrote == BlockWrite::Done;
    if (!written) {
      // Start over change by change, which reports the error exactly as the
      // reader meets it first.
      writer.reset();
      record.store = SignalStore();
      writer.emplace(record.store, record.timestamps, exact);
    }
  }
  if (!written) {
    const FstMetaData& meta = reader.meta_data();
    auto read = reader.read_signals_per_signal(
        hierarchy.signal_filter(), [&](uint64_t time, FstSignalHandle handle, const FstChangeValue& value) {
          SignalId id = hierarchy.id_of(handle);
          if (id != kNoSignal) write_change(*writer, meta, id, time, handle, value, exact);
        });
    if (!read.ok()) return fail("FST signals: " + read.error().text());
  }
  reader_holder.reset();
  writer->finish();
  // Columns written chunk by chunk gave back their slack on the threads that
  // wrote them (see FstBlockLoader); this finds the rest.
  record.store.shrink_to_fit();
  loaded.trace = std::make_unique<FstTrace>(std::move(record));
  return loaded;
}

// The whole file; a directory opens and then fails to read, which is the
// reader's I/O error. A load of a few signals reads each block's header,
// position table and time table and those signals' chunks, so it maps the
// file and only those pages are read.
Result<FileBytes> read_file(const std::string& path, FileAccess access) {
  auto opened = FileStream::open(path);
  if (!opened.ok()) return fail("Failed to open " + path + ": " + opened.error());
  auto bytes = opened->all_bytes(access);
  if (!bytes.ok()) return fail("FST open: " + ReaderError::io().text());
  return std::move(bytes).value();
}

}  // namespace

Result<std::unique_ptr<FstTrace>> FstTrace::from_bytes(std::vector<uint8_t> bytes, FstLoadPath path) {
  TRELM_ASSIGN(LoadedBytes loaded, read_bytes(FileBytes(std::move(bytes)), path, nullptr));
  return std::move(loaded.trace);
}

Result<std::unique_ptr<FstTrace>> FstTrace::from_file(const std::string& path) {
  TRELM_ASSIGN(FileBytes bytes, read_file(path, FileAccess::Whole));
  TRELM_ASSIGN(LoadedBytes loaded, read_bytes(std::move(bytes), FstLoadPath::Blocks, nullptr));
  return std::move(loaded.trace);
}

Result<LoadedDump> FstTrace::load(const std::string& path, const LoadOptions& options, FstLoadPath load_path) {
  TRELM_ASSIGN(FileBytes bytes, read_file(path, options.filters() ? FileAccess::Scattered : FileAccess::Whole));
  TRELM_ASSIGN(LoadedBytes loaded, read_bytes(std::move(bytes), load_path, &options));
  return LoadedDump{std::move(loaded.trace), std::move(loaded.info)};
}

Result<LoadedDump> FstTrace::load_bytes(std::vector<uint8_t> bytes, const LoadOptions& options,
                                        FstLoadPath load_path) {
  TRELM_ASSIGN(LoadedBytes loaded, read_bytes(FileBytes(std::move(bytes)), load_path, &options));
  return LoadedDump{std::move(loaded.trace), std::move(loaded.info)};
}

}  // namespace trelm
