#include "base/file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trelm {

std::string os_error_text(int error_number) {
  return std::string(std::strerror(error_number)) + " (os error " + std::to_string(error_number) + ")";
}

FileStream::FileStream(FileStream&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileStream& FileStream::operator=(FileStream&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::close(fd_);
}

Result<FileStream> FileStream::open(const std::string& path) {
  if (path.find('\0') != std::string::npos) return fail(os_error_text(EINVAL));
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(os_error_text(errno));
  return FileStream(fd);
}

uint64_t FileStream::size_hint() const noexcept {
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

Result<size_t> FileStream::read(uint8_t* buffer, size_t capacity) {
  for (;;) {
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return fail(os_error_text(errno));
  }
}

Result<std::vector<uint8_t>> read_whole_file(const std::string& path) {
  TRELM_ASSIGN(FileStream stream, FileStream::open(path));
  return stream.read_all();
}

Result<std::vector<uint8_t>> FileStream::read_all() {
  // The size is a hint only: the file may change while it is read.
  uint64_t hint = size_hint();
  std::vector<uint8_t> bytes(hint > 0 && hint < (uint64_t{1} << 40) ? static_cast<size_t>(hint) + 1 : size_t{1} << 20);
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    TRELM_ASSIGN(size_t got, read(bytes.data() + used, bytes.size() - used));
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  if (bytes.capacity() - used > (size_t{1} << 20)) bytes.shrink_to_fit();
  return bytes;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : mapped_(other.mapped_), mapped_size_(other.mapped_size_), owned_(std::move(other.owned_)) {
  other.mapped_ = nullptr;
  other.mapped_size_ = 0;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    unmap();
    mapped_ = other.mapped_;
    mapped_size_ = other.mapped_size_;
    owned_ = std::move(other.owned_);
    other.mapped_ = nullptr;
    other.mapped_size_ = 0;
  }
  return *this;
}

FileBytes::~FileBytes() { unmap(); }

void FileBytes::unmap() noexcept {
  if (mapped_) ::munmap(const_cast<uint8_t*>(mapped_), mapped_size_);
  mapped_ = nullptr;
  mapped_size_ = 0;
}

Result<FileBytes> FileStream::all_bytes(FileAccess access) {
  uint64_t size = size_hint();
  if (access == FileAccess::Scattered && size > 0 && size <= SIZE_MAX) {
    void* at = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd_, 0);
    if (at != MAP_FAILED) {
      // Advice only: a kernel that ignores it reads the same bytes.
      ::madvise(at, static_cast<size_t>(size), MADV_RANDOM);
      return FileBytes(static_cast<const uint8_t*>(at), static_cast<size_t>(size));
    }
  }
  TRELM_ASSIGN(std::vector<uint8_t> bytes, read_all());
  return FileBytes(std::move(bytes));
}

}  // namespace trelm
