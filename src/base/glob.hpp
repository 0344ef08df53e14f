// Whole-text glob matching: '*' stands for any run of bytes ('.' included),
// '?' for one byte, every other byte for itself. The search backtracks to the
// last '*' only, so it takes time proportional to pattern x text at worst.
#pragma once

#include <string_view>

namespace trelm {

// How a '*' of the pattern meets a '*' of the text. Wildcard: always as the
// wildcard. LiteralFirst: as the text's own byte when they are equal, as the
// wildcard otherwise (so "a*" does not match "a*b"); the literal surface's
// name search has that rule.
enum class GlobStar { Wildcard, LiteralFirst };

inline bool glob_match(std::string_view pattern, std::string_view text, GlobStar star_rule = GlobStar::Wildcard) {
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, mark = 0;
  const bool literal_first = star_rule == GlobStar::LiteralFirst;
  while (n < text.size()) {
    const bool is_star = p < pattern.size() && pattern[p] == '*';
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] == text[n] && (literal_first || !is_star)))) {
      ++p;
      ++n;
    } else if (is_star) {
      star = p;
      mark = n;
      ++p;
    } else if (star != std::string_view::npos) {
      ++mark;
      n = mark;
      p = star + 1;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace trelm
