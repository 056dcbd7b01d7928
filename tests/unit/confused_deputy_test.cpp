// Texts the cleaning takes from the infected machine are written by the
// rogue. Each case here plants such a text and shows that the removal it
// drives leaves Windows and the user's data alone; the comments say what the
// same Definition would have destroyed without the guard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "elements/extract_path_from_command.h"
#include "elements/file_delete.h"
#include "elements/folder_delete.h"
#include "elements/get_reg_value.h"
#include "elements/kill_process.h"
#include "elements/reg_key_delete.h"
#include "elements/reg_key_exist.h"
#include "elements/reg_value_delete.h"
#include "elements/str_concat.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"
#include "support/element_setup.h"
#include "system/file_removal.h"
#include "system/protected_places.h"
#include "system/removal_guard.h"

namespace quenwick {
namespace {

using testing_support::AddAction;
using testing_support::AddPrecondition;

constexpr char16_t kRunKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class ConfusedDeputyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure()) ADD_FAILURE() << "machine:\n" << m_->DescribeFiles();
  }

  // A Definition found by a Run value: the value's command line goes to
  // slot 0, the program it starts to slot 1.
  void ReadRunValue(Definition& d, std::u16string name) {
    auto& read = AddPrecondition<GetRegValue>(d);
    read.keyPath = Operand::Text(kRunKey);
    read.valueName = Operand::Text(std::move(name));
    read.target = 0;
    auto& extract = AddAction<ExtractPathFromCommand>(d);
    extract.command = Operand::Variable(0);
    extract.target = 1;
  }
  // The program of the Run value `name`, "\..\.." appended (slot 2), and
  // FolderDelete of that.
  void RemoveFolderTwoLevelsAboveProgram(Definition& d, std::u16string name) {
    ReadRunValue(d, std::move(name));
    Concat(d, 1, u"\\..\\..", 2);
    AddAction<FolderDelete>(d).path = Operand::Variable(2);
  }
  // slot `target` = slot `from` + `suffix`.
  static void Concat(Definition& d, std::uint32_t from, std::u16string suffix, std::uint32_t target) {
    auto& concat = AddAction<StrConcat>(d);
    concat.first = Operand::Variable(from);
    concat.second = Operand::Text(std::move(suffix));
    concat.target = target;
  }

  std::unique_ptr<sim::SimMachine> m_ = sim::SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
};

// --- Folders -----------------------------------------------------------------

// A rogue installed directly in a top-level folder: its program's folder's
// parent is the drive. Unguarded, FolderDelete would have walked all of C:.
TEST_F(ConfusedDeputyTest, DotDotChainFromProgramInTopLevelFolderLeavesTheDrive) {
  m_->AddFile(u"C:\\Rogue\\rogue.exe");
  m_->AddFile(u"C:\\Users\\User\\Documents\\letter.doc");
  m_->AddFile(u"C:\\Data\\accounts.xls");
  m_->SetString(kRunKey, u"Rogue", u"C:\\Rogue\\rogue.exe /start");

  Definition d(3);
  RemoveFolderTwoLevelsAboveProgram(d, u"Rogue");

  EXPECT_TRUE(d.Clean());
  EXPECT_EQ(NormalizePathForComparison(*d.variables.Get(2)), u"c:\\");
  EXPECT_TRUE(m_->PathExists(u"C:\\Users\\User\\Documents\\letter.doc"));
  EXPECT_TRUE(m_->PathExists(u"C:\\Data\\accounts.xls"));
  EXPECT_TRUE(m_->PathExists(u"C:\\Rogue\\rogue.exe"));
  EXPECT_TRUE(m_->PendingDeletions().empty());
  EXPECT_EQ(m_->CallCount("DeleteFileW") + m_->CallCount("RemoveDirectoryW") +
                m_->CallCount("SetFileAttributesW") + m_->CallCount("MoveFileExW"),
            0u);
}

