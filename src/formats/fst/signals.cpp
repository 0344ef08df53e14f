#include "formats/fst/signals.hpp"

#include <cstring>
#include <optional>
#include <string>

#include "formats/fst/change_entry.hpp"
#include "formats/fst/codecs.hpp"
#include "formats/fst/fastlz.hpp"

namespace trelm {

namespace {

constexpr uint32_t kNoTrack = UINT32_MAX;

// One bit per signal index: which signals the caller asked for.
class BitMask {
 public:
  static BitMask repeat(bool value, uint64_t count) {
    BitMask mask;
    mask.words_.assign(static_cast<size_t>((count + 63) / 64), value ? ~uint64_t{0} : 0);
    return mask;
  }
  void set(uint64_t index, bool value) {
    uint64_t bit = uint64_t{1} << (index % 64);
    if (value) words_[index / 64] |= bit;
    else words_[index / 64] &= ~bit;
  }
  bool is_set(uint64_t index) const { return (words_[index / 64] >> (index % 64)) & 1; }

 private:
  std::vector<uint64_t> words_;
};

// The chunk being delivered for one signal of a block.
struct Track {
  std::span<const uint8_t> data;
  size_t pos = 0;
  FstSignalInfo info = FstSignalInfo::from_file_format(1);
  uint32_t signal = 0;
  uint32_t next = kNoTrack;  // the next track scheduled in the same time slot
};

struct BlockContext {
  std::span<const uint8_t> file;
  const FstMetaData& meta;
  const BitMask& mask;
  uint64_t end;
  const FstChangeCallback& callback;
};

FstStatus deliver_frame(const BlockContext& ctx, std::span<const uint8_t> frame, uint64_t time) {
  FstCursor in(frame);
  FstChangeValue value;
  for (size_t index = 0; index < ctx.meta.signals.size(); ++index) {
    FstSignalInfo info = ctx.meta.signals[index];
    if (info.is_var_length()) continue;
    TRELM_ASSIGN(auto bytes, read_bytes(in, info.length()));
    if (!ctx.mask.is_set(index)) continue;
    if (info.is_real()) {
      value.is_real = true;
      value.real = fst_real_from_bytes(bytes, ctx.meta.float_byte_order);
      value.bytes = {};
    } else {
      value.is_real = false;
      value.bytes = bytes;
    }
    ctx.callback(time, FstSignalHandle::from_index(static_cast<uint32_t>(index)), value);
  }
  return {};
}

// A value-change block after its frame: the time table, where the chunks lie
// and how they are packed.
struct BlockLayout {
  std::vector<uint64_t> times;
  uint64_t time_table_offset = kNoTimePosition;  // of times[0], when a table was collected
  uint64_t pack_position = 0;
  uint8_t pack_type = 0;
  uint64_t data_size = 0;  // from the pack-type byte to the position table
  FstSignalLocs locs;
};

// Reads a block's fixed fields, delivers its frame when it is due, and
// decodes its position table.
FstResult<BlockLayout> prepare_block(const BlockContext& ctx, const FstDataSection& section, bool first_block) {
  FstCursor in(ctx.file);
  TRELM_TRY(seek_to(in, section.section_start));
  TRELM_ASSIGN(uint64_t length, read_u64(in));
  TRELM_TRY(checked_block_end(in, section.section_start, length, 32, "value-change"));
  TRELM_ASSIGN(uint64_t start_time, read_u64(in));
  TRELM_ASSIGN(uint64_t end_time, read_u64(in));
  if (start_time != section.start_time || end_time != section.end_time)
    return fail_malformed("value-change block times differ from those read at open");
  TRELM_ASSIGN(FstTimeTable table, read_time_table(in, section.section_start, length));
  BlockLayout layout;
  layout.times = std::move(table.times);
  const std::vector<uint64_t>& times = layout.times;

  // Frame: the values at the block's start time.
  TRELM_TRY(seek_to(in, section.section_start + 32));
  TRELM_ASSIGN(FstVarint frame_uncompressed, read_variant_u64(in));
  TRELM_ASSIGN(FstVarint frame_compressed, read_variant_u64(in));
  TRELM_ASSIGN(FstVarint frame_count, read_variant_u64(in));
  if (frame_compressed.value > length) return fail_malformed("frame longer than its block");
  if (frame_count.value != ctx.meta.signals.size())
    return fail_malformed("frame holds " + std::to_string(frame_count.value) + " signals, geometry " +
                          std::to_string(ctx.meta.signals.size()));
  if (first_block && (times.empty() || start_time < times.front())) {
    TRELM_ASSIGN(auto frame, read_zlib_compressed_bytes(in, frame_uncompressed.value, frame_compressed.value));
    TRELM_TRY(deliver_frame(ctx, frame, start_time));
  } else {
    TRELM_TRY(skip_bytes(in, frame_compressed.value));
  }

  // Waves: the chunks, then the position table in front of the time table.
  TRELM_ASSIGN(FstVarint wave_count, read_variant_u64(in));
  uint64_t pack_position = in.position();
  TRELM_ASSIGN(uint8_t pack_type, read_u8(in));
  if (wave_count.value > ctx.meta.signals.size())
    return fail_malformed("waves of " + std::to_string(wave_count.value) + " signals exceed the geometry");
  uint64_t block_end = section.section_start + length;
  if (length < table.section_size + 8 || block_end - table.section_size - 8 < in.position())
    return fail_malformed("no room for the position table");
  uint64_t length_position = block_end - table.section_size - 8;
  TRELM_TRY(seek_to(in, length_position));
  TRELM_ASSIGN(uint64_t table_length, read_u64(in));
  if (table_length > length_position - (pack_position + 1))
    return fail_malformed("position table longer than its block");
  uint64_t table_start = length_position - table_length;
  uint64_t data_size = table_start - pack_position;
  TRELM_ASSIGN(layout.locs, read_signal_locs(ctx.file.subspan(table_start, table_length), section.kind,
                                             wave_count.value, data_size));
  layout.time_table_offset = section.time_table_offset;
  layout.pack_position = pack_position;
  layout.pack_type = pack_type;
  layout.data_size = data_size;
  return layout;
}

uint64_t position_of(const BlockLayout& layout, size_t slot) {
  return layout.time_table_offset == kNoTimePosition ? kNoTimePosition : layout.time_table_offset + slot;
}

// The position in the table of the entry whose chunk the entry at `at`
// carries: its own, or its alias target's.
FstResult<size_t> chunk_source(const FstSignalLocs& locs, size_t at) {
  const FstSignalLocs::Entry& entry = locs.entries()[at];
  if (entry.loc.kind != FstSignalLoc::Alias) return at;
  size_t source = locs.find(entry.loc.target);
  if (source == locs.entries().size() || locs.entries()[source].loc.kind != FstSignalLoc::Data)
    return fail_malformed("alias of signal " + std::to_string(entry.index) + " does not name a signal with data");
  return source;
}

// The stored chunk of the data entry at `source`.
FstResult<std::span<const uint8_t>> stored_chunk(const BlockContext& ctx, const BlockLayout& layout, size_t source) {
  const FstSignalLoc& loc = layout.locs.entries()[source].loc;
  if (!range_fits(loc.offset, loc.length, layout.data_size)) return fail_malformed("signal chunk outside its block");
  return ctx.file.subspan(layout.pack_position + loc.offset, loc.length);
}

// The slots of a block whose changes are delivered: up to the first time
// after the filter's end.
size_t delivered_slots(const BlockContext& ctx, const std::vector<uint64_t>& times) {
  size_t stop_slot = 0;
  while (stop_slot < times.size() && times[stop_slot] <= ctx.end) ++stop_slot;
  return stop_slot;
}

// Unpacks each selected chunk once (aliases share their target's), keeping
// unpacked bytes alive in `unpacked`, and hands every non-empty chunk with its
// signal's info and first time step to `take`.
template <class Take>
FstStatus for_each_selected_chunk(const BlockContext& ctx, const BlockLayout& layout,
                                  std::vector<std::vector<uint8_t>>& unpacked, Take take) {
  const std::vector<FstSignalLocs::Entry>& entries = layout.locs.entries();
  size_t slot_count = std::max<size_t>(layout.times.size(), 1);
  // The unpacked bytes by the entry whose chunk they are, so that a chunk
  // with many aliases is unpacked (and held) once, not once per alias.
  std::vector<std::optional<std::span<const uint8_t>>> by_source(entries.size());
  for (size_t at = 0; at < entries.size(); ++at) {
    const size_t index = static_cast<size_t>(entries[at].index);
    if (!ctx.mask.is_set(index)) continue;
    TRELM_ASSIGN(size_t source, chunk_source(layout.locs, at));
    if (!by_source[source]) {
      TRELM_ASSIGN(auto stored, stored_chunk(ctx, layout, source));
      std::vector<uint8_t> storage;
      TRELM_ASSIGN(auto bytes, read_packed_signal_value_bytes(stored, layout.pack_type, storage));
      // Moving the vector keeps its buffer, so `bytes` stays valid.
      if (!storage.empty()) unpacked.push_back(std::move(storage));
      by_source[source] = bytes;
    }
    std::span<const uint8_t> data = *by_source[source];
    if (data.empty()) continue;
    FstSignalInfo info = ctx.meta.signals[index];
    uint64_t step = 0;
    if (EntryStatus status = peek_time_step(data, 0, info, step); status != EntryStatus::Ok)
      return fail(entry_error(status));
    if (step >= slot_count) return fail_malformed("a change lies beyond its block's time table");
    take(index, data, info, step);
  }
  return {};
}

// Delivers a block's changes in ascending time; within a time slot, the
// signal scheduled last comes first.
FstStatus deliver_in_time_order(const BlockContext& ctx, const BlockLayout& layout) {
  const std::vector<uint64_t>& times = layout.times;

  // Unpack each selected chunk once (aliases share their target's) and
  // schedule its first change.
  size_t slot_count = std::max<size_t>(times.size(), 1);
  std::vector<uint32_t> head(slot_count, kNoTrack);
  std::vector<Track> tracks;
  std::vector<std::vector<uint8_t>> unpacked;
  TRELM_TRY(for_each_selected_chunk(
      ctx, layout, unpacked, [&](size_t index, std::span<const uint8_t> data, FstSignalInfo info, uint64_t step) {
        Track track;
        track.data = data;
        track.info = info;
        track.signal = static_cast<uint32_t>(index);
        track.next = head[step];
        head[step] = static_cast<uint32_t>(tracks.size());
        tracks.push_back(track);
      }));

  // Deliver in ascending time; within a slot, last scheduled first.
  std::vector<uint8_t> scratch;
  FstChangeValue value;
  for (size_t slot = 0; slot < times.size(); ++slot) {
    uint64_t time = times[slot];
    if (time > ctx.end) break;
    while (head[slot] != kNoTrack) {
      uint32_t k = head[slot];
      Track& track = tracks[k];
      head[slot] = track.next;
      EntryStatus status = decode_entry(track.data, track.pos, track.info, ctx.meta.float_byte_order, scratch, value);
      if (status != EntryStatus::Ok) return fail(entry_error(status));
      value.time_position = position_of(layout, slot);
      ctx.callback(time, FstSignalHandle::from_index(track.signal), value);
      if (track.pos >= track.data.size()) continue;
      uint64_t step = 0;
      status = peek_time_step(track.data, track.pos, track.info, step);
      if (status != EntryStatus::Ok) return fail(entry_error(status));
      if (step >= slot_count - slot) return fail_malformed("a change lies beyond its block's time table");
      size_t next_slot = slot + static_cast<size_t>(step);
      track.next = head[next_slot];
      head[next_slot] = k;
    }
  }
  return {};
}


// Delivers a block's changes in windows of time slots, and within a window
// signal by signal: each signal sees the same changes in the same order as
// from deliver_in_time_order, while both the time table and each signal's
// destination are read in runs instead of hopping between them at every
// change. Its first error may differ from the one the time order meets
// first, so callers that report errors take them from the time order.
FstStatus deliver_in_windows(const BlockContext& ctx, const BlockLayout& layout) {
  constexpr size_t kWindowSlots = 8192;
  const std::vector<uint64_t>& times = layout.times;
  size_t slot_count = std::max<size_t>(times.size(), 1);
  // The time order stops the whole block at the first slot after `end`.
  size_t stop_slot = delivered_slots(ctx, times);

  struct WindowTrack {
    std::span<const uint8_t> data;
    size_t pos;
    size_t slot;
    FstSignalInfo info;
    uint32_t signal;
  };
  std::vector<WindowTrack> active;
  std::vector<std::vector<uint8_t>> unpacked;
  TRELM_TRY(for_each_selected_chunk(
      ctx, layout, unpacked, [&](size_t index, std::span<const uint8_t> data, FstSignalInfo info, uint64_t step) {
        active.push_back(WindowTrack{data, 0, static_cast<size_t>(step), info, static_cast<uint32_t>(index)});
      }));

  std::vector<uint8_t> scratch;
  FstChangeValue value;
  for (size_t window_start = 0; window_start < stop_slot && !active.empty(); window_start += kWindowSlots) {
    size_t window_end = std::min(stop_slot, window_start + kWindowSlots);
    size_t kept = 0;
    for (WindowTrack& track : active) {
      bool done = false;
      FstSignalHandle handle = FstSignalHandle::from_index(track.signal);
      while (track.slot < window_end) {
        EntryStatus status = decode_entry(track.data, track.pos, track.info, ctx.meta.float_byte_order, scratch, value);
        if (status != EntryStatus::Ok) return fail(entry_error(status));
        value.time_position = position_of(layout, track.slot);
        ctx.callback(times[track.slot], handle, value);
        if (track.pos >= track.data.size()) {
          done = true;
          break;
        }
        uint64_t step = 0;
        status = peek_time_step(track.data, track.pos, track.info, step);
        if (status != EntryStatus::Ok) return fail(entry_error(status));
        if (step >= slot_count - track.slot) return fail_malformed("a change lies beyond its block's time table");
        track.slot += static_cast<size_t>(step);
      }
      if (!done) active[kept++] = track;
    }
    active.erase(active.begin() + static_cast<std::ptrdiff_t>(kept), active.end());
  }
  return {};
}

// The chunks of the selected signals that have data, for read_signal_blocks.
FstStatus hand_out_chunks(const BlockContext& ctx, const BlockLayout& layout, const FstBlockCallback& block) {
  FstBlockChunks chunks;
  chunks.times = layout.times;
  chunks.time_table_offset = layout.time_table_offset;
  chunks.stop_slot = delivered_slots(ctx, layout.times);
  chunks.pack_type = layout.pack_type;
  chunks.float_order = ctx.meta.float_byte_order;
  const std::vector<FstSignalLocs::Entry>& entries = layout.locs.entries();
  for (size_t at = 0; at < entries.size(); ++at) {
    const size_t index = static_cast<size_t>(entries[at].index);
    if (!ctx.mask.is_set(index)) continue;
    TRELM_ASSIGN(size_t source, chunk_source(layout.locs, at));
    TRELM_ASSIGN(auto stored, stored_chunk(ctx, layout, source));
    chunks.chunks.push_back(FstSignalChunk{static_cast<uint32_t>(index), ctx.meta.signals[index], stored});
  }
  return block(chunks);
}

FstStatus read_block(const BlockContext& ctx, const FstDataSection& section, bool first_block, bool per_signal) {
  TRELM_ASSIGN(BlockLayout layout, prepare_block(ctx, section, first_block));
  if (!per_signal) return deliver_in_time_order(ctx, layout);
  FstStatus status = deliver_in_windows(ctx, layout);
  if (status.ok()) return status;
  FstChangeCallback ignore = [](uint64_t, FstSignalHandle, const FstChangeValue&) {};
  BlockContext quiet{ctx.file, ctx.meta, ctx.mask, ctx.end, ignore};
  FstStatus in_time_order = deliver_in_time_order(quiet, layout);
  return in_time_order.ok() ? status : in_time_order;
}

}  // namespace

double fst_real_from_bytes(std::span<const uint8_t> bytes, FstFloatOrder order) noexcept {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < bytes.size(); ++i) {
    size_t at = order == FstFloatOrder::Big ? i : 7 - i;
    bits = (bits << 8) | bytes[at];
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

size_t FstSignalLocs::find(uint64_t index) const noexcept {
  auto at = std::lower_bound(entries_.begin(), entries_.end(), index,
                             [](const Entry& entry, uint64_t wanted) { return entry.index < wanted; });
  return at != entries_.end() && at->index == index ? static_cast<size_t>(at - entries_.begin()) : entries_.size();
}

FstResult<FstSignalLocs> read_signal_locs(std::span<const uint8_t> table, uint8_t block_kind, uint64_t signal_count,
                                          uint64_t data_size) {
  FstSignalLocs locs(signal_count);
  std::vector<FstSignalLocs::Entry>& entries = locs.entries_;
  FstCursor in(table);
  uint64_t index = 0;
  bool have_data = false;
  size_t previous = 0;  // entry of the previous data signal
  auto add_data = [&](uint64_t delta) -> FstStatus {
    if (index >= signal_count) return fail_malformed("position table names a signal beyond the waves");
    uint64_t offset = delta;
    if (have_data) {
      auto sum = checked_add(entries[previous].loc.offset, delta);
      if (!sum) return fail_malformed("position table offset overflows");
      offset = *sum;
      entries[previous].loc.length = delta;
    }
    previous = entries.size();
    entries.push_back({index++, FstSignalLoc{FstSignalLoc::Data, offset, 0, 0}});
    have_data = true;
    return {};
  };
  auto add_alias = [&](uint64_t target) -> FstStatus {
    if (index >= signal_count) return fail_malformed("position table names a signal beyond the waves");
    entries.push_back({index++, FstSignalLoc{FstSignalLoc::Alias, 0, 0, target}});
    return {};
  };
  // Runs of signals without data; the sum cannot wrap, since each run takes
  // at least one table byte and adds at most 2^31.
  auto skip = [&](uint64_t count) { index += count; };

  if (block_kind != 2) {
    while (!in.at_end()) {
      TRELM_ASSIGN(FstVarint v, read_variant_u32(in));
      if (v.value & 1) {
        TRELM_TRY(add_data(v.value >> 1));
      } else if (v.value != 0) {
        skip(v.value >> 1);
      } else {
        TRELM_ASSIGN(FstVarint target, read_variant_u32(in));
        if (target.value == 0) return fail_malformed("position table alias of signal 0");
        TRELM_TRY(add_alias(target.value - 1));
      }
    }
  } else {
    uint64_t remembered = 0;
    while (!in.at_end()) {
      if (*in.peek_u8() & 1) {
        TRELM_ASSIGN(FstSignedVarint s, read_signed_variant_u64(in));
        int64_t d = s.value >> 1;
        if (d > 0) {
          TRELM_TRY(add_data(static_cast<uint64_t>(d)));
        } else if (d < 0) {
          remembered = static_cast<uint64_t>(-(d + 1));
          TRELM_TRY(add_alias(remembered));
        } else {
          TRELM_TRY(add_alias(remembered));
        }
      } else {
        TRELM_ASSIGN(FstVarint z, read_variant_u32(in));
        skip(z.value / 2);
      }
    }
  }
  if (have_data) {
    FstSignalLoc& last = entries[previous].loc;
    if (last.offset > data_size) return fail_malformed("position table offset beyond its block");
    last.length = data_size - last.offset;
  }
  return locs;
}

FstResult<size_t> decode_change_entry(std::span<const uint8_t> data, size_t pos, FstSignalInfo info,
                                      FstFloatOrder order, std::vector<uint8_t>& scratch, FstChangeValue& out) {
  size_t next = pos;
  EntryStatus status = decode_entry(data, next, info, order, scratch, out);
  if (status != EntryStatus::Ok) return fail(entry_error(status));
  return next - pos;
}

FstResult<std::span<const uint8_t>> read_packed_signal_value_bytes(std::span<const uint8_t> chunk, uint8_t pack_type,
                                                                   std::vector<uint8_t>& storage) {
  FstCursor in(chunk);
  TRELM_ASSIGN(FstVarint unpacked_size, read_variant_u32(in));
  std::span<const uint8_t> packed = chunk.subspan(in.position());
  if (unpacked_size.value == 0) return packed;
  if (pack_type == '4') {
    TRELM_TRY(lz4_decompress_into(packed, unpacked_size.value, storage));
  } else if (pack_type == 'F') {
    TRELM_ASSIGN(storage, fastlz_decompress(packed, unpacked_size.value));
  } else {
    TRELM_TRY(inflate_zlib_into(packed, unpacked_size.value, storage));
  }
  return std::span<const uint8_t>(storage);
}

FstStatus FstReader::read_signals(const FstSignalFilter& filter, const FstChangeCallback& callback) const {
  return read_signals_in(filter, callback, false);
}

FstStatus FstReader::read_signals_per_signal(const FstSignalFilter& filter, const FstChangeCallback& callback) const {
  return read_signals_in(filter, callback, true);
}

namespace {

FstResult<BitMask> selection_mask(const FstMetaData& meta, const FstSignalFilter& filter) {
  uint64_t count = meta.signals.size();
  BitMask mask = BitMask::repeat(!filter.include.has_value(), count);
  if (filter.include) {
    for (FstSignalHandle handle : *filter.include) {
      if (handle.index() >= count) return fail_malformed("included handle beyond the geometry");
      mask.set(handle.index(), true);
    }
  }
  return mask;
}

// Calls read(section, first) for each block the filter's times reach.
template <class Read>
FstStatus for_each_selected_block(const FstMetaData& meta, const FstSignalFilter& filter, uint64_t end, Read read) {
  bool first = true;
  for (const FstDataSection& section : meta.data_sections) {
    if (section.start_time > end || section.end_time < filter.start) continue;
    TRELM_TRY(read(section, first));
    first = false;
  }
  return {};
}

}  // namespace

FstStatus FstReader::read_signals_in(const FstSignalFilter& filter, const FstChangeCallback& callback,
                                     bool per_signal) const {
  TRELM_ASSIGN(BitMask mask, selection_mask(meta_, filter));
  BlockContext ctx{bytes_.span(), meta_, mask, filter.end.value_or(meta_.header.end_time), callback};
  return for_each_selected_block(meta_, filter, ctx.end, [&](const FstDataSection& section, bool first) {
    return read_block(ctx, section, first, per_signal);
  });
}

FstStatus FstReader::read_signal_blocks(const FstSignalFilter& filter, const FstChangeCallback& frame,
                                        const FstBlockCallback& block) const {
  TRELM_ASSIGN(BitMask mask, selection_mask(meta_, filter));
  BlockContext ctx{bytes_.span(), meta_, mask, filter.end.value_or(meta_.header.end_time), frame};
  return for_each_selected_block(meta_, filter, ctx.end, [&](const FstDataSection& section, bool first) -> FstStatus {
    TRELM_ASSIGN(BlockLayout layout, prepare_block(ctx, section, first));
    return hand_out_chunks(ctx, layout, block);
  });
}

}  // namespace trelm
