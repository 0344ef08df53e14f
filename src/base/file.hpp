// Whole-file and streaming file access with error texts in the platform's
// wording ("No such file or directory (os error 2)").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace trelm {

// The platform's description of an errno value, with its number.
std::string os_error_text(int error_number);

// Reads the whole file. The error is the os error text alone; callers add
// their own prefix. A path holding a NUL byte fails like an unopenable file.
Result<std::vector<uint8_t>> read_whole_file(const std::string& path);

// A file opened for sequential reading in large blocks.
class FileStream {
 public:
  FileStream() = default;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  FileStream(FileStream&& other) noexcept;
  FileStream& operator=(FileStream&& other) noexcept;
  ~FileStream();

  // Opens the path read-only; the error is the os error text.
  static Result<FileStream> open(const std::string& path);

  // Reads up to `capacity` bytes. Returns the count (0 at end of file), or an
  // error text when reading fails (interrupted reads are retried).
  Result<size_t> read(uint8_t* buffer, size_t capacity);

  // Reads from the position to the end of the file; the error is the os
  // error text of the read that failed.
  Result<std::vector<uint8_t>> read_all();

  // The size of a regular file, or 0 when unknown.
  uint64_t size_hint() const noexcept;

 private:
  explicit FileStream(int fd) noexcept : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace trelm
