// Steps shared by the FSDB, WLF, SHM and VPD scanners: terminated text runs,
// the two identifier rule sets, scope derivation, bounded zlib inflation, and
// the assembly of the finished trace record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_reader.hpp"
#include "base/name_map.hpp"
#include "trace/record.hpp"

namespace trelm {

using Bytes = std::span<const uint8_t>;

inline std::string_view as_text(Bytes bytes) noexcept {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline bool is_ascii_letter(uint8_t c) noexcept { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool is_ascii_digit(uint8_t c) noexcept { return c >= '0' && c <= '9'; }
inline bool is_printable(uint8_t c) noexcept { return c >= 0x20 && c <= 0x7E; }

inline constexpr size_t kNotFound = static_cast<size_t>(-1);
// The first position at or after `from` where `pattern` starts wholly inside
// `bytes`, or kNotFound.
size_t find_bytes(Bytes bytes, std::string_view pattern, size_t from = 0) noexcept;

// Reads one LEB128 number (as decode_leb128 reads a uint64_t) starting at
// `pos`, stopping at `end`; `pos` moves past the bytes it took, also when the
// range or the ten bytes end before the number does.
uint64_t read_leb128(Bytes bytes, size_t& pos, size_t end) noexcept;

// Calls visit(text) for every run of printable bytes that starts with a
// non-space and ends at a zero byte, in order. A run that reaches the end of
// the range stops the scan: it is never reported. Every run ends at a zero
// byte, so the scan jumps from zero byte to zero byte and looks back over the
// printable bytes before each.
template <class Visit>
void for_each_terminated_run(Bytes bytes, Visit&& visit) {
  const uint8_t* base = bytes.data();
  const size_t n = bytes.size();
  size_t pos = 0;
  while (pos < n) {
    const void* zero = std::memchr(base + pos, 0, n - pos);
    if (!zero) return;
    size_t end = static_cast<size_t>(static_cast<const uint8_t*>(zero) - base);
    size_t start = end;
    while (start > pos && is_printable(base[start - 1])) --start;
    while (start < end && base[start] == 0x20) ++start;  // a run never starts with a space
    if (start < end) visit(as_text(bytes.subspan(start, end - start)));
    pos = end + 1;
  }
}

// FSDB rules: letters, digits and _ $ . : [ ] only, no tool-output names,
// every dotted part starting with a letter or '_'. Duplicates are kept.
bool is_fsdb_identifier(std::string_view text) noexcept;
std::vector<std::string> extract_fsdb_identifiers(Bytes bytes);

// WLF (and VPD) rules: at least 2 bytes, none of / { ( @, every dotted part
// starting with a letter or '_'; anything else printable is allowed.
bool is_wlf_identifier(std::string_view text) noexcept;
std::vector<std::string> extract_wlf_identifiers(Bytes bytes);

// Every proper dotted prefix of every name, ascending by bytes, each once.
// Throws std::bad_alloc when the distinct prefixes would exceed kMaxScopeBytes.
inline constexpr uint64_t kMaxScopeBytes = uint64_t{256} << 20;
std::vector<std::string> derive_scopes(const std::vector<std::string>& names);

struct Inflated {
  std::vector<uint8_t> bytes;
  size_t consumed = 0;
};
// Inflates the zlib stream at the start of `input`: first into 1 MiB, and when
// that runs out of room or input, into 4 MiB taking whatever came out. Nothing
// on a stream error or an empty output. `work`, when given, grows by every
// byte produced (also by attempts that fail), so callers can bound the total.
std::optional<Inflated> try_zlib_decompress(Bytes input, uint64_t* work = nullptr);

// Inflates one whole zlib stream with at most `cap` output bytes (keeping what
// came out when the cap is reached). Nothing when the stream is corrupt or ends
// before its end of data.
std::optional<std::vector<uint8_t>> inflate_whole_stream(Bytes input, size_t cap);

// Sorted distinct event times (0 always among them), and each time replaced by
// its position in that list. Events carry their time in the `index` field of
// the write; neighbouring events often share a time, which is looked up once.
template <class Write>
std::vector<uint64_t> place_times(std::vector<Write>& events) {
  std::vector<uint64_t> times{0};
  for (const Write& e : events)
    if (e.index != times.back()) times.push_back(e.index);
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  uint64_t last_time = 0;
  uint64_t last_index = 0;
  for (Write& e : events) {
    if (e.index != last_time) {
      last_time = e.index;
      last_index = static_cast<uint64_t>(std::lower_bound(times.begin(), times.end(), last_time) - times.begin());
    }
    e.index = last_index;
  }
  return times;
}

// Names in first-found order with their ids (positions).
class NameList {
 public:
  // Adds the name when it is new; false when it was already known.
  bool add(std::string name);
  bool contains(std::string_view name) const { return ids_.find(name) != ids_.end(); }
  size_t size() const noexcept { return names_.size(); }
  const std::vector<std::string>& names() const noexcept { return names_; }

  // The record with every name at its position, width 1 unless `widths`
  // gives one (by id), and the given scopes, time stamps and store.
  TraceRecord into_record(std::vector<std::string> scopes, std::vector<uint64_t> timestamps, SignalStore store,
                          const std::vector<uint64_t>& widths = {}) &&;

 private:
  std::vector<std::string> names_;
  NameMap<SignalId> ids_;
};

}  // namespace trelm
