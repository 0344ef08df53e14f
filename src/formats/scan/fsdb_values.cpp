#include "formats/scan/fsdb_values.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/byte_reader.hpp"

namespace trelm {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kHeaderMark = "\x38\x43\x00\x04\x00\x08"sv;
constexpr std::string_view kEndMark = "\xC1\x21\x00\x00"sv;
constexpr std::string_view kValueRegionMark = "\x44\x00\x63\x00\x03\x08"sv;
constexpr std::string_view kRegionStop = "\xFF\xFF\xFF\xFF"sv;

struct TimedValue {
  uint64_t time;
  uint64_t value;
};

struct OffsetEntry {
  bool keeps_bit0;  // kind 1: only bit 0 of each value
  uint8_t offset;
};

struct Segment {
  size_t begin;
  size_t end;
};

struct Header {
  size_t end = 0;
  std::optional<uint32_t> pair_limit;
  uint64_t first_value = 0;
  uint64_t step = 5;
};

std::optional<Header> read_header(Bytes b) {
  Header header;
  size_t mark = find_bytes(b, kHeaderMark);
  if (mark != kNotFound) {
    header.end = mark;
  } else if (find_bytes(b, kEndMark) != kNotFound) {
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) read_leb128(b, pos, b.size());
    header.end = pos;
  } else {
    return std::nullopt;
  }
  uint64_t numbers[6] = {};
  size_t count = 0;
  for (size_t pos = 0; pos < header.end;) {
    uint64_t v = read_leb128(b, pos, header.end);
    if (count < 6) numbers[count] = v;
    ++count;
  }
  if (count >= 4) header.pair_limit = static_cast<uint32_t>(static_cast<uint32_t>(numbers[3]) - 1u);
  if (count >= 5) header.first_value = numbers[4];
  if (count >= 6) header.step = 5 * (numbers[5] + 1);
  return header;
}

// Pairs of every segment become time/value entries; bytes of 0x40 and more
// become offset entries.
void decode_segments(Bytes b, const std::vector<Segment>& segments, bool separator_mode, const Header& header,
                     std::vector<TimedValue>& pairs, std::vector<OffsetEntry>& offsets) {
  uint64_t base = 0;
  uint64_t pair_count = 0;
  for (size_t k = 0; k < segments.size(); ++k) {
    Bytes s = b.subspan(segments[k].begin, segments[k].end - segments[k].begin);
    uint64_t accumulated = 0;
    uint64_t step = 0;
    size_t first = pairs.size();  // this segment's entries start here
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
      uint8_t lead = s[i];
      if (lead >= 0x80) {
        offsets.push_back({false, static_cast<uint8_t>(lead & 0x7F)});
      } else if (lead >= 0x40) {
        offsets.push_back({true, static_cast<uint8_t>(lead & 0x3F)});
      } else {
        uint64_t time;
        if (separator_mode) {
          accumulated += lead;
          time = accumulated == 0 ? base : base + 10 * (accumulated - 1);
        } else {
          if (header.pair_limit && pair_count > *header.pair_limit) break;
          if (pairs.size() == first) {
            step = 5 * uint64_t{lead} + 5;
            time = step;
          } else {
            time = pairs.back().time + lead * step;
          }
        }
        pairs.push_back({time, s[i + 1]});
        ++pair_count;
      }
    }
    if (separator_mode && k + 1 < segments.size() && s.size() % 2 == 1) {
      uint64_t time = pairs.size() == first ? base : pairs.back().time + 10;
      pairs.push_back({time, s[s.size() - 1]});
    }
    if (pairs.size() > first) base = pairs.back().time;
  }
}

// The single-byte records after the value-region mark.
std::vector<uint64_t> decode_value_region(Bytes b, size_t start, bool ff_mode) {
  std::vector<uint64_t> values;
  bool has_ff = false;
  size_t n = b.size();
  size_t j = start;
  while (j + 1 < n) {
    uint8_t c = b[j];
    if (c == 0x00) {
      if (j + 2 < n && b[j + 1] == 0 && b[j + 2] == 0) break;
      ++j;
    } else if (c == 0x01) {
      if (j + 2 < n && b[j + 2] == 0x38) break;
      values.push_back(b[j + 1]);
      if (b[j + 1] == 0xFF) has_ff = true;
      j += 2;
      read_leb128(b, j, n);
    } else if (c >= 0x80) {
      if (c == 0xC1 && j + 3 < n && b[j + 1] == 0x21 && b[j + 2] == 0 && b[j + 3] == 0) break;
      read_leb128(b, j, n);
      if (ff_mode && !has_ff) {
        values.push_back(0xFF);
        has_ff = true;
      }
    } else if ((c >= 0x02 && c <= 0x08) || c == 0x27 || c == 0x38) {
      ++j;
    } else {
      values.push_back(c);
      ++j;
    }
  }
  return values;
}

class EventList {
 public:
  explicit EventList(uint64_t capacity) noexcept : capacity_(capacity) {}
  bool full() const noexcept { return events_.size() >= capacity_; }
  void add(uint64_t time, SignalId id, uint64_t value) {
    if (!full()) events_.push_back({id, time, value});
  }
  // Events hold their time in the index field until the times are placed.
  std::vector<StagedStore::Write>& items() noexcept { return events_; }

