// File-system facts the program relies on, checked through Platform only.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

using win::BOOL;
using win::DWORD;

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = MakeContractMachine();
    dir_ = machine_->ScratchFolder();
  }
  void TearDown() override { machine_->ReleaseFiles(); }
  Platform& p() { return machine_->platform(); }
  std::u16string At(const std::u16string& relative) const { return dir_ + u"\\" + relative; }
  DWORD Attributes(const std::u16string& path) { return p().GetFileAttributesW(path.c_str()); }

  std::unique_ptr<ContractMachine> machine_;
  std::u16string dir_;
};

TEST_F(FilesContract, MissingEntriesReportFileOrPathNotFound) {
  EXPECT_EQ(Attributes(At(u"missing.txt")), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Attributes(At(u"missing\\file.txt")), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p().GetLastError(), win::ERROR_PATH_NOT_FOUND);

  EXPECT_EQ(p().DeleteFileW(At(u"missing.txt").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(p().DeleteFileW(At(u"missing\\file.txt").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(p().RemoveDirectoryW(At(u"missing").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(p().SetFileAttributesW(At(u"missing.txt").c_str(), win::FILE_ATTRIBUTE_NORMAL), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesContract, AttributesTellFilesFromFolders) {
  machine_->MakeFile(At(u"file.txt"));
  machine_->MakeFolder(At(u"folder"));
  const DWORD file = Attributes(At(u"file.txt"));
  const DWORD folder = Attributes(At(u"folder"));
  ASSERT_NE(file, win::INVALID_FILE_ATTRIBUTES);
  ASSERT_NE(folder, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(folder & win::FILE_ATTRIBUTE_DIRECTORY, win::FILE_ATTRIBUTE_DIRECTORY);
  // A trailing separator is allowed for a folder.
  EXPECT_EQ(Attributes(At(u"folder\\")), folder);
}

TEST_F(FilesContract, PathsAreNormalisedAndCaseInsensitive) {
  machine_->MakeFolder(At(u"Sub"));
  machine_->MakeFile(At(u"Sub\\Target.TXT"));
  const DWORD want = Attributes(At(u"Sub\\Target.TXT"));
  ASSERT_NE(want, win::INVALID_FILE_ATTRIBUTES);
  std::u16string slashes = At(u"sub/target.txt");
  const std::u16string variants[] = {
      At(u"SUB\\TARGET.txt"),         slashes,
      At(u"Sub\\\\\\Target.TXT"),     At(u"Sub\\.\\Target.TXT"),
      At(u"Other\\..\\Sub\\Target.TXT"), u"\\\\?\\" + At(u"Sub\\Target.TXT"),
  };
  for (const std::u16string& path : variants) {
    EXPECT_EQ(Attributes(path), want) << std::string(path.begin(), path.end());
  }
}

TEST_F(FilesContract, DeleteFileRefusesFoldersAndReadOnlyFiles) {
  machine_->MakeFolder(At(u"folder"));
  EXPECT_EQ(p().DeleteFileW(At(u"folder").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_ACCESS_DENIED);

  machine_->MakeFile(At(u"readonly.txt"), win::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(p().DeleteFileW(At(u"readonly.txt").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_ACCESS_DENIED);
  ASSERT_EQ(p().SetFileAttributesW(At(u"readonly.txt").c_str(), win::FILE_ATTRIBUTE_NORMAL), 1);
  EXPECT_EQ(p().DeleteFileW(At(u"readonly.txt").c_str()), 1);
  EXPECT_EQ(Attributes(At(u"readonly.txt")), win::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesContract, DeletingAFileHeldOpenFailsWithSharingViolation) {
  machine_->MakeFile(At(u"busy.dll"));
  machine_->HoldOpen(At(u"busy.dll"));
  EXPECT_EQ(p().DeleteFileW(At(u"busy.dll").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_SHARING_VIOLATION);
  machine_->ReleaseFiles();
  EXPECT_EQ(p().DeleteFileW(At(u"busy.dll").c_str()), 1);
}

TEST_F(FilesContract, NormalAttributeClearsReadOnlyHiddenAndSystem) {
  machine_->MakeFile(At(u"guarded.exe"), win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN |
                                             win::FILE_ATTRIBUTE_SYSTEM);
  const DWORD before = Attributes(At(u"guarded.exe"));
  EXPECT_EQ(before & (win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN |
                      win::FILE_ATTRIBUTE_SYSTEM),
            win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM);
  ASSERT_EQ(p().SetFileAttributesW(At(u"guarded.exe").c_str(), win::FILE_ATTRIBUTE_NORMAL), 1);
  const DWORD after = Attributes(At(u"guarded.exe"));
  EXPECT_EQ(after & (win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN |
                     win::FILE_ATTRIBUTE_SYSTEM),
            0u);
  if (machine_->simulated()) {
    EXPECT_EQ(after, win::FILE_ATTRIBUTE_NORMAL);
  } else {
    // Windows reports a file without attributes as FILE_ATTRIBUTE_NORMAL;
    // Wine reports FILE_ATTRIBUTE_ARCHIVE for it.
    EXPECT_TRUE(after == win::FILE_ATTRIBUTE_NORMAL || after == win::FILE_ATTRIBUTE_ARCHIVE) << after;
  }

  machine_->MakeFolder(At(u"folder"));
  ASSERT_EQ(p().SetFileAttributesW(At(u"folder").c_str(), win::FILE_ATTRIBUTE_NORMAL), 1);
  EXPECT_EQ(Attributes(At(u"folder")) & win::FILE_ATTRIBUTE_DIRECTORY,
            win::FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesContract, RemoveDirectoryNeedsAnEmptyFolder) {
  machine_->MakeFolder(At(u"full"));
  machine_->MakeFile(At(u"full\\inside.txt"));
  machine_->MakeFile(At(u"plain.txt"));
  EXPECT_EQ(p().RemoveDirectoryW(At(u"full").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(p().RemoveDirectoryW(At(u"plain.txt").c_str()), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_DIRECTORY);
  ASSERT_EQ(p().DeleteFileW(At(u"full\\inside.txt").c_str()), 1);
  EXPECT_EQ(p().RemoveDirectoryW(At(u"full").c_str()), 1);
  EXPECT_EQ(Attributes(At(u"full")), win::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesContract, SearchListsDotEntriesFirstAndEveryName) {
  machine_->MakeFolder(At(u"tree"));
  machine_->MakeFile(At(u"tree\\b.txt"));
  machine_->MakeFile(At(u"tree\\NoDot"));
  machine_->MakeFolder(At(u"tree\\A sub"));
  std::vector<std::u16string> names = FindAll(p(), At(u"tree\\*.*"));
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], u".");
  EXPECT_EQ(names[1], u"..");
  std::sort(names.begin() + 2, names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"A sub", u"NoDot", u"b.txt"}));

  EXPECT_EQ(FindAll(p(), At(u"tree\\*.txt")), std::vector<std::u16string>{u"b.txt"});
}

TEST_F(FilesContract, SearchFailuresAndTheEndOfASearch) {
  machine_->MakeFolder(At(u"empty"));
  win::WIN32_FIND_DATAW data{};
  EXPECT_EQ(p().FindFirstFileW(At(u"missing\\*.*").c_str(), &data), win::INVALID_FIND_HANDLE);
  EXPECT_EQ(p().GetLastError(), win::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(p().FindFirstFileW(At(u"empty\\*.exe").c_str(), &data), win::INVALID_FIND_HANDLE);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);

  win::HFIND find = p().FindFirstFileW(At(u"empty\\*").c_str(), &data);
  ASSERT_NE(find, win::INVALID_FIND_HANDLE);
  EXPECT_EQ(std::u16string(data.cFileName), u".");
  EXPECT_EQ(p().FindNextFileW(find, &data), 1);
  EXPECT_EQ(std::u16string(data.cFileName), u"..");
  EXPECT_EQ(p().FindNextFileW(find, &data), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_NO_MORE_FILES);
  EXPECT_EQ(p().FindClose(find), 1);
}

TEST_F(FilesContract, DeletionAtRestartRegistersWithoutTouchingTheFile) {
  machine_->MakeFile(At(u"later.exe"));
  machine_->HoldOpen(At(u"later.exe"));
  EXPECT_EQ(p().MoveFileExW(At(u"later.exe").c_str(), nullptr,
                            win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT),
            1);
  EXPECT_NE(Attributes(At(u"later.exe")), win::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesContract, LongPathNamesKeepTheStoredCase) {
  machine_->MakeFolder(At(u"MixedCase"));
  machine_->MakeFile(At(u"MixedCase\\Program.EXE"));
  const std::u16string asked = At(u"mixedcase\\PROGRAM.exe");
  const std::u16string want = At(u"MixedCase\\Program.EXE");
  char16_t buffer[400];
  // Too small: the size needed, terminator included.
  EXPECT_EQ(p().GetLongPathNameW(asked.c_str(), buffer, 5), want.size() + 1);
  const DWORD length = p().GetLongPathNameW(asked.c_str(), buffer, 400);
  EXPECT_EQ(length, want.size());
  // Only the components below the scratch folder are compared: the scratch
  // folder's own path may hold short names on a real machine.
  const std::u16string tail = std::u16string(buffer).substr(length - 21);
  if (machine_->simulated()) {
    EXPECT_EQ(tail, u"MixedCase\\Program.EXE");
  } else {
    // Windows gives each component as stored; Wine keeps the case it was
    // asked with. The program compares image paths without regard to case.
    EXPECT_TRUE(EqualsIgnoreAsciiCase(tail, u"MixedCase\\Program.EXE"));
  }

  EXPECT_EQ(p().GetLongPathNameW(At(u"missing.exe").c_str(), buffer, 400), 0u);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesContract, FullPathNamesAreLexical) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  const Case cases[] = {
      {u"C:\\a\\b\\..\\..", u"C:\\"},
      {u"C:/x//y/./z", u"C:\\x\\y\\z"},
      {u"C:\\x\\..\\..\\..\\y", u"C:\\y"},
      {u"C:\\dir\\", u"C:\\dir\\"},
      {u"C:\\name.", u"C:\\name"},
  };
  for (const Case& c : cases) {
    char16_t buffer[64];
    char16_t* filePart = nullptr;
    const DWORD length = p().GetFullPathNameW(c.in, 64, buffer, &filePart);
    EXPECT_EQ(std::u16string(buffer, length), c.out);
  }
  char16_t buffer[64];
  char16_t* filePart = nullptr;
  ASSERT_EQ(p().GetFullPathNameW(u"C:\\dir\\file.txt", 64, buffer, &filePart), 15u);
  ASSERT_NE(filePart, nullptr);
  EXPECT_EQ(std::u16string(filePart), u"file.txt");
  EXPECT_EQ(p().GetFullPathNameW(u"C:\\dir\\file.txt", 4, buffer, &filePart), 16u);
}

TEST_F(FilesContract, DriveStringsListDriveC) {
  char16_t buffer[128];
  const DWORD length = p().GetLogicalDriveStringsW(128, buffer);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, 128u);
  EXPECT_EQ(std::u16string(buffer), u"C:\\");
  EXPECT_EQ(buffer[length], u'\0');
  EXPECT_EQ(p().GetLogicalDriveStringsW(2, buffer), length + 1);
}

}  // namespace
}  // namespace quenwick::contract
