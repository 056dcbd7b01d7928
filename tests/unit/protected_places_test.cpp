// The places the program refuses to delete or end, on a standard simulated
// machine (C:\Windows, C:\Program Files, C:\Users\User, ...).
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"
#include "system/protected_places.h"
#include "system/removal_guard.h"

namespace quenwick {
namespace {

class ProtectedPlacesTest : public ::testing::Test {
 protected:
  ProtectedPlacesTest() : machine_(sim::SimMachine::Standard()), scope_(*machine_) {}
  std::unique_ptr<sim::SimMachine> machine_;
  sim::ScopedPlatform scope_;
};

TEST_F(ProtectedPlacesTest, PathsAreComparedInOneNormalForm) {
  machine_->AddFolder(u"C:\\Program Files\\Rogue Cleaner");
  machine_->SetShortName(u"C:\\Program Files", u"C:\\PROGRA~1");
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {u"C:/Program Files/../Windows/./System32\\", u"c:\\windows\\system32"},
      {u"\\\\?\\C:\\Windows", u"c:\\windows"},
      {u"C:\\a\\b\\..\\..\\..", u"c:\\"},
      {u"C:\\\\Windows\\\\\\System32", u"c:\\windows\\system32"},
      {u"C:\\PROGRA~1\\Rogue Cleaner", u"c:\\program files\\rogue cleaner"},
      {u"C:", u"c:\\"},
      {u"C:\\Program Files\\Rogue Cleaner\\rogue.exe\\..\\..", u"c:\\program files"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizePathForComparison(c.in), c.out);
}

// What the removal guard refuses as a named path: protected folders and what
// holds them, Windows' own subfolders (their files stay removable), the
// program itself and files Windows protects.
TEST_F(ProtectedPlacesTest, TheGuardRefusesProtectedPlacesAndWhatHoldsThem) {
  machine_->AddFile(u"C:\\Windows\\System32\\rundll32.exe");
  machine_->ProtectSystemFile(u"C:\\Windows\\System32\\rundll32.exe");
  machine_->AddFile(u"C:\\Windows\\System32\\winscenter.exe");
  machine_->SetSelf(4242, u"C:\\Users\\User\\Downloads\\quenwick.exe");
  struct Case {
    std::u16string_view path;
    bool refused;
  };
  const Case cases[] = {
      {u"C:\\", true},
      {u"c:", true},
      {u"C:\\Windows", true},
      {u"C:\\WINDOWS\\system32\\", true},
      {u"C:\\Program Files", true},
      {u"C:\\Program Files (x86)", true},
      {u"C:\\ProgramData", true},
      {u"C:\\Users", true},
      {u"C:\\Users\\User", true},
      {u"C:\\Users\\User\\Desktop", true},
      {u"C:\\Users\\User\\AppData", true},  // holds the application-data folders
      // The "\..\.." chain of a program that sits directly in a top-level folder.
      {u"C:\\Rogue\\rogue.exe\\..\\..", true},
      {u"C:\\Windows\\System32\\..", true},
      {u"relative\\folder", true},
      // Windows' own subfolders, also when a chain from a program reaches them.
      {u"C:\\Windows\\System32\\drivers", true},
      {u"C:\\Windows\\System32\\config", true},
      {u"C:\\Windows\\WinSxS", true},
      {u"C:\\Windows\\Fonts", true},
      {u"C:\\Windows\\Temp", true},
      {u"C:\\Windows\\System32\\drivers\\rogue.sys\\..", true},
      {u"C:\\Program Files\\Rogue\\..\\..\\Windows\\WinSxS", true},
      {u"C:\\Windows\\System32\\rundll32.exe", true},
      {u"C:\\Users\\User\\Downloads\\quenwick.exe", true},
      {u"c:/users/user/downloads/QUENWICK.EXE", true},
      // Inside them, a rogue's own files and folders stay removable.
      {u"C:\\Program Files\\Rogue Cleaner", false},
      {u"C:\\Rogue", false},
      {u"C:\\ProgramData\\12345678", false},
      {u"C:\\Users\\User\\Desktop\\Rogue", false},
      {u"C:\\Users\\User\\Desktop\\Rogue.lnk", false},
      {u"C:\\Users\\User\\AppData\\Roaming\\Rogue", false},
      {u"C:\\Program Files\\Rogue Cleaner\\bin\\..", false},
      {u"C:\\Windows\\System32\\drivers\\rogue.sys", false},
      {u"C:\\Windows\\Temp\\rogue", false},
      {u"C:\\Windows\\System32\\winscenter.exe", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(removal::RefusesNamedPath(c.path), c.refused) << std::string(c.path.begin(), c.path.end());
  }
}

TEST_F(ProtectedPlacesTest, ProtectedKeys) {
  using win::HKEY_CLASSES_ROOT;
  using win::HKEY_CURRENT_USER;
  using win::HKEY_LOCAL_MACHINE;
  struct Case {
    win::HKEY root;
    std::u16string subkey;
    bool refused;
  };
  const Case cases[] = {
      {HKEY_LOCAL_MACHINE, u"", true},
      {HKEY_CURRENT_USER, u"", true},
      {HKEY_CLASSES_ROOT, u"", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE", true},
      {HKEY_CURRENT_USER, u"Software\\", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true},
      {HKEY_CURRENT_USER, u"software\\microsoft\\windows\\currentversion\\RUN\\", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
      {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services", true},
      {HKEY_CURRENT_USER, u"Software\\Classes", true},
      {HKEY_CLASSES_ROOT, u"CLSID", true},
      {HKEY_CLASSES_ROOT, u".exe", true},
      {HKEY_CLASSES_ROOT, u"exefile", true},
      {HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", true},
      // The 32-bit view holds the same keys.
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Classes\\CLSID", true},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Rogue Cleaner", false},
      // A rogue's own keys stay deletable.
      {HKEY_CURRENT_USER, u"Software\\Rogue Cleaner", false},
      {HKEY_LOCAL_MACHINE,
       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Antispyware2008_is1", false},
      {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\RogueSvc", false},
      {HKEY_CLASSES_ROOT, u"CLSID\\{01234567-89AB-CDEF-0123-456789ABCDEF}", false},
      {HKEY_CLASSES_ROOT, u"RogueCleaner.Document", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsProtectedKey(c.root, c.subkey), c.refused)
        << std::string(c.subkey.begin(), c.subkey.end());
  }
}

TEST_F(ProtectedPlacesTest, ProtectedProcesses) {
  machine_->SetSelf(4242, u"C:\\Users\\User\\Downloads\\quenwick.exe");
  EXPECT_TRUE(IsProtectedProcess(4242, u"C:\\Users\\User\\Downloads\\quenwick.exe", win::HANDLE{}));
  EXPECT_TRUE(IsProtectedProcess(900, u"C:\\Windows\\System32\\lsass.exe", win::HANDLE{}));
  EXPECT_TRUE(IsProtectedProcess(901, u"c:\\windows\\system32\\WINLOGON.EXE", win::HANDLE{}));
  EXPECT_FALSE(IsProtectedProcess(902, u"C:\\Users\\User\\AppData\\lsass.exe", win::HANDLE{}));
  EXPECT_FALSE(IsProtectedProcess(903, u"C:\\Program Files\\Rogue\\rogue.exe", win::HANDLE{}));
  EXPECT_TRUE(IsProtectedProcess(904, u"C:\\Windows\\explorer.exe", win::HANDLE{}));
  EXPECT_TRUE(IsProtectedProcess(905, u"C:\\Windows\\System32\\svchost.exe", win::HANDLE{}));
  EXPECT_FALSE(IsProtectedProcess(906, u"C:\\Windows\\System32\\explorer.exe", win::HANDLE{}));
  EXPECT_FALSE(IsProtectedProcess(907, u"C:\\Users\\User\\AppData\\Roaming\\svchost.exe", win::HANDLE{}));

  const win::DWORD critical =
      machine_->AddProcess(u"C:\\Program Files\\Vendor\\agent.exe", {.critical = true});
  const win::HANDLE handle = machine_->OpenProcess(win::PROCESS_QUERY_INFORMATION, 0, critical);
  ASSERT_TRUE(handle);
  EXPECT_TRUE(IsProtectedProcess(critical, u"C:\\Program Files\\Vendor\\agent.exe", handle));
  machine_->CloseHandle(handle);
}

}  // namespace
}  // namespace quenwick
