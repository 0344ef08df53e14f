#include "trace/vpd.hpp"

namespace trelm {

Result<std::unique_ptr<VpdTrace>> VpdTrace::from_file(const std::string& path) {
  (void)path;
  return fail(std::string("VPD loading is not available yet"));
}

}  // namespace trelm
