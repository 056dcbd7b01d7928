// The places the program refuses to delete or end, on a standard simulated
// machine (C:\Windows, C:\Program Files, C:\Users\User, ...).
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"
#include "system/protected_places.h"

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

TEST_F(ProtectedPlacesTest, ProtectedFoldersAndFoldersHoldingThemAreRefused) {
  const char16_t* refused[] = {
      u"C:\\",
      u"c:",
      u"C:\\Windows",
      u"C:\\WINDOWS\\system32\\",
      u"C:\\Program Files",
      u"C:\\Program Files (x86)",
      u"C:\\ProgramData",
      u"C:\\Users",
      u"C:\\Users\\User",
      u"C:\\Users\\User\\Desktop",
      u"C:\\Users\\User\\AppData",  // holds the application-data folders
      // The "\..\.." chain of a program that sits directly in a top-level folder.
      u"C:\\Rogue\\rogue.exe\\..\\..",
      u"C:\\Windows\\System32\\..",
      u"relative\\folder",
  };
  for (const char16_t* path : refused) {
    EXPECT_TRUE(IsProtectedFolder(path)) << std::string(path, path + std::u16string_view(path).size());
  }
}

TEST_F(ProtectedPlacesTest, FoldersInsideProtectedPlacesStayDeletable) {
  const char16_t* allowed[] = {
      u"C:\\Program Files\\Rogue Cleaner",
      u"C:\\Rogue",
      u"C:\\ProgramData\\12345678",
      u"C:\\Users\\User\\Desktop\\Rogue",
      u"C:\\Users\\User\\AppData\\Roaming\\Rogue",
      u"C:\\Program Files\\Rogue Cleaner\\bin\\..",
  };
  for (const char16_t* path : allowed) {
    EXPECT_FALSE(IsProtectedFolder(path)) << std::string(path, path + std::u16string_view(path).size());
  }
}

TEST_F(ProtectedPlacesTest, ProtectedFilesAreTheSystemsAndTheProgramsOwn) {
  machine_->AddFile(u"C:\\Windows\\System32\\rundll32.exe");
  machine_->ProtectSystemFile(u"C:\\Windows\\System32\\rundll32.exe");
  machine_->AddFile(u"C:\\Windows\\System32\\winscenter.exe");
  machine_->SetSelf(4242, u"C:\\Users\\User\\Downloads\\quenwick.exe");
  EXPECT_TRUE(IsProtectedFile(u"C:\\Windows\\System32\\rundll32.exe"));
  EXPECT_TRUE(IsProtectedFile(u"C:\\Users\\User\\Downloads\\quenwick.exe"));
  EXPECT_TRUE(IsProtectedFile(u"c:/users/user/downloads/QUENWICK.EXE"));
  EXPECT_TRUE(IsProtectedFile(u"C:\\"));
  EXPECT_FALSE(IsProtectedFile(u"C:\\Windows\\System32\\winscenter.exe"));
  EXPECT_FALSE(IsProtectedFile(u"C:\\Users\\User\\Desktop\\Rogue.lnk"));
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

  const win::DWORD critical =
      machine_->AddProcess(u"C:\\Program Files\\Vendor\\agent.exe", {.critical = true});
  const win::HANDLE handle = machine_->OpenProcess(win::PROCESS_QUERY_INFORMATION, 0, critical);
  ASSERT_TRUE(handle);
  EXPECT_TRUE(IsProtectedProcess(critical, u"C:\\Program Files\\Vendor\\agent.exe", handle));
  machine_->CloseHandle(handle);
}

}  // namespace
}  // namespace quenwick
