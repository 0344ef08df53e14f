// A fixture with a folder of its own for the files a test writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace trelm {

class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* unit = ::testing::UnitTest::GetInstance();
    dir_ = std::filesystem::temp_directory_path() /
           ("trelm_test_" + std::to_string(unit->random_seed()) + "_" + unit->current_test_info()->test_suite_name() +
            "_" + unit->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& bytes) {
    auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::filesystem::path dir_;
};

}  // namespace trelm
