#include "trace/wlf.hpp"

namespace trelm {

Result<std::unique_ptr<WlfTrace>> WlfTrace::from_file(const std::string& path) {
  (void)path;
  return fail(std::string("WLF loading is not available yet"));
}

}  // namespace trelm
