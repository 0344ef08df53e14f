// GzipFileStream: the text of a gzip-compressed file, inflated as it is read,
// in large blocks (never decompressed to disk or whole into memory). Members
// written one after another read as one text; any other data after the
// stream, a stream that ends early and a corrupt one are errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "base/result.hpp"

namespace trelm {

class GzipFileStream {
 public:
  GzipFileStream(GzipFileStream&&) noexcept;
  GzipFileStream& operator=(GzipFileStream&&) noexcept;
  ~GzipFileStream();

  // Opens the path read-only; the error is the os error text.
  static Result<GzipFileStream> open(const std::string& path);

  // Reads up to `capacity` bytes of text. Returns the count (0 at the end of
  // the stream), or an error text.
  Result<size_t> read(uint8_t* buffer, size_t capacity);

  // Compressed bytes read from the file so far, and the file's size (0 when
  // unknown).
  uint64_t consumed() const noexcept { return consumed_; }
  uint64_t size_hint() const noexcept { return file_.size_hint(); }

 private:
  struct Inflater;
  GzipFileStream(FileStream file, std::unique_ptr<Inflater> inflater) noexcept;
  // Fills the input buffer when it is empty; false at the end of the file.
  Result<bool> refill();

  FileStream file_;
  std::unique_ptr<Inflater> inflater_;
  std::vector<uint8_t> input_;
  uint64_t consumed_ = 0;
  bool file_ended_ = false;
  bool stream_ended_ = false;
};

}  // namespace trelm
