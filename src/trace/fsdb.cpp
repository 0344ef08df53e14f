#include "trace/fsdb.hpp"

namespace trelm {

Result<std::unique_ptr<FsdbTrace>> FsdbTrace::from_file(const std::string& path) {
  (void)path;
  return fail(std::string("FSDB loading is not available yet"));
}

}  // namespace trelm
