// Facts the removal layer relies on for paths beyond the classic limit: the
// "\\?\" form reaches them with every call that removes or registers.
#include <gtest/gtest.h>

#include <algorithm>

#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

class RemovalContract : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = MakeContractMachine();
    // Six levels of 50 characters: well over 300 characters.
    deep_ = machine_->ScratchFolder();
    for (int level = 0; level < 6; ++level) deep_ += u"\\" + std::u16string(50, u'L');
  }
  void TearDown() override { machine_->ReleaseFiles(); }
  Platform& p() { return machine_->platform(); }
  static std::u16string Long(const std::u16string& path) {
    return std::u16string(kLongPrefix) + path;
  }

  std::unique_ptr<ContractMachine> machine_;
  std::u16string deep_;
};

TEST_F(RemovalContract, LongFormReachesEveryCallOfTheRemoval) {
  ASSERT_GT(deep_.size(), 300u);
  const std::u16string file = Long(deep_ + u"\\payload.exe");
  machine_->MakeFolder(Long(deep_));
  machine_->MakeFile(file, win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN);

  const win::DWORD attributes = p().GetFileAttributesW(file.c_str());
  ASSERT_NE(attributes, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & win::FILE_ATTRIBUTE_READONLY, win::FILE_ATTRIBUTE_READONLY);
  const auto names = FindAll(p(), Long(deep_ + u"\\*.*"));
  EXPECT_NE(std::find(names.begin(), names.end(), u"payload.exe"), names.end());

  EXPECT_EQ(p().SetFileAttributesW(file.c_str(), win::FILE_ATTRIBUTE_NORMAL), 1);
  EXPECT_EQ(p().DeleteFileW(file.c_str()), 1);
  EXPECT_EQ(p().GetFileAttributesW(file.c_str()), win::INVALID_FILE_ATTRIBUTES);

  // A long path that is in use is registered for deletion at the next start.
  machine_->MakeFile(file);
  machine_->HoldOpen(file);
  EXPECT_EQ(p().DeleteFileW(file.c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(p().MoveFileExW(file.c_str(), nullptr,
                            win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT),
            1);
  machine_->ReleaseFiles();
  EXPECT_EQ(p().DeleteFileW(file.c_str()), 1);

  // Emptied folders go the same way, deepest first.
  for (std::u16string folder = deep_; folder.size() > machine_->ScratchFolder().size();
       folder.resize(folder.rfind(u'\\'))) {
    EXPECT_EQ(p().RemoveDirectoryW(Long(folder).c_str()), 1);
  }
  EXPECT_EQ(p().GetFileAttributesW(Long(deep_).c_str()), win::INVALID_FILE_ATTRIBUTES);
}

TEST_F(RemovalContract, ClassicFormRefusesPathsOfMaxPathCharacters) {
  machine_->MakeFolder(Long(deep_));
  if (!machine_->simulated()) {
    // Wine does not enforce the classic limit (Windows does, for programs
    // that have not declared themselves long-path aware).
    GTEST_SKIP() << "Wine accepts long paths in the classic form";
  }
  EXPECT_EQ(p().GetFileAttributesW(deep_.c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p().RemoveDirectoryW(deep_.c_str()), 0);
  EXPECT_NE(p().GetFileAttributesW(Long(deep_).c_str()), win::INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace quenwick::contract
