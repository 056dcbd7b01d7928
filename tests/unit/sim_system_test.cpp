// The simulated machine's resources, dialogue, console, environment, shell
// folders, token and code page.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sim/sim_machine.h"

namespace quenwick::sim {
namespace {

using win::DWORD;

const char16_t* IntResource(std::uintptr_t id) { return reinterpret_cast<const char16_t*>(id); }

TEST(SimResources, StringIdsCompareWithoutCaseAndNumericTypesStayApart) {
  SimMachine m;
  m.SetResource(u"IDR_V2", u"RT_RCDATA", {1, 2, 3});
  m.SetResourceWithNumericType(u"IDR_NUM", 10, {9});

  win::HRSRC found = m.FindResourceW(win::HMODULE{}, u"idr_v2", u"rt_rcdata");
  ASSERT_TRUE(found);
  EXPECT_EQ(m.SizeofResource(win::HMODULE{}, found), 3u);
  const win::HGLOBAL data = m.LoadResource(win::HMODULE{}, found);
  ASSERT_TRUE(data);
  const auto* bytes = static_cast<const std::uint8_t*>(m.LockResource(data));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[2], 3);

  // Filed under the number 10: a string type never finds it.
  EXPECT_FALSE(m.FindResourceW(win::HMODULE{}, u"IDR_NUM", u"RT_RCDATA"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_TRUE(m.FindResourceW(win::HMODULE{}, u"IDR_NUM", IntResource(10)));
  EXPECT_TRUE(m.FindResourceW(win::HMODULE{}, u"IDR_NUM", u"#10"));
  EXPECT_FALSE(m.FindResourceW(win::HMODULE{}, u"IDR_V2", u"RT_OTHER"));
  EXPECT_EQ(m.GetLastError(), win::ERROR_RESOURCE_TYPE_NOT_FOUND);

  // Replacing a resource leaves the old bytes where a caller may hold them.
  m.SetResource(u"IDR_V2", u"RT_RCDATA", {7});
  EXPECT_EQ(bytes[0], 1);
  const win::HRSRC replaced = m.FindResourceW(win::HMODULE{}, u"IDR_V2", u"RT_RCDATA");
  EXPECT_EQ(m.SizeofResource(win::HMODULE{}, replaced), 1u);
}

TEST(SimResources, LoadAndLockFailuresCanBeInjected) {
  SimMachine m;
  m.SetResource(u"IDR_V2", u"RT_RCDATA", {1});
  const win::HRSRC found = m.FindResourceW(win::HMODULE{}, u"IDR_V2", u"RT_RCDATA");
  const win::HGLOBAL data = m.LoadResource(win::HMODULE{}, found);
  m.FailLockResource();
  EXPECT_EQ(m.LockResource(data), nullptr);
  m.FailLoadResource();
  EXPECT_FALSE(m.LoadResource(win::HMODULE{}, found));
}

TEST(SimDialogue, QueuedAnswersThenZero) {
  SimMachine m;
  m.QueueAnswers({win::IDYES, win::IDNO});
  EXPECT_EQ(m.MessageBoxW(win::HWND{}, u"Scan?", u"Quenwick", win::MB_YESNO), win::IDYES);
  EXPECT_EQ(m.MessageBoxW(win::HWND{}, u"Remove?", u"Rogue", win::MB_YESNO), win::IDNO);
  EXPECT_EQ(m.MessageBoxW(win::HWND{}, u"Done.", u"Done", win::MB_OK), 0);
  ASSERT_EQ(m.MessageBoxes().size(), 3u);
  EXPECT_EQ(m.MessageBoxes()[1].text, u"Remove?");
  EXPECT_EQ(m.MessageBoxes()[1].caption, u"Rogue");
  EXPECT_EQ(m.MessageBoxes()[1].answer, win::IDNO);
  EXPECT_EQ(m.MessageBoxes()[2].type, win::MB_OK);
}

TEST(SimDialogue, ConsoleKeepsOneStreamAndClsClearsTheScreen) {
  SimMachine m;
  m.WriteConsole("banner\n");
  m.WriteConsoleWide(u"Caf\u00e9 found.\n");
  EXPECT_EQ(m.RunCommandInterpreter("cls"), 0);
  m.WriteConsole("again\n");
  m.RunCommandInterpreter("pause");
  EXPECT_EQ(m.ConsoleTranscript(), "banner\nCaf\xc3\xa9 found.\nagain\n");
  EXPECT_EQ(m.ConsoleScreen(), "again\n");
  EXPECT_EQ(m.Commands(), (std::vector<std::string>{"cls", "pause"}));
}

TEST(SimEnvironment, ExpansionEdgeCases) {
  SimMachine m;
  m.SetEnvironment(u"SystemRoot", u"C:\\Windows");
  auto expand = [&](const char16_t* text) {
    char16_t buffer[128];
    const DWORD n = m.ExpandEnvironmentStringsW(text, buffer, 128);
    return std::u16string(buffer, n - 1);
  };
  EXPECT_EQ(expand(u"%SYSTEMROOT%\\x"), u"C:\\Windows\\x");
  EXPECT_EQ(expand(u"%SystemRooot%\\x"), u"%SystemRooot%\\x");
  EXPECT_EQ(expand(u"%%"), u"%%");
  EXPECT_EQ(expand(u"a%b"), u"a%b");
  EXPECT_EQ(expand(u"%Undefined%SystemRoot%"), u"%Undefined%SystemRoot%");
  EXPECT_EQ(expand(u""), u"");
  m.UnsetEnvironment(u"systemroot");
  EXPECT_EQ(expand(u"%SystemRoot%"), u"%SystemRoot%");
}

TEST(SimEnvironment, ShellFoldersCanFail) {
  SimMachine m;
  m.SetShellFolder(win::CSIDL_APPDATA, u"C:\\Users\\U\\AppData\\Roaming");
  char16_t path[win::MAX_PATH];
  EXPECT_EQ(m.SHGetSpecialFolderPathW(win::HWND{}, path, win::CSIDL_APPDATA, 0), 1);
  EXPECT_EQ(std::u16string(path), u"C:\\Users\\U\\AppData\\Roaming");
  EXPECT_EQ(m.SHGetSpecialFolderPathW(win::HWND{}, path, win::CSIDL_SYSTEM, 0), 0);
  m.FailShellFolder(win::CSIDL_APPDATA);
  EXPECT_EQ(m.SHGetSpecialFolderPathW(win::HWND{}, path, win::CSIDL_APPDATA, 0), 0);
}

TEST(SimEnvironment, StandardMachineHasTheWindows7Layout) {
  auto m = SimMachine::Standard();
  EXPECT_EQ(m->TotalCalls(), 0u);  // setting up makes no Platform calls
  EXPECT_TRUE(m->CallLog().empty());
  const int folders[] = {win::CSIDL_DESKTOP, win::CSIDL_PROGRAMS, win::CSIDL_PERSONAL,
                         win::CSIDL_STARTUP, win::CSIDL_STARTMENU, win::CSIDL_DESKTOPDIRECTORY,
                         win::CSIDL_COMMON_STARTMENU, win::CSIDL_COMMON_PROGRAMS,
                         win::CSIDL_COMMON_STARTUP, win::CSIDL_COMMON_DESKTOPDIRECTORY,
                         win::CSIDL_APPDATA, win::CSIDL_LOCAL_APPDATA, win::CSIDL_COMMON_APPDATA,
                         win::CSIDL_WINDOWS, win::CSIDL_SYSTEM, win::CSIDL_PROGRAM_FILES,
                         win::CSIDL_PROFILE, win::CSIDL_PROGRAM_FILESX86,
                         win::CSIDL_PROGRAM_FILES_COMMON, win::CSIDL_COMMON_DOCUMENTS};
  for (int csidl : folders) {
    char16_t path[win::MAX_PATH];
    ASSERT_EQ(m->SHGetSpecialFolderPathW(win::HWND{}, path, csidl, 0), 1) << csidl;
    EXPECT_EQ(m->Attributes(path) & win::FILE_ATTRIBUTE_DIRECTORY, win::FILE_ATTRIBUTE_DIRECTORY)
        << csidl;
  }
  char16_t path[win::MAX_PATH];
  m->SHGetSpecialFolderPathW(win::HWND{}, path, win::CSIDL_APPDATA, 0);
  EXPECT_EQ(std::u16string(path), u"C:\\Users\\User\\AppData\\Roaming");

  for (const char16_t* name : {u"%SystemRoot%", u"%windir%", u"%SystemDrive%\\", u"%USERPROFILE%",
                               u"%ALLUSERSPROFILE%", u"%APPDATA%", u"%LOCALAPPDATA%",
                               u"%PROGRAMFILES%", u"%ProgramFiles(x86)%", u"%CommonProgramFiles%",
                               u"%HOMEDRIVE%%HOMEPATH%", u"%TEMP%", u"%TMP%", u"%ComSpec%"}) {
    char16_t expanded[win::MAX_PATH];
    ASSERT_GT(m->ExpandEnvironmentStringsW(name, expanded, win::MAX_PATH), 1u);
    EXPECT_TRUE(m->PathExists(expanded)) << std::string(name, name + 6);
  }
  EXPECT_EQ(m->GetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                         u"Userinit"),
            u"C:\\Windows\\system32\\userinit.exe,");
  for (const char16_t* key :
       {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
        u"HKEY_CLASSES_ROOT\\exefile"}) {
    EXPECT_TRUE(m->KeyExists(key)) << std::string(key, key + 30);
  }
  EXPECT_EQ(m->OpenHandleCount(), 0u);
}

class SimToken : public ::testing::Test {
 protected:
  bool Enable(const char16_t* name, DWORD attributes = win::SE_PRIVILEGE_ENABLED) {
    win::HANDLE token{};
    if (!m.OpenProcessToken(m.GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES, &token)) {
      return false;
    }
    win::TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    m.LookupPrivilegeValueW(nullptr, name, &state.Privileges[0].Luid);
    state.Privileges[0].Attributes = attributes;
    const win::BOOL ok = m.AdjustTokenPrivileges(token, 0, &state, sizeof state, nullptr, nullptr);
    const DWORD error = m.GetLastError();
    m.CloseHandle(token);
    lastError = error;
    return ok != 0;
  }
  std::unique_ptr<SimMachine> owner = SimMachine::Standard();
  SimMachine& m = *owner;
  DWORD lastError = 0;
};

TEST_F(SimToken, RestartNeedsTheShutdownPrivilegeEnabled) {
  EXPECT_EQ(m.ExitWindowsEx(win::EWX_REBOOT, win::SHTDN_REASON_MAJOR_APPLICATION), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_PRIVILEGE_NOT_HELD);
  EXPECT_TRUE(m.RestartRequests().empty());
  ASSERT_TRUE(Enable(u"SeShutdownPrivilege"));
  EXPECT_EQ(lastError, win::ERROR_SUCCESS);
  EXPECT_EQ(m.ExitWindowsEx(win::EWX_REBOOT, win::SHTDN_REASON_MAJOR_APPLICATION), 1);
  ASSERT_EQ(m.RestartRequests().size(), 1u);
  EXPECT_EQ(m.RestartRequests()[0].flags, win::EWX_REBOOT);
  EXPECT_EQ(m.RestartRequests()[0].reason, win::SHTDN_REASON_MAJOR_APPLICATION);
}

TEST_F(SimToken, PrivilegesNotHeldAreReportedOnlyThroughTheLastError) {
  m.SetTokenPrivilege(u"SeDebugPrivilege", false);
  EXPECT_TRUE(Enable(u"SeDebugPrivilege"));
  EXPECT_EQ(lastError, win::ERROR_NOT_ALL_ASSIGNED);
  const std::vector<std::u16string> enabled = m.EnabledPrivileges();
  EXPECT_EQ(std::find(enabled.begin(), enabled.end(), u"SeDebugPrivilege"), enabled.end());
  m.SetTokenPrivilege(u"SeDebugPrivilege", true);
  EXPECT_TRUE(Enable(u"SeDebugPrivilege"));
  EXPECT_EQ(m.EnabledPrivileges(),
            (std::vector<std::u16string>{u"SeDebugPrivilege", u"SeChangeNotifyPrivilege",
                                         u"SeImpersonatePrivilege", u"SeCreateGlobalPrivilege"}));
  EXPECT_TRUE(Enable(u"SeDebugPrivilege", 0));  // disabling
  EXPECT_EQ(m.EnabledPrivileges().size(), 3u);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimToken, TokenFailures) {
  win::HANDLE token{};
  ASSERT_EQ(m.OpenProcessToken(m.GetCurrentProcess(), win::TOKEN_QUERY, &token), 1);
  win::TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = 1;
  state.Privileges[0] = {{19, 0}, win::SE_PRIVILEGE_ENABLED};
  EXPECT_EQ(m.AdjustTokenPrivileges(token, 0, &state, sizeof state, nullptr, nullptr), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
  m.CloseHandle(token);
  m.FailOpenProcessToken();
  EXPECT_EQ(m.OpenProcessToken(m.GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES, &token), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_ACCESS_DENIED);
}

TEST(SimCodePage, Windows1252HighHalf) {
  SimMachine m;
  const char bytes[] = {'\x80', '\x81', '\x8a', '\x9f', '\xa0', '\xff'};
  char16_t wide[8];
  ASSERT_EQ(m.MultiByteToWideChar(win::CP_ACP, 0, bytes, 6, wide, 8), 6);
  EXPECT_EQ(std::u16string(wide, 6), u"\u20ac\u0081\u0160\u0178\u00a0\u00ff");
  EXPECT_EQ(m.MultiByteToWideChar(win::CP_ACP, 0, bytes, 0, wide, 8), 0);
  EXPECT_EQ(m.GetLastError(), win::ERROR_INVALID_PARAMETER);
}

TEST(SimCalls, LogLinesShowFailuresWithTheirError) {
  SimMachine m;
  m.AddDrive(u'C');
  m.DeleteFileW(u"C:\\missing.txt");
  m.GetLastError();
  EXPECT_EQ(m.CallLog(), (std::vector<std::string>{"DeleteFileW(C:\\missing.txt) = 0, error 2",
                                                   "GetLastError() = 2"}));
  EXPECT_EQ(m.CallCount("DeleteFileW"), 1u);
  EXPECT_EQ(m.CallCount("GetLastError"), 1u);
}

}  // namespace
}  // namespace quenwick::sim
