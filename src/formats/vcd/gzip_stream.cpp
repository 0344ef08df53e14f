#include "formats/vcd/gzip_stream.hpp"

#include <zlib.h>

#include <new>
#include <stdexcept>

namespace trelm {

namespace {
constexpr size_t kInputBytes = size_t{1} << 18;
}

struct GzipFileStream::Inflater {
  z_stream stream{};
  Inflater() {
    // 16 + window bits: a gzip wrapper, whose CRC and length are checked.
    int status = inflateInit2(&stream, 16 + MAX_WBITS);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_OK) throw std::runtime_error("zlib could not be initialised");
  }
  ~Inflater() { inflateEnd(&stream); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

GzipFileStream::GzipFileStream(FileStream file, std::unique_ptr<Inflater> inflater) noexcept
    : file_(std::move(file)), inflater_(std::move(inflater)) {}
GzipFileStream::GzipFileStream(GzipFileStream&&) noexcept = default;
GzipFileStream& GzipFileStream::operator=(GzipFileStream&&) noexcept = default;
GzipFileStream::~GzipFileStream() = default;

Result<GzipFileStream> GzipFileStream::open(const std::string& path) {
  TRELM_ASSIGN(FileStream file, FileStream::open(path));
  GzipFileStream stream(std::move(file), std::make_unique<Inflater>());
  stream.input_.resize(kInputBytes);
  return stream;
}

Result<bool> GzipFileStream::refill() {
  z_stream& z = inflater_->stream;
  if (z.avail_in > 0) return true;
  if (file_ended_) return false;
  TRELM_ASSIGN(size_t got, file_.read(input_.data(), input_.size()));
  if (got == 0) {
    file_ended_ = true;
    return false;
  }
  consumed_ += got;
  z.next_in = input_.data();
  z.avail_in = static_cast<uInt>(got);
  return true;
}

Result<size_t> GzipFileStream::read(uint8_t* buffer, size_t capacity) {
  z_stream& z = inflater_->stream;
  size_t produced = 0;
  while (produced < capacity && !stream_ended_) {
    TRELM_ASSIGN(bool more, refill());
    if (!more) {
      if (produced > 0) break;  // report what came out; the next call fails
      return fail(std::string("the gzip stream ends early (the file is truncated)"));
    }
    const size_t room = std::min<size_t>(capacity - produced, UINT32_MAX);
    z.next_out = buffer + produced;
    z.avail_out = static_cast<uInt>(room);
    int status = inflate(&z, Z_NO_FLUSH);
    produced += room - z.avail_out;
    switch (status) {
      case Z_OK:
      case Z_BUF_ERROR: break;  // more input or room needed
      case Z_STREAM_END: {
        // Another member may follow; anything else is not part of the text.
        TRELM_ASSIGN(bool rest, refill());
        if (!rest) {
          stream_ended_ = true;
          break;
        }
        if (z.next_in[0] != 0x1f) return fail(std::string("data follows the end of the gzip stream"));
        if (inflateReset(&z) != Z_OK) return fail(std::string("the gzip stream is corrupt"));
        break;
      }
      case Z_MEM_ERROR: throw std::bad_alloc();
      default:
        return fail(std::string("the gzip stream is corrupt") + (z.msg ? std::string(" (") + z.msg + ")" : ""));
    }
  }
  return produced;
}

}  // namespace trelm
