// Folders for a test's files under the system's temporary folder.
#ifndef KW_TESTS_SUPPORT_SCRATCH_FOLDER_H
#define KW_TESTS_SUPPORT_SCRATCH_FOLDER_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kwtest {

// A fresh empty folder named after the running test and the process, made
// before the test and removed after it: dir_.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path dir_;
};

// A fresh empty folder "kw-NAME" under GoogleTest's temporary folder, kept
// after the test (a failed run's outputs stay to be looked at).
std::string tempFolder(const std::string& name);

}  // namespace kwtest

#endif
