// Decoding of the hierarchy block: decompression by block kind and the walk
// over its entries.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "formats/fst/io.hpp"
#include "formats/fst/types.hpp"

namespace trelm {

// The decompressed entry stream of the hierarchy block whose section length
// field is at the cursor.
FstResult<std::vector<uint8_t>> read_hierarchy_bytes(FstCursor& in, FstHierarchyCompression compression);

// Decodes one entry from the cursor; nothing when no bytes remain. The
// counter hands out the handles of new (non-alias) variables.
FstResult<std::optional<FstHierarchyEntry>> read_hierarchy_entry(FstCursor& in, uint32_t& handle_counter);

}  // namespace trelm
