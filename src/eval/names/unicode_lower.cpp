#include "eval/names/unicode_lower.hpp"

#include <algorithm>
#include <vector>

#include "base/utf8.hpp"

namespace trelm {

using namespace unicode_lower_detail;

namespace {

constexpr uint32_t kCapitalSigma = 0x3A3;

struct Char {
  uint32_t code_point;  // kNotUtf8 for a byte that is not valid UTF-8
  size_t offset;
  size_t length;
};

// One character at `pos`; an invalid byte stands alone.
Char decode_at(std::string_view s, size_t pos) {
  Utf8Char c = decode_utf8(s, pos);
  return {c.code_point, pos, c.code_point == kNotUtf8 ? 1 : c.length};
}

SigmaClass sigma_class(uint32_t cp) {
  if (cp == kNotUtf8) return kOther;
  const SigmaClassRange* end = kSigmaClasses + kSigmaClassCount;
  auto it = std::upper_bound(kSigmaClasses, end, cp,
                             [](uint32_t c, const SigmaClassRange& r) { return c < r.first; });
  if (it == kSigmaClasses) return kOther;
  --it;
  return cp <= it->last ? it->sigma_class : kOther;
}

const LowerMapping* mapping_of(uint32_t cp) {
  const LowerMapping* end = kLowerMappings + kLowerMappingCount;
  auto it = std::lower_bound(kLowerMappings, end, cp,
                             [](const LowerMapping& m, uint32_t c) { return m.code_point < c; });
  return it != end && it->code_point == cp ? it : nullptr;
}

// Capital sigma takes its final form when a cased character precedes it and
// none follows, skipping case-ignorable characters on both sides.
bool is_final_sigma(const std::vector<Char>& chars, size_t k) {
  size_t j = k;
  while (j > 0 && sigma_class(chars[j - 1].code_point) == kCaseIgnorable) --j;
  if (j == 0 || sigma_class(chars[j - 1].code_point) != kCased) return false;
  j = k + 1;
  while (j < chars.size() && sigma_class(chars[j].code_point) == kCaseIgnorable) ++j;
  return j == chars.size() || sigma_class(chars[j].code_point) != kCased;
}

}  // namespace

std::string unicode_lower(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; })) {
    for (char c : text) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return out;
  }
  std::vector<Char> chars;
  for (size_t pos = 0; pos < text.size();) {
    chars.push_back(decode_at(text, pos));
    pos += chars.back().length;
  }
  for (size_t k = 0; k < chars.size(); ++k) {
    const Char& c = chars[k];
    if (c.code_point == kCapitalSigma) {
      out.append(is_final_sigma(chars, k) ? "\xcf\x82" : "\xcf\x83");
    } else if (const LowerMapping* m = c.code_point == kNotUtf8 ? nullptr : mapping_of(c.code_point)) {
      out.append(m->utf8, m->length);
    } else {
      out.append(text.substr(c.offset, c.length));
    }
  }
  return out;
}

}  // namespace trelm