// The same chain where the rogue has a folder of its own is what the
// Definition is for, and still removes it.
TEST_F(ConfusedDeputyTest, DotDotChainFromProgramInItsOwnFolderRemovesThatFolder) {
  m_->AddFile(u"C:\\Program Files\\Rogue\\bin\\rogue.exe");
  m_->AddFile(u"C:\\Program Files\\Rogue\\rules.dat");
  m_->AddFile(u"C:\\Program Files\\Bystander\\tool.exe");
  m_->SetString(kRunKey, u"Rogue", u"\"C:\\Program Files\\Rogue\\bin\\rogue.exe\" /start");

  Definition d(3);
  RemoveFolderTwoLevelsAboveProgram(d, u"Rogue");

  EXPECT_TRUE(d.Clean());
  EXPECT_FALSE(m_->PathExists(u"C:\\Program Files\\Rogue"));
  EXPECT_TRUE(m_->PathExists(u"C:\\Program Files\\Bystander\\tool.exe"));
}

// Whatever form the path takes: the protected folders themselves, in short
// form, with separators doubled, and folders that hold them.
TEST_F(ConfusedDeputyTest, ProtectedFoldersAreLeftWhateverTheirSpelling) {
  m_->SetShortName(u"C:\\Program Files", u"C:\\PROGRA~1");
  const std::vector<std::u16string> folders = {
      u"C:\\PROGRA~1",
      u"c:/windows/system32/",
      u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
      u"C:\\Users\\User\\Desktop\\..",
      u"\\\\?\\C:\\ProgramData",
      u"C:\\Users",
      u"C:\\Users\\User\\AppData",  // holds the application-data folders
  };
  for (const auto& folder : folders) {
    m_->AddFile(NormalizePathForComparison(folder) + u"\\keep.txt");
  }
  m_->ResetCallLog();
  for (const auto& folder : folders) {
    FolderDelete action;
    Definition owner;
    action.owner = &owner;
    action.path = Operand::Text(folder);
    action.Execute();
  }
  for (const auto& folder : folders) {
    EXPECT_TRUE(m_->PathExists(NormalizePathForComparison(folder) + u"\\keep.txt"))
        << std::string(folder.begin(), folder.end());
  }
  EXPECT_EQ(m_->CallCount("DeleteFileW") + m_->CallCount("RemoveDirectoryW"), 0u);
}

