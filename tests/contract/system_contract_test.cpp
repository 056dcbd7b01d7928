// Environment, shell folder, privilege and code-page facts the program
// relies on, checked through Platform only.
#include <gtest/gtest.h>

#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

using win::DWORD;

class SystemContract : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = MakeContractMachine(); }
  Platform& p() { return machine_->platform(); }
  std::u16string Expand(const std::u16string& text) {
    char16_t buffer[512];
    const DWORD needed = p().ExpandEnvironmentStringsW(text.c_str(), buffer, 512);
    if (needed == 0 || needed > 512) return u"<failed>";
    return std::u16string(buffer);
  }
  std::unique_ptr<ContractMachine> machine_;
};

TEST_F(SystemContract, ExpandReplacesDefinedVariablesOnly) {
  machine_->SetVariable(u"QuenwickProbe", u"C:\\Probe");
  EXPECT_EQ(Expand(u"%QuenwickProbe%\\x.exe"), u"C:\\Probe\\x.exe");
  EXPECT_EQ(Expand(u"%QUENWICKPROBE%\\x.exe"), u"C:\\Probe\\x.exe");
  EXPECT_EQ(Expand(u"%quenwickprobe%"), u"C:\\Probe");
  EXPECT_EQ(Expand(u"%QuenwickUndefined%\\x.exe"), u"%QuenwickUndefined%\\x.exe");
  EXPECT_EQ(Expand(u"100% sure"), u"100% sure");
  EXPECT_EQ(Expand(u"no variables"), u"no variables");
  EXPECT_EQ(Expand(u"%QuenwickProbe%%QuenwickProbe%"), u"C:\\ProbeC:\\Probe");
}

TEST_F(SystemContract, ExpandReportsTheSizeWithTheTerminator) {
  machine_->SetVariable(u"QuenwickProbe", u"C:\\Probe");  // 8 characters
  EXPECT_EQ(p().ExpandEnvironmentStringsW(u"%QuenwickProbe%\\a", nullptr, 0), 11u);
  char16_t small[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(p().ExpandEnvironmentStringsW(u"%QuenwickProbe%\\a", small, 4), 11u);
  char16_t exact[11];
  EXPECT_EQ(p().ExpandEnvironmentStringsW(u"%QuenwickProbe%\\a", exact, 11), 11u);
  EXPECT_EQ(std::u16string(exact), u"C:\\Probe\\a");
}

TEST_F(SystemContract, ProgramFilesFolderExists) {
  char16_t path[win::MAX_PATH];
  ASSERT_EQ(p().SHGetSpecialFolderPathW(win::HWND{}, path, win::CSIDL_PROGRAM_FILES, 0), 1);
  EXPECT_EQ(std::u16string(path), u"C:\\Program Files");
  const DWORD attributes = p().GetFileAttributesW(path);
  ASSERT_NE(attributes, win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & win::FILE_ATTRIBUTE_DIRECTORY, win::FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SystemContract, PrivilegeNamesHaveTheirWindowsLuids) {
  struct Case {
    const char16_t* name;
    DWORD luid;
  };
  const Case cases[] = {{u"SeDebugPrivilege", 20},  {u"SeShutdownPrivilege", 19},
                        {u"SeBackupPrivilege", 17}, {u"SeRestorePrivilege", 18},
                        {u"SeTakeOwnershipPrivilege", 9}, {u"SeSecurityPrivilege", 8}};
  for (const Case& c : cases) {
    win::LUID luid{};
    ASSERT_EQ(p().LookupPrivilegeValueW(nullptr, c.name, &luid), 1);
    EXPECT_EQ(luid.LowPart, c.luid);
    EXPECT_EQ(luid.HighPart, 0);
  }
  win::LUID luid{};
  EXPECT_EQ(p().LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_NO_SUCH_PRIVILEGE);
}

TEST_F(SystemContract, EnablingAHeldPrivilegeSucceedsCleanly) {
  win::HANDLE token{};
  ASSERT_EQ(p().OpenProcessToken(p().GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES, &token), 1);
  win::TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = 1;
  ASSERT_EQ(p().LookupPrivilegeValueW(nullptr, u"SeShutdownPrivilege", &state.Privileges[0].Luid),
            1);
  state.Privileges[0].Attributes = win::SE_PRIVILEGE_ENABLED;
  EXPECT_EQ(p().AdjustTokenPrivileges(token, 0, &state, sizeof state, nullptr, nullptr), 1);
  EXPECT_EQ(p().GetLastError(), win::ERROR_SUCCESS);
  EXPECT_EQ(p().CloseHandle(token), 1);
}

TEST_F(SystemContract, AnsiConversionFollowsWindows1252) {
  const char text[] = "C:\\\x80\xe9.exe";  // euro sign, e acute
  EXPECT_EQ(p().MultiByteToWideChar(win::CP_ACP, 0, text, -1, nullptr, 0), 10);
  char16_t wide[16];
  ASSERT_EQ(p().MultiByteToWideChar(win::CP_ACP, 0, text, -1, wide, 16), 10);
  EXPECT_EQ(std::u16string(wide), u"C:\\\u20ac\u00e9.exe");
  EXPECT_EQ(p().MultiByteToWideChar(win::CP_ACP, 0, text, 3, wide, 16), 3);
  EXPECT_EQ(p().MultiByteToWideChar(win::CP_ACP, 0, text, -1, wide, 4), 0);
  EXPECT_EQ(p().GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace quenwick::contract
