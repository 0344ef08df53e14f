// Feeds arbitrary bytes to the front door's gzip-compressed VCD stream. Bytes
// that start like a gzip stream are read as they are (cut, corrupt or trailed
// by other data); any other bytes are compressed first, in a stream cut at a
// place the input chooses, and the reading of the whole stream must agree run
// for run with the reading of the text itself.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "same_trace.hpp"
#include "formats/vcd/vcd.hpp"

namespace {

std::vector<uint8_t> gzip(const uint8_t* data, size_t size) {
  z_stream z{};
  // 15 window bits + 16: a gzip header and trailer around the deflate stream.
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::vector<uint8_t> out(deflateBound(&z, size) + 32);
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The bytes as a file without touching the disk: a memory file named
// through /proc/self/fd.
struct MemoryFile {
  explicit MemoryFile(const std::vector<uint8_t>& bytes) : fd(memfd_create("gzip_fuzz", 0)) {
    if (fd < 0) std::abort();
    for (size_t done = 0; done < bytes.size();) {
      ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (wrote <= 0) std::abort();
      done += static_cast<size_t>(wrote);
    }
  }
  ~MemoryFile() { ::close(fd); }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd); }
  int fd;
};

trelm::Result<trelm::LoadedDump> load_gzip(const std::vector<uint8_t>& bytes, const trelm::LoadOptions& options) {
  MemoryFile file(bytes);
  return trelm::VcdTrace::load_file(file.path(), options, /*gzip=*/true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  trelm::LoadOptions exact;
  exact.exact = true;
  if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) {
    (void)load_gzip(std::vector<uint8_t>(data, data + size), exact);
    return 0;
  }

  std::vector<uint8_t> whole = gzip(data, size);
  auto streamed = load_gzip(whole, exact);
  auto text = trelm::VcdTrace::load_text(std::string_view(reinterpret_cast<const char*>(data), size), exact);
  if (!streamed.ok() || !text.ok()) std::abort();
  if (!trelm::fuzz::same_trace(*streamed->trace, *text->trace)) std::abort();

  // A stream cut short is an error, never a shorter trace.
  if (size > 0) {
    whole.resize(whole.size() - 1 - size % whole.size() / 2);
    if (load_gzip(whole, exact).ok()) std::abort();
  }
  return 0;
}
