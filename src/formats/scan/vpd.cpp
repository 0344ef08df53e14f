// The VPD scanner: names only. Up to twenty section offsets from the header;
// a section whose first 128 bytes look like a name list is searched whole.
#include "formats/scan/vpd.hpp"

#include <algorithm>
#include <cstdio>

#include "base/byte_reader.hpp"
#include "base/file.hpp"
#include "formats/scan/common.hpp"

namespace trelm {

namespace {

constexpr uint64_t kMagic = 0x12345678;
constexpr size_t kHeaderSize = 128;
constexpr size_t kWindow = 128;

// Printable strings of 3 or more bytes (a leading space allowed) that end at
// a zero byte inside the window.
bool window_has_marker(Bytes window) {
  size_t i = 0;
  while (i < window.size()) {
    if (!is_printable(window[i])) {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < window.size() && is_printable(window[j])) ++j;
    if (j == window.size()) return false;
    if (window[j] == 0 && j - i >= 3) {
      std::string_view text = as_text(window.subspan(i, j - i));
      if (text.find("FoldedTop") != std::string_view::npos || text.find("WithMask") != std::string_view::npos)
        return true;
    }
    i = j + 1;
  }
  return false;
}

bool holds_names(Bytes section) {
  Bytes window = section.first(std::min(section.size(), kWindow));
  return window_has_marker(window) || extract_wlf_identifiers(window).size() > 3;
}

}  // namespace

Result<std::unique_ptr<VpdTrace>> VpdTrace::from_bytes(std::span<const uint8_t> d) {
  if (d.size() < kHeaderSize) return fail(std::string("VPD file too small"));
  uint64_t magic = load_le(d, 0, 4).value_or(0);
  if (magic != kMagic) {
    char text[48];
    std::snprintf(text, sizeof text, "Not a VPD file (magic=0x%08X)", static_cast<unsigned>(magic));
    return fail(std::string(text));
  }
  std::vector<uint64_t> offsets;
  for (uint64_t at = 48; at < kHeaderSize; at += 4) {
    uint64_t v = load_le(d, at, 4).value_or(0);
    if (v > kHeaderSize && v < d.size()) offsets.push_back(v);
  }
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());

  NameList names;
  for (size_t k = 0; k < offsets.size(); ++k) {
    uint64_t end = k + 1 < offsets.size() ? offsets[k + 1] : d.size();
    Bytes section = d.subspan(offsets[k], end - offsets[k]);
    if (!holds_names(section)) continue;
    for (std::string& name : extract_wlf_identifiers(section)) names.add(std::move(name));
  }
  std::vector<std::string> scopes = derive_scopes(names.names());
  return std::make_unique<VpdTrace>(std::move(names).into_record(std::move(scopes), {0}, SignalStore()));
}

Result<std::unique_ptr<VpdTrace>> VpdTrace::from_file(const std::string& path) {
  auto bytes = read_whole_file(path);
  if (!bytes.ok()) return fail("Failed to read " + path + ": " + bytes.error());
  return from_bytes(bytes.value());
}

}  // namespace trelm
