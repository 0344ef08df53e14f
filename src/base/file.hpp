// Whole-file and streaming file access with error texts in the platform's
// wording ("No such file or directory (os error 2)").
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.hpp"

namespace trelm {

// The platform's description of an errno value, with its number.
std::string os_error_text(int error_number);

// Reads the whole file. The error is the os error text alone; callers add
// their own prefix. A path holding a NUL byte fails like an unopenable file.
Result<std::vector<uint8_t>> read_whole_file(const std::string& path);

// How the bytes of a file will be read: Whole from start to end (then they
// are read into memory), or Scattered, a few places here and there (then the
// file is mapped, and only the pages read are brought in, without read-ahead
// around them).
enum class FileAccess : uint8_t { Whole, Scattered };

// The bytes of a whole file: mapped read-only, or held in memory. Move-only;
// the mapping ends with the object. A mapped file that shrinks while mapped
// cannot be read past its new end, so only Scattered reads map: a whole-file
// read of a file that is cut meanwhile just ends short.
class FileBytes {
 public:
  FileBytes() = default;
  explicit FileBytes(std::vector<uint8_t> bytes) noexcept : owned_(std::move(bytes)) {}
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  ~FileBytes();

  std::span<const uint8_t> span() const noexcept {
    return mapped_ ? std::span<const uint8_t>(mapped_, mapped_size_) : std::span<const uint8_t>(owned_);
  }
  size_t size() const noexcept { return span().size(); }
  bool mapped() const noexcept { return mapped_ != nullptr; }

 private:
  friend class FileStream;
  FileBytes(const uint8_t* mapped, size_t size) noexcept : mapped_(mapped), mapped_size_(size) {}
  void unmap() noexcept;

  const uint8_t* mapped_ = nullptr;
  size_t mapped_size_ = 0;
  std::vector<uint8_t> owned_;
};

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

  // The whole file for the given access: for Scattered, mapped when it is a
  // regular file that the system maps; otherwise (Whole access, a pipe, a
  // device, an empty file, a refused mapping) read from the position to the
  // end as read_all does, with its errors.
  Result<FileBytes> all_bytes(FileAccess access);

 private:
  explicit FileStream(int fd) noexcept : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace trelm