// Inside a protected place the rogue's own things go as before.
TEST_F(ConfusedDeputyTest, RoguesThingsInsideProtectedPlacesStayRemovable) {
  m_->AddFile(u"C:\\Users\\User\\Desktop\\Rogue.lnk");
  m_->AddFile(u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\rogue.exe");
  m_->AddFile(u"C:\\ProgramData\\12345678\\12345678.exe");
  Definition d;
  for (const char16_t* path : {u"C:\\Users\\User\\Desktop\\Rogue.lnk",
                               u"%CSIDL_STARTUP%\\rogue.exe"}) {
    AddAction<FileDelete>(d).path = Operand::Text(path);
  }
  AddAction<FolderDelete>(d).path = Operand::Text(u"%CSIDL_COMMON_APPDATA%\\12345678");
  AddPrecondition<RegKeyExist>(d).key = Operand::Text(u"HKEY_LOCAL_MACHINE\\SOFTWARE");
  EXPECT_TRUE(d.Clean());
  EXPECT_FALSE(m_->PathExists(u"C:\\Users\\User\\Desktop\\Rogue.lnk"));
  EXPECT_FALSE(m_->PathExists(
      u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\rogue.exe"));
  EXPECT_FALSE(m_->PathExists(u"C:\\ProgramData\\12345678"));
  EXPECT_TRUE(m_->PathExists(u"C:\\ProgramData"));
}

// --- Files -------------------------------------------------------------------

// A rogue that runs its DLL through rundll32: the program of the Run value
// is a Windows file. Unguarded, the locked rundll32.exe would have been
// registered for deletion at the next start, with the system's rights.
TEST_F(ConfusedDeputyTest, SystemProgramNamedByARunValueIsNeitherDeletedNorRegistered) {
  const std::u16string rundll32 = u"C:\\Windows\\System32\\rundll32.exe";
  m_->AddFile(rundll32);
  m_->ProtectSystemFile(rundll32);
  m_->LockFile(rundll32);
  m_->AddFile(u"C:\\Users\\User\\AppData\\Roaming\\rogue.dll");
  m_->SetString(kRunKey, u"Rogue",
                u"C:\\Windows\\system32\\rundll32.exe C:\\Users\\User\\AppData\\Roaming\\rogue.dll,Start");

  Definition d(2);
  ReadRunValue(d, u"Rogue");
  AddAction<KillProcess>(d).target = Operand::Variable(1);
  AddAction<FileDelete>(d).path = Operand::Variable(1);
  AddAction<FileDelete>(d).path = Operand::Text(u"%CSIDL_APPDATA%\\rogue.dll");
  auto& value = AddAction<RegValueDelete>(d);
  value.key = Operand::Text(kRunKey);
  value.valueName = Operand::Text(u"Rogue");

  EXPECT_TRUE(d.Clean());
  EXPECT_TRUE(m_->PathExists(rundll32));
  EXPECT_TRUE(m_->PendingDeletions().empty());
  // The rest of the Definition's actions ran.
  EXPECT_FALSE(m_->PathExists(u"C:\\Users\\User\\AppData\\Roaming\\rogue.dll"));
  EXPECT_FALSE(m_->GetValue(kRunKey, u"Rogue").has_value());
}

// Registration for the next start is refused on its own too, as is an
// attribute change that would come before it.
TEST_F(ConfusedDeputyTest, ProtectedFilesAreNotRegisteredForDeletionAtRestart) {
  m_->AddFile(u"C:\\Windows\\System32\\kernel32.dll", win::FILE_ATTRIBUTE_READONLY);
  m_->ProtectSystemFile(u"C:\\Windows\\System32\\kernel32.dll");
  EXPECT_EQ(ScheduleDeleteAtRestart(u"C:\\Windows\\System32\\kernel32.dll"), 0);
  EXPECT_EQ(ScheduleDeleteAtRestart(u"C:\\Windows"), 0);
  EXPECT_EQ(ScheduleDeleteAtRestart(u"C:\\Users\\User\\Desktop"), 0);
  EXPECT_TRUE(m_->PendingDeletions().empty());
  EXPECT_EQ(m_->Attributes(u"C:\\Windows\\System32\\kernel32.dll"), win::FILE_ATTRIBUTE_READONLY);
}

// The program run from the folder it cleans (a download folder a rogue also
// used): everything else goes, the program itself is neither deleted nor
// registered, and so its folder stays.
TEST_F(ConfusedDeputyTest, TheProgramsOwnExecutableIsKept) {
  const std::u16string self = u"C:\\Users\\User\\Downloads\\quenwick.exe";
  m_->SetSelf(4242, self);
  m_->AddFile(self);
  m_->LockFile(self);
  m_->AddFile(u"C:\\Users\\User\\Downloads\\rogue-setup.exe");
  EXPECT_EQ(RemovePath(u"C:\\Users\\User\\Downloads"), 0);
  EXPECT_TRUE(m_->PathExists(self));
  EXPECT_FALSE(m_->PathExists(u"C:\\Users\\User\\Downloads\\rogue-setup.exe"));
  EXPECT_TRUE(m_->PendingDeletions().empty());
  EXPECT_EQ(RemovePath(self), 0);
  EXPECT_TRUE(m_->PendingDeletions().empty());
}

// A path whose macro could not be expanded is relative: it would name
// something in whatever the current folder is.
TEST_F(ConfusedDeputyTest, RelativePathsAreNeverRemoved) {
  EXPECT_EQ(RemovePath(u"%CSIDL_UNKNOWN%\\rogue.exe"), 0);
  EXPECT_EQ(ScheduleDeleteAtRestart(u"rogue.exe"), 0);
  EXPECT_EQ(m_->CallCount("DeleteFileW") + m_->CallCount("MoveFileExW"), 0u);
}

// The places are read once for everything removed under one scope (a whole
// clean pass), not once per removal.
TEST_F(ConfusedDeputyTest, OneScopeReadsTheProtectedPlacesOnce) {
  for (int i = 0; i < 3; ++i) m_->AddFile(u"C:\\Rogue" + std::u16string(1, u'0' + i) + u"\\a.exe");
  m_->ResetCallLog();
  {
    removal::GuardScope pass;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RemovePath(u"C:\\Rogue" + std::u16string(1, u'0' + i)), 1);
  }
  EXPECT_EQ(m_->CallCount("GetLogicalDriveStringsW"), 1u);
  EXPECT_FALSE(m_->PathExists(u"C:\\Rogue2"));
}

// --- Registry ----------------------------------------------------------------

// A value without data reads as an empty text, so the key path built from
// it names its parent. Unguarded, RegKeyDelete would have deleted all of
// HKEY_CURRENT_USER\Software.
TEST_F(ConfusedDeputyTest, ValueWithoutDataLeavesTheParentKey) {
  m_->SetValue(u"HKEY_CURRENT_USER\\Software\\Rogue", u"Instance", win::REG_SZ, {});
  m_->SetString(u"HKEY_CURRENT_USER\\Software\\Vendor\\App", u"Setting", u"kept");

  Definition d(2);
  auto& read = AddPrecondition<GetRegValue>(d);
  read.keyPath = Operand::Text(u"HKEY_CURRENT_USER\\Software\\Rogue");
  read.valueName = Operand::Text(u"Instance");
  read.target = 0;
  auto& concat = AddAction<StrConcat>(d);
  concat.first = Operand::Text(u"HKEY_CURRENT_USER\\Software\\");
  concat.second = Operand::Variable(0);
  concat.target = 1;
  AddAction<RegKeyDelete>(d).key = Operand::Variable(1);

  EXPECT_TRUE(d.Clean());
  EXPECT_EQ(*d.variables.Get(1), u"HKEY_CURRENT_USER\\Software\\");
  EXPECT_EQ(m_->GetString(u"HKEY_CURRENT_USER\\Software\\Vendor\\App", u"Setting"), u"kept");
  EXPECT_TRUE(m_->KeyExists(u"HKEY_CURRENT_USER\\Software\\Rogue"));
}

// A registry link planted in the rogue's key points at another program's
// key. Unguarded, the walk would have followed it and deleted that key.
TEST_F(ConfusedDeputyTest, RegistryLinkInsideARoguesKeyLeavesWhatItPointsTo) {
  m_->SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bystander\\Config", u"Licence", u"ABCD");
  m_->SetString(u"HKEY_CURRENT_USER\\Software\\Rogue", u"Version", u"1.0");
  m_->AddRegistryLink(u"HKEY_CURRENT_USER\\Software\\Rogue\\Settings",
                      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bystander");
  m_->AddRegistryLink(u"HKEY_CURRENT_USER\\Software\\RogueLink",
                      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bystander");

  RegKeyDelete action;
  Definition owner;
  action.owner = &owner;
  action.key = Operand::Text(u"HKEY_CURRENT_USER\\Software\\Rogue");
  EXPECT_EQ(action.Execute(), 0);
  action.key = Operand::Text(u"HKEY_CURRENT_USER\\Software\\RogueLink");
  EXPECT_EQ(action.Execute(), 0);

  EXPECT_FALSE(m_->KeyExists(u"HKEY_CURRENT_USER\\Software\\Rogue"));
  EXPECT_EQ(m_->GetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bystander\\Config", u"Licence"), u"ABCD");
  EXPECT_TRUE(m_->KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bystander"));
  for (const auto& name : m_->SubkeyNames(u"HKEY_CURRENT_USER\\Software")) {
    EXPECT_NE(name, u"RogueLink");
  }
}

TEST_F(ConfusedDeputyTest, SharedKeysAreKeptAndTheirValuesStayDeletable) {
  m_->SetString(kRunKey, u"Rogue", u"C:\\Rogue\\rogue.exe");
  m_->SetString(kRunKey, u"Sound", u"C:\\Windows\\sound.exe");
  m_->AddKey(u"HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}");
  m_->AddKey(u"HKEY_CLASSES_ROOT\\RogueToolbar.Bar");
  m_->AddKey(u"HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{0}");

  Definition owner;
  auto deleteKey = [&](std::u16string key) {
    RegKeyDelete action;
    action.owner = &owner;
    action.key = Operand::Text(std::move(key));
    return action.Execute();
  };
  EXPECT_EQ(deleteKey(kRunKey), static_cast<std::int32_t>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(deleteKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"),
            static_cast<std::int32_t>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(deleteKey(u"HKEY_CLASSES_ROOT\\CLSID"), static_cast<std::int32_t>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(deleteKey(u"HKEY_CURRENT_USER\\Software\\Classes\\CLSID"),
            static_cast<std::int32_t>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(deleteKey(u"HKEY_CLASSES_ROOT\\RogueToolbar.Bar"), 0);
  EXPECT_EQ(deleteKey(u"HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}"), 0);

  EXPECT_EQ(m_->GetString(kRunKey, u"Sound"), u"C:\\Windows\\sound.exe");
  EXPECT_TRUE(m_->KeyExists(u"HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{0}"));
  EXPECT_FALSE(m_->KeyExists(u"HKEY_CLASSES_ROOT\\RogueToolbar.Bar"));

  RegValueDelete value;
  value.owner = &owner;
  value.key = Operand::Text(kRunKey);
  value.valueName = Operand::Text(u"Rogue");
  value.Execute();
  EXPECT_FALSE(m_->GetValue(kRunKey, u"Rogue").has_value());
}

// --- Processes ---------------------------------------------------------------

// A Run value naming a system program (or the cleaner itself) must not turn
// KillProcess against Windows. A rogue that only borrows a system program's
// name elsewhere is ended.
TEST_F(ConfusedDeputyTest, SystemProcessesAndTheProgramItselfAreNotEnded) {
  const win::DWORD lsass = m_->AddProcess(u"C:\\Windows\\System32\\lsass.exe");
  const win::DWORD winlogon = m_->AddProcess(u"C:\\Windows\\System32\\winlogon.exe");
  const win::DWORD marked = m_->AddProcess(u"C:\\Program Files\\Vendor\\guard.exe", {.critical = true});
  m_->AddFile(u"C:\\Users\\User\\AppData\\Roaming\\lsass.exe");
  const win::DWORD impostor = m_->AddProcess(u"C:\\Users\\User\\AppData\\Roaming\\lsass.exe");
  // The standard machine runs the program from its download folder.

  Definition owner;
  auto kill = [&](std::u16string target) {
    KillProcess action;
    action.owner = &owner;
    action.target = Operand::Text(std::move(target));
    return action.Execute();
  };
  EXPECT_EQ(kill(u"C:\\Windows\\System32\\lsass.exe"), 0);
  EXPECT_EQ(kill(u"c:\\windows\\system32\\WINLOGON.EXE -k"), 0);
  EXPECT_EQ(kill(u"C:\\Program Files\\Vendor\\guard.exe"), 0);
  EXPECT_EQ(kill(u"C:\\Users\\User\\Downloads\\quenwick.exe"), 0);
  EXPECT_EQ(kill(u"%CSIDL_APPDATA%\\lsass.exe"), 1);
  EXPECT_TRUE(m_->IsRunning(lsass));
  EXPECT_TRUE(m_->IsRunning(winlogon));
  EXPECT_TRUE(m_->IsRunning(marked));
  EXPECT_FALSE(m_->IsRunning(impostor));
}

}  // namespace
}  // namespace quenwick
