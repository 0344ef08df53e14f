// How the VCD reader splits value-change text between the workers.
#pragma once

#include <cstddef>

namespace trelm {

struct VcdPieceOptions {
  // Text goes to the workers in windows of about this many bytes: large
  // enough to keep them busy, small enough that the logs of one window stay
  // a few tens of megabytes.
  size_t window_bytes = size_t{16} << 20;
  // Text of at most this many bytes is read line by line: below it the
  // pieces would not pay for their set-up.
  size_t min_parallel_bytes = size_t{1} << 20;
  // Pieces are about this long (shorter when the text is, so that every
  // worker gets some); at most 64 MiB.
  size_t piece_bytes = size_t{4} << 20;
  // Decode in pieces even below min_parallel_bytes (for tests).
  bool force = false;
};

}  // namespace trelm
