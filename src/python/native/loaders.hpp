// The front door's readers by format name. Pure C++: the binding runs them
// with the interpreter lock released.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "trace/dump_info.hpp"

namespace trelm::python::native {

enum class DumpFormat { Vcd, VcdGzip, Fst, Fsdb, Wlf, Shm, Vpd };

// "vcd", "vcd.gz", "fst", "fsdb", "wlf", "shm", "vpd".
std::optional<DumpFormat> parse_format(std::string_view name) noexcept;

Result<LoadedDump> load_dump(const std::string& path, DumpFormat format, const LoadOptions& options);
Result<LoadedDump> load_vcd_text(std::string_view text, const LoadOptions& options);

}  // namespace trelm::python::native
