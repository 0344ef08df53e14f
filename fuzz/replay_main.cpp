// Stand-in for libFuzzer's driver: runs the target once per file named on the
// command line (folders are walked), so every fuzz target builds and replays
// its corpus without clang.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 1;
}

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (auto& entry : std::filesystem::recursive_directory_iterator(p))
        if (entry.is_regular_file()) count += run_file(entry.path());
    } else if (std::filesystem::exists(p)) {
      count += run_file(p);
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
