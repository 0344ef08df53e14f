// FileBytes through FileStream::all_bytes: scattered reads of regular files
// mapped, whole reads and what cannot be mapped read, and a mapping's life
// across moves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/file.hpp"

namespace trelm {
namespace {

std::string temp_file_with(const std::string& content) {
  char name[] = "/tmp/trelm_file_bytes_XXXXXX";
  int fd = ::mkstemp(name);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(fd);
  return name;
}

Result<FileBytes> map(const std::string& path, FileAccess access = FileAccess::Scattered) {
  auto stream = FileStream::open(path);
  EXPECT_TRUE(stream.ok());
  return stream->all_bytes(access);
}

std::string text(const FileBytes& bytes) { return std::string(bytes.span().begin(), bytes.span().end()); }

class FileContent : public testing::TestWithParam<FileAccess> {};

TEST_P(FileContent, HoldsTheFileAndOutlivesMoves) {
  std::string content(100000, 'a');
  content[99999] = 'z';
  std::string path = temp_file_with(content);
  auto bytes = map(path, GetParam());
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes->mapped(), GetParam() == FileAccess::Scattered);
  FileBytes moved(std::move(bytes).value());
  FileBytes assigned;
  assigned = std::move(moved);
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_EQ(text(assigned), content);
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Access, FileContent, testing::Values(FileAccess::Whole, FileAccess::Scattered));

TEST(FileBytes, WhatCannotBeMappedIsRead) {
  // procfs reports a size of 0 for files that have content; an empty file
  // has nothing to map.
  auto status = map("/proc/self/status");
  ASSERT_TRUE(status.ok());
  EXPECT_FALSE(status->mapped());
  EXPECT_NE(text(*status).find("VmRSS"), std::string::npos);

  std::string empty = temp_file_with("");
  auto none = map(empty);
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(none->size(), 0u);
  std::remove(empty.c_str());
}

TEST(FileBytes, ADirectoryOpensButFailsToRead) {
  auto bytes = map("/tmp");
  ASSERT_FALSE(bytes.ok());
  EXPECT_EQ(bytes.error(), os_error_text(EISDIR));
}

}  // namespace
}  // namespace trelm
