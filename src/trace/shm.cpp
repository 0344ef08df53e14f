#include "trace/shm.hpp"

namespace trelm {

Result<std::unique_ptr<ShmTrace>> ShmTrace::from_file(const std::string& path) {
  (void)path;
  return fail(std::string("SHM loading is not available yet"));
}

}  // namespace trelm
