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

// A trace on the common record, reduced to the kept signals.
template <class TraceType>
Result<LoadedDump> load_record(const std::string& path, const LoadOptions& options) {
  TRELM_ASSIGN(std::unique_ptr<TraceType> loaded, TraceType::from_file(path));
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
  const uint64_t total = file_size(path);
  if (!options.report(0, total)) return fail(std::string(kLoadStopped));
  Result<LoadedDump> loaded = fail(std::string("no reader"));
  switch (format) {
    case DumpFormat::Vcd: loaded = VcdTrace::load_file(path, options); break;
    case DumpFormat::VcdGzip: loaded = VcdTrace::load_file(path, options, true); break;
    case DumpFormat::Fst: loaded = load_record<FstTrace>(path, options); break;
    case DumpFormat::Fsdb: loaded = load_record<FsdbTrace>(path, options); break;
    case DumpFormat::Wlf: loaded = load_record<WlfTrace>(path, options); break;
    case DumpFormat::Shm: loaded = load_record<ShmTrace>(path, options); break;
    case DumpFormat::Vpd: loaded = load_record<VpdTrace>(path, options); break;
  }
  if (loaded.ok() && !options.report(total, total)) return fail(std::string(kLoadStopped));
  return loaded;
}

Result<LoadedDump> load_vcd_text(std::string_view text, const LoadOptions& options) {
  return VcdTrace::load_text(text, options);
}

}  // namespace trelm::python::native
