#include "trace/fst.hpp"

namespace trelm {

Result<std::unique_ptr<FstTrace>> FstTrace::from_file(const std::string& path) {
  (void)path;
  return fail(std::string("FST loading is not available yet"));
}

}  // namespace trelm
