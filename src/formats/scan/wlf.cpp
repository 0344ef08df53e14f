// The WLF scanner: 8192-byte pages; names from the first page's name area
// (and, when too few, from pages 1 to 3), values from pages that start with
// FF FF, on a time axis that counts steps.
#include "formats/scan/wlf.hpp"

#include <algorithm>

#include "base/byte_reader.hpp"
#include "base/file.hpp"
#include "formats/scan/common.hpp"

namespace trelm {

namespace {

constexpr size_t kPage = 8192;
constexpr size_t kRecordAreaOffset = 16;

// A length-prefixed printable string inside the first page; the empty text
// when it is absent, too long or not printable.
std::string read_lpstr(Bytes d, size_t& q) {
  if (q >= kPage) return {};
  size_t n = d[q];
  ++q;
  if (n == 0 || q + n > kPage) return {};
  Bytes text = d.subspan(q, n);
  if (!std::all_of(text.begin(), text.end(), is_printable)) return {};
  q += n;
  return std::string(as_text(text));
}

bool starts_with_ff_ff(Bytes page) { return page[0] == 0xFF && page[1] == 0xFF; }

bool has_16_nonzero_bytes(Bytes page) {
  size_t count = 0;
  for (uint8_t c : page)
    if (c != 0 && ++count >= 16) return true;
  return false;
}

// Writes of one time step, applied in order with the last write of a signal
// winning; every signal's list ends before the step, so each write appends.
void flush_step(std::vector<SignalStore::Write>& pending, SignalStore& store) {
  std::stable_sort(pending.begin(), pending.end(),
                   [](const SignalStore::Write& a, const SignalStore::Write& b) { return a.id < b.id; });
  for (size_t i = 0; i < pending.size(); ++i)
    if (i + 1 == pending.size() || pending[i + 1].id != pending[i].id)
      store.set(pending[i].id, pending[i].index, std::move(pending[i].value));
  pending.clear();
}

}  // namespace

Result<std::unique_ptr<WlfTrace>> WlfTrace::from_bytes(std::span<const uint8_t> d) {
  const size_t pages = d.size() / kPage;
  if (pages == 0) return fail(std::string("WLF file too small (< 1 page)"));
  size_t area_end = std::min<size_t>(load_be(d, 2, 2).value_or(0), kPage);
  size_t expected = load_be(d, 24, 2).value_or(0);
  size_t name_limit = std::max<size_t>(expected, 1000);

  size_t q = 40;
  for (int i = 0; i < 3; ++i) read_lpstr(d, q);

  NameList names;
  auto add_names = [&](Bytes area) {
    for (std::string& name : extract_wlf_identifiers(area)) {
      if (names.size() >= name_limit) break;
      names.add(std::move(name));
    }
  };
  if (q < area_end) add_names(d.subspan(q, area_end - q));
  if (names.size() < expected) {
    for (size_t p = 1; p < std::min<size_t>(pages, 4); ++p) {
      Bytes page = d.subspan(p * kPage, kPage);
      if (!starts_with_ff_ff(page)) add_names(page);
    }
  }

  SignalStore store;
  uint64_t step = 0;
  uint64_t count = 1;  // time stamps 0 .. count-1
  if (pages >= 2) {
    std::vector<SignalStore::Write> pending;
    for (size_t p = 1; p < pages; ++p) {
      Bytes page = d.subspan(p * kPage, kPage);
      if (!starts_with_ff_ff(page) || !has_16_nonzero_bytes(page)) continue;
      size_t m = std::min<size_t>(load_be(page, 2, 2).value_or(0), kPage - kRecordAreaOffset);
      if (m < 2) continue;
      Bytes records = page.subspan(kRecordAreaOffset, m);
      size_t u = 0;
      while (u + 1 < m) {
        uint8_t c = records[u];
        if (c == 0xFF) {
          flush_step(pending, store);
          ++step;
          count = step + 1;
          ++u;
        } else if (c != 0 && c < names.size()) {
          count = std::max(count, step + 1);
          pending.push_back({c, step, SignalValue::from_int(records[u + 1])});
          u += 2;
        } else {
          ++u;
        }
      }
    }
    flush_step(pending, store);
    store.forward_fill_through(count);
  }

  std::vector<uint64_t> timestamps(count);
  for (uint64_t i = 0; i < count; ++i) timestamps[i] = i;
  std::vector<std::string> scopes = derive_scopes(names.names());
  return std::make_unique<WlfTrace>(std::move(names).into_record(std::move(scopes), std::move(timestamps), std::move(store)));
}

Result<std::unique_ptr<WlfTrace>> WlfTrace::from_file(const std::string& path) {
  auto bytes = read_whole_file(path);
  if (!bytes.ok()) return fail("Failed to read " + path + ": " + bytes.error());
  return from_bytes(bytes.value());
}

}  // namespace trelm
