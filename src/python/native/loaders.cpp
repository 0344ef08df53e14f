#include "python/native/loaders.hpp"

#include <sys/stat.h>

#include <memory>
#include <utility>

#include "formats/fst/fst.hpp"
#include "formats/scan/fsdb.hpp"
#include "formats/scan/shm.hpp"
#include "formats/scan/vpd.hpp"
#include "formats/scan/wlf.hpp"
#include "formats/vcd/vcd.hpp"

namespace trelm::python::native {

namespace {

uint64_t file_size(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

// A scanned trace on the common record, reduced to the kept signals. The
// scanners read their input whole: progress is its start and its end.
template <class TraceType>
Result<LoadedDump> load_record(const std::string& path, const LoadOptions& options) {
  const uint64_t total = file_size(path);
  if (!options.report(0, total)) return fail(std::string(kLoadStopped));
  TRELM_ASSIGN(std::unique_ptr<TraceType> loaded, TraceType::from_file(path));
  if (!options.report(total, total)) return fail(std::string(kLoadStopped));
  LoadedDump dump;
  if (options.filters())
    dump.trace = std::make_unique<RecordTrace>(keep_signals(loaded->take_record(), options));
  else
    dump.trace = std::move(loaded);
  dump.info.declarations = declarations_from_values(*dump.trace);
  return dump;
}

}  // namespace

std::optional<DumpFormat> parse_format(std::string_view name) noexcept {
  if (name == "vcd") return DumpFormat::Vcd;
  if (name == "vcd.gz") return DumpFormat::VcdGzip;
  if (name == "fst") return DumpFormat::Fst;
  if (name == "fsdb") return DumpFormat::Fsdb;
  if (name == "wlf") return DumpFormat::Wlf;
  if (name == "shm") return DumpFormat::Shm;
  if (name == "vpd") return DumpFormat::Vpd;
  return std::nullopt;
}

Result<LoadedDump> load_dump(const std::string& path, DumpFormat format, const LoadOptions& options) {
  switch (format) {
    case DumpFormat::Vcd: return VcdTrace::load_file(path, options);
    case DumpFormat::VcdGzip: return VcdTrace::load_file(path, options, true);
    case DumpFormat::Fst: return FstTrace::load(path, options);
    case DumpFormat::Fsdb: return load_record<FsdbTrace>(path, options);
    case DumpFormat::Wlf: return load_record<WlfTrace>(path, options);
    case DumpFormat::Shm: return load_record<ShmTrace>(path, options);
    case DumpFormat::Vpd: return load_record<VpdTrace>(path, options);
  }
  return fail(std::string("no reader for the format"));
}

Result<LoadedDump> load_vcd_text(std::string_view text, const LoadOptions& options) {
  return VcdTrace::load_text(text, options);
}

}  // namespace trelm::python::native
