// LoadOptions: what a reader is asked for beyond the dump itself. The
// defaults read exactly as the literal loaders do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/glob.hpp"
#include "base/progress.hpp"

namespace trelm {

struct LoadOptions {
  // Front-door names and values: names as the dump writes them and every
  // value exactly (each reader says how it maps them).
  bool exact = false;
  // With `filter` set, only the signals whose full name one of the glob
  // patterns matches are kept (none for no patterns); without, every signal.
  bool filter = false;
  std::vector<std::string> signals;
  // Told of the input bytes read so far; may stop the load.
  ProgressSink* progress = nullptr;

  bool filters() const noexcept { return filter; }
  bool keeps(std::string_view name) const noexcept {
    if (!filter) return true;
    for (const std::string& pattern : signals)
      if (glob_match(pattern, name)) return true;
    return false;
  }
  // Passes progress on; false when the sink asks to stop.
  bool report(uint64_t done, uint64_t total) const { return progress == nullptr || progress->advance(done, total); }
};

}  // namespace trelm
