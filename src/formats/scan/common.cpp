#include "formats/scan/common.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace trelm {

size_t find_bytes(Bytes bytes, std::string_view pattern, size_t from) noexcept {
  if (from > bytes.size() || pattern.size() > bytes.size() - from) return kNotFound;
  if (pattern.empty()) return from;
  const void* hit = memmem(bytes.data() + from, bytes.size() - from, pattern.data(), pattern.size());
  return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data()) : kNotFound;
}

uint64_t read_leb128(Bytes bytes, size_t& pos, size_t end) noexcept {
  uint64_t value;
  size_t size;
  decode_leb128(bytes.first(std::min(end, bytes.size())), pos, value, size);
  pos += size;
  return value;
}

namespace {

bool has_substring(std::string_view text, std::string_view part) noexcept {
  return text.find(part) != std::string_view::npos;
}

// Every '.'-separated part is non-empty and starts with a letter or '_'.
bool dotted_parts_start_well(std::string_view text) noexcept {
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    size_t end = dot == std::string_view::npos ? text.size() : dot;
    if (end == start) return false;
    uint8_t first = static_cast<uint8_t>(text[start]);
    if (!is_ascii_letter(first) && first != '_') return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

}  // namespace

bool is_fsdb_identifier(std::string_view text) noexcept {
  if (text.empty()) return false;
  for (char ch : text) {
    uint8_t c = static_cast<uint8_t>(ch);
    bool allowed = is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '$' || c == '.' || c == ':' ||
                   c == '[' || c == ']';
    if (!allowed) return false;
  }
  for (std::string_view tool_name : {".log", ".tcl", ".fsdb", "simv", "csrc", "daidir"})
    if (has_substring(text, tool_name)) return false;
  return dotted_parts_start_well(text);
}

std::vector<std::string> extract_fsdb_identifiers(Bytes bytes) {
  std::vector<std::string> out;
  for_each_terminated_run(bytes, [&](std::string_view run) {
    if (is_fsdb_identifier(run)) out.emplace_back(run);
  });
  return out;
}

bool is_wlf_identifier(std::string_view text) noexcept {
  if (text.size() < 2) return false;
  if (text.find_first_of("/{(@") != std::string_view::npos) return false;
  return dotted_parts_start_well(text);
}

std::vector<std::string> extract_wlf_identifiers(Bytes bytes) {
  std::vector<std::string> out;
  for_each_terminated_run(bytes, [&](std::string_view run) {
    if (is_wlf_identifier(run)) out.emplace_back(run);
  });
  return out;
}

std::vector<std::string> derive_scopes(const std::vector<std::string>& names) {
  // In byte order, a prefix ending at a dot is new exactly when the previous
  // name does not share it together with that dot. Counting the new prefixes
  // first bounds the memory before any is built.
  std::vector<std::string_view> sorted(names.begin(), names.end());
  std::sort(sorted.begin(), sorted.end());
  struct Prefix {
    uint32_t name;
    size_t length;
  };
  std::vector<Prefix> prefixes;
  uint64_t total_bytes = 0;
  std::string_view previous;
  for (size_t k = 0; k < sorted.size(); ++k) {
    std::string_view name = sorted[k];
    size_t common = 0;
    size_t limit = std::min(previous.size(), name.size());
    while (common < limit && previous[common] == name[common]) ++common;
    for (size_t dot = name.find('.', common); dot != std::string_view::npos; dot = name.find('.', dot + 1)) {
      total_bytes += dot + sizeof(std::string);
      if (total_bytes > kMaxScopeBytes) throw std::bad_alloc();
      prefixes.push_back({static_cast<uint32_t>(k), dot});
    }
    previous = name;
  }
  std::vector<std::string> scopes;
  scopes.reserve(prefixes.size());
  for (const Prefix& p : prefixes) scopes.emplace_back(sorted[p.name].substr(0, p.length));
  std::sort(scopes.begin(), scopes.end());
  return scopes;
}

namespace {

constexpr size_t kFirstInflateArea = size_t{1} << 20;
constexpr size_t kSecondInflateArea = size_t{4} << 20;

struct InflateRun {
  int status = Z_STREAM_ERROR;
  size_t produced = 0;
  size_t consumed = 0;
};

// One inflate call with "finish" into `area`, from a fresh inflater.
InflateRun inflate_once(Bytes input, uint8_t* area, size_t capacity) {
  InflateRun run;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
  // Inputs beyond 4 GiB are fed in steps of uInt; the output area is smaller.
  size_t fed = 0;
  stream.next_out = area;
  stream.avail_out = static_cast<uInt>(capacity);
  for (;;) {
    size_t chunk = std::min<size_t>(input.size() - fed, 0x40000000);
    stream.next_in = const_cast<Bytef*>(input.data() + fed);
    stream.avail_in = static_cast<uInt>(chunk);
    bool last = fed + chunk == input.size();
    run.status = inflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
    fed += chunk - stream.avail_in;
    if (last || run.status != Z_OK || stream.avail_out == 0) {
      if (!last && run.status == Z_OK) run.status = Z_BUF_ERROR;
      break;
    }
  }
  run.produced = capacity - stream.avail_out;
  run.consumed = fed;
  if (run.status == Z_MEM_ERROR) {
    inflateEnd(&stream);
    throw std::bad_alloc();
  }
  inflateEnd(&stream);
  return run;
}

bool is_stream_error(int status) noexcept { return status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR; }

}  // namespace

std::optional<Inflated> try_zlib_decompress(Bytes input, uint64_t* work) {
  if (input.size() < 2) return std::nullopt;
  // Uninitialised on purpose: the scanners try many candidate positions and
  // only the bytes that come out are ever read.
  std::unique_ptr<uint8_t[]> area(new uint8_t[kFirstInflateArea]);
  InflateRun run = inflate_once(input, area.get(), kFirstInflateArea);
  if (work) *work += run.produced;
  if (is_stream_error(run.status)) return std::nullopt;
  if (run.status == Z_BUF_ERROR) {
    area.reset(new uint8_t[kSecondInflateArea]);
    run = inflate_once(input, area.get(), kSecondInflateArea);
    if (work) *work += run.produced;
    if (is_stream_error(run.status)) return std::nullopt;
  }
  if (run.produced == 0) return std::nullopt;
  Inflated out;
  out.bytes.assign(area.get(), area.get() + run.produced);
  out.consumed = run.consumed;
  return out;
}

std::optional<std::vector<uint8_t>> inflate_whole_stream(Bytes input, size_t cap) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
  std::vector<uint8_t> out;
  size_t fed = 0;
  bool complete = false;
  bool failed = false;
  while (!complete && !failed && out.size() < cap) {
    size_t before = out.size();
    size_t room = std::min<size_t>(cap - before, size_t{1} << 20);
    out.resize(before + room);
    stream.next_out = out.data() + before;
    stream.avail_out = static_cast<uInt>(room);
    size_t chunk = std::min<size_t>(input.size() - fed, 0x40000000);
    stream.next_in = const_cast<Bytef*>(input.data() + fed);
    stream.avail_in = static_cast<uInt>(chunk);
    int status = inflate(&stream, Z_NO_FLUSH);
    size_t consumed = chunk - stream.avail_in;
    fed += consumed;
    out.resize(before + (room - stream.avail_out));
    if (status == Z_MEM_ERROR) {
      inflateEnd(&stream);
      throw std::bad_alloc();
    }
    complete = status == Z_STREAM_END;
    // An error, or no progress at all: the data ended before the stream did.
    failed = (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) ||
             (!complete && consumed == 0 && out.size() == before);
  }
  inflateEnd(&stream);
  if (failed) return std::nullopt;
  return out;
}

bool NameList::add(std::string name) {
  if (ids_.find(name) != ids_.end()) return false;
  ids_.emplace(name, names_.size());
  names_.push_back(std::move(name));
  return true;
}

TraceRecord NameList::into_record(std::vector<std::string> scopes, std::vector<uint64_t> timestamps, SignalStore store,
                                  const std::vector<uint64_t>& widths) && {
  TraceRecord record;
  record.store = std::move(store);
  record.widths.reserve(names_.size());
  for (size_t id = 0; id < names_.size(); ++id) record.widths.emplace(names_[id], id < widths.size() ? widths[id] : 1);
  record.name_to_id = std::move(ids_);
  record.signal_names = std::move(names_);
  record.scopes = std::move(scopes);
  record.timestamps = std::move(timestamps);
  return record;
}

}  // namespace trelm
