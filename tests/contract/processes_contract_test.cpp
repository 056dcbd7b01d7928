// Process facts the program relies on, checked through Platform only, on
// the test's own process.
#include <gtest/gtest.h>

#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

using win::DWORD;

constexpr DWORD kKillAccess =
    win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ | win::PROCESS_TERMINATE;

class ProcessesContract : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = MakeContractMachine(); }
  Platform& p() { return machine_->platform(); }
  std::unique_ptr<ContractMachine> machine_;
};

TEST_F(ProcessesContract, CurrentProcessIsAPseudoHandle) {
  EXPECT_EQ(p().GetCurrentProcess().value, static_cast<std::uintptr_t>(-1));
  EXPECT_NE(p().GetCurrentProcessId(), 0u);
  EXPECT_EQ(p().CloseHandle(p().GetCurrentProcess()), 1);
  // Waiting for oneself never sees oneself end.
  EXPECT_EQ(p().WaitForSingleObject(p().GetCurrentProcess(), 0), win::WAIT_TIMEOUT);
}

TEST_F(ProcessesContract, SnapshotListsTheCurrentProcessUnderItsFileName) {
  const DWORD self = p().GetCurrentProcessId();
  win::HANDLE process = p().OpenProcess(kKillAccess, 0, self);
  ASSERT_TRUE(process);
  char16_t image[1024];
  const DWORD length = p().GetModuleFileNameExW(process, win::HMODULE{}, image, 1024);
  ASSERT_GT(length, 3u);
  EXPECT_EQ(std::u16string(image).size(), length);
  EXPECT_EQ(std::u16string(image, 3).substr(1), u":\\");
  EXPECT_EQ(p().GetFileAttributesW(image) & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
  win::BOOL critical = 1;
  EXPECT_EQ(p().IsProcessCritical(process, &critical), 1);
  EXPECT_EQ(critical, 0);
  EXPECT_EQ(p().CloseHandle(process), 1);

  const std::u16string path(image, length);
  const std::u16string fileName = path.substr(path.rfind(u'\\') + 1);
  win::HANDLE snapshot = p().CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, win::INVALID_HANDLE_VALUE);
  win::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int found = 0;
  for (win::BOOL more = p().Process32FirstW(snapshot, &entry); more;
       more = p().Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID != self) continue;
    ++found;
    EXPECT_EQ(std::u16string(entry.szExeFile), fileName);
  }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(p().GetLastError(), win::ERROR_NO_MORE_FILES);
  EXPECT_EQ(p().Process32NextW(snapshot, &entry), 0);
  EXPECT_EQ(p().CloseHandle(snapshot), 1);
}

TEST_F(ProcessesContract, SnapshotEntriesNeedTheirSizeSet) {
  win::HANDLE snapshot = p().CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, win::INVALID_HANDLE_VALUE);
  win::PROCESSENTRY32W entry{};
  entry.dwSize = 0;
  EXPECT_EQ(p().Process32FirstW(snapshot, &entry), 0);
  EXPECT_EQ(p().CloseHandle(snapshot), 1);
}

TEST_F(ProcessesContract, OpeningProcessZeroFails) {
  EXPECT_FALSE(p().OpenProcess(kKillAccess, 0, 0));
  EXPECT_EQ(p().GetLastError(), win::ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessesContract, ClosingAnUnknownHandleFails) {
  win::HANDLE snapshot = p().CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
  ASSERT_EQ(p().CloseHandle(snapshot), 1);
  EXPECT_EQ(p().CloseHandle(snapshot), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_INVALID_HANDLE);
}

TEST_F(ProcessesContract, StartingSomethingThatIsNoProgramFails) {
  const std::u16string dir = machine_->ScratchFolder();
  machine_->MakeFolder(dir + u"\\folder.exe");
  win::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  win::PROCESS_INFORMATION info{};
  std::u16string missing = dir + u"\\missing.exe";
  std::u16string commandLine = u"\"" + missing + u"\" /S";
  EXPECT_EQ(p().CreateProcessW(missing.c_str(), commandLine.data(), nullptr, nullptr, 0, 0,
                               nullptr, nullptr, &startup, &info),
            0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_FILE_NOT_FOUND);

  std::u16string folder = dir + u"\\folder.exe";
  commandLine = u"\"" + folder + u"\" /S";
  EXPECT_EQ(p().CreateProcessW(folder.c_str(), commandLine.data(), nullptr, nullptr, 0, 0, nullptr,
                               nullptr, &startup, &info),
            0);
  if (machine_->simulated()) {
    EXPECT_EQ(p().GetLastError(), win::ERROR_ACCESS_DENIED);
  } else {
    // Windows refuses a folder with ERROR_ACCESS_DENIED; Wine with
    // ERROR_INVALID_HANDLE. The program only tells success from failure.
    EXPECT_NE(p().GetLastError(), 0u);
  }
}

}  // namespace
}  // namespace quenwick::contract