 private:
  std::vector<StagedStore::Write> events_;
  uint64_t capacity_;
};

void add_clock_events(Bytes trailer, const std::vector<TimedValue>& pairs, EventList& events) {
  if (trailer.size() < 4 || !(trailer[0] & 0x40)) return;
  uint64_t period = uint64_t{trailer[2]} * 5 / 2;
  uint64_t latest = 0;
  for (const TimedValue& p : pairs) latest = std::max(latest, p.time);
  uint64_t end = 10 + latest;
  uint64_t value = trailer[3] != '0' ? 1 : 0;
  uint64_t time = 0;
  // A period of 0 gives the one event at time 0; the count is capped.
  for (uint64_t made = 0; made < kMaxFsdbClockEvents && time <= end && !events.full(); ++made) {
    events.add(time, 0, value);
    value ^= 1;
    if (period == 0 || !checked_add(time, period)) break;
    time += period;
  }
}

}  // namespace

bool decode_fsdb_value_block(Bytes b, uint64_t name_count, FsdbValues& values) {
  const size_t n = b.size();
  std::optional<Header> header = read_header(b);
  if (!header) return false;
  if (n - header->end < 6) return false;  // no room for a dictionary region

  // Dictionary region [region_begin, region_end) and the optional value region.
  size_t region_begin = header->end + 6;
  size_t value_mark = find_bytes(b, kValueRegionMark, region_begin);
  size_t region_end = value_mark == kNotFound ? n : value_mark;
  Bytes region = b.subspan(region_begin, region_end - region_begin);
  size_t stop = find_bytes(region, kRegionStop);
  if (stop != kNotFound) region = region.first(stop);
  stop = find_bytes(region, kEndMark);
  if (stop != kNotFound) region = region.first(stop);
  region_end = region_begin + region.size();

  bool separator_mode = std::memchr(region.data(), 0x08, region.size()) != nullptr;
  std::vector<Segment> segments;
  if (separator_mode) {
    size_t begin = region_begin;
    for (size_t i = region_begin; i < region_end; ++i) {
      if (b[i] != 0x08) continue;
      segments.push_back({begin, i});
      begin = i + 1;
    }
    if (begin < region_end) segments.push_back({begin, region_end});
  } else if (!region.empty()) {
    segments.push_back({region_begin, region_end});
  }
  Bytes trailer;
  if (separator_mode && segments.size() >= 2) {
    trailer = b.subspan(segments.back().begin, segments.back().end - segments.back().begin);
    segments.pop_back();
  }

  std::vector<TimedValue> pairs;
  std::vector<OffsetEntry> offsets;
  decode_segments(b, segments, separator_mode, *header, pairs, offsets);

  std::vector<uint64_t> initial;
  if (value_mark != kNotFound) {
    bool ff_mode = !region.empty() && b[region_end - 1] == 0xFF;
    initial = decode_value_region(b, value_mark + 6, ff_mode);
  }

  // Events, by position in the name list.
  const uint64_t N = name_count;
  EventList events(values.events_left);
  for (uint64_t k = 1; k <= initial.size() && k < N; ++k) events.add(0, k, initial[k - 1]);
  uint64_t t0 = header->first_value;
  uint64_t y = initial.size();
  if (t0 != 0 && y + 1 < N) events.add(header->step, y + 1, t0);
  uint64_t g = 0;
  if (!(initial.empty() && t0 == 0)) g = std::min(y + 1 + (t0 != 0 ? 1 : 0), N == 0 ? 0 : N - 1);
  if (g < N && !pairs.empty()) {
    for (const TimedValue& p : pairs) events.add(p.time, g, p.value);
    ++g;
  }
  for (size_t x = 0; x < offsets.size() && g < N && !events.full(); ++x, ++g) {
    for (const TimedValue& p : pairs)
      events.add(p.time + offsets[x].offset, g, offsets[x].keeps_bit0 ? (p.value & 1) : p.value);
  }
  add_clock_events(trailer, pairs, events);

  // New times join the time stamps at their sorted places.
  std::vector<StagedStore::Write>& writes = events.items();
  values.events_left -= writes.size();
  // Event times become positions in the block's own sorted time list first,
  // then positions in the trace's merged list.
  std::vector<uint64_t> times = place_times(writes);
  std::vector<uint64_t>& stamps = values.timestamps;
  std::vector<uint64_t> fresh;
  for (uint64_t t : times)
    if (!std::binary_search(stamps.begin(), stamps.end(), t)) fresh.push_back(t);
  values.work += times.size();
  if (!fresh.empty()) {
    std::vector<uint64_t> merged;
    merged.reserve(stamps.size() + fresh.size());
    std::merge(stamps.begin(), stamps.end(), fresh.begin(), fresh.end(), std::back_inserter(merged));
    stamps.swap(merged);
    values.work += stamps.size();
  }

  std::vector<Index> placed(times.size());
  for (size_t k = 0; k < times.size(); ++k)
    placed[k] = static_cast<Index>(std::lower_bound(stamps.begin(), stamps.end(), times[k]) - stamps.begin());
  for (auto& w : writes) w.index = placed[w.index];
  values.store.set_many(std::move(writes));
  values.store.zero_unknown_starts(N);
  values.store.fill_through(stamps.size());
  return true;
}

}  // namespace trelm
