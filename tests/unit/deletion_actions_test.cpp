// FileDelete, FolderDelete, RegKeyDelete and RegValueDelete on the simulated
// machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "elements/file_delete.h"
#include "elements/folder_delete.h"
#include "elements/reg_key_delete.h"
#include "elements/reg_value_delete.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"

namespace quenwick {
namespace {

using sim::LinkKind;

class DeletionActionsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(m_->OpenHandleCount(), handlesBefore_) << "a handle was left open";
    if (HasFailure()) ADD_FAILURE() << "machine:\n" << m_->DescribeFiles();
  }
  template <class Element>
  std::int32_t RunPath(std::u16string path) {
    Element element;
    element.path = Operand::Text(std::move(path));
    element.owner = &definition_;
    return element.Execute();
  }
  std::int32_t FileDel(std::u16string path) { return RunPath<FileDelete>(std::move(path)); }
  std::int32_t FolderDel(std::u16string path) { return RunPath<FolderDelete>(std::move(path)); }
  std::int32_t KeyDel(std::u16string key) {
    RegKeyDelete element;
    element.key = Operand::Text(std::move(key));
    element.owner = &definition_;
    return element.Execute();
  }
  std::int32_t ValueDel(std::u16string key, std::u16string name) {
    RegValueDelete element;
    element.key = Operand::Text(std::move(key));
    element.valueName = Operand::Text(std::move(name));
    element.owner = &definition_;
    return element.Execute();
  }
  bool Exists(std::u16string_view path) const { return m_->PathExists(path); }
  std::size_t FileChanges() const {
    return m_->CallCount("DeleteFileW") + m_->CallCount("RemoveDirectoryW") +
           m_->CallCount("MoveFileExW") + m_->CallCount("SetFileAttributesW");
  }

  std::unique_ptr<sim::SimMachine> m_ = sim::SimMachine::Standard();
  sim::ScopedPlatform scope_{*m_};
  Definition definition_{1};
  std::size_t handlesBefore_ = m_->OpenHandleCount();
};

// --- FileDelete and FolderDelete ---------------------------------------------

TEST_F(DeletionActionsTest, EachActionRemovesOnlyItsOwnKindOfObject) {
  m_->AddFile(u"C:\\rogue\\inner.txt");
  m_->AddFile(u"C:\\rogue.exe");
  m_->ResetCallLog();
  EXPECT_EQ(FileDel(u"C:\\rogue"), 0);        // a folder: left with its contents
  EXPECT_EQ(FolderDel(u"C:\\rogue.exe"), 0);  // a file: left
  EXPECT_EQ(FileDel(u"C:\\missing.exe"), 0);
  EXPECT_EQ(FolderDel(u"C:\\missing"), 0);
  EXPECT_EQ(FileChanges(), 0u);
  EXPECT_TRUE(Exists(u"C:\\rogue\\inner.txt"));
  EXPECT_TRUE(Exists(u"C:\\rogue.exe"));
}

TEST_F(DeletionActionsTest, PathsWithWildcardsDeleteNothing) {
  m_->AddFile(u"C:\\rogue\\a.exe");
  m_->AddFile(u"C:\\rogue\\b.exe");
  m_->ResetCallLog();
  EXPECT_EQ(FileDel(u"C:\\rogue\\*.exe"), 0);
  EXPECT_EQ(FileDel(u"C:\\rogue\\?.exe"), 0);
  EXPECT_EQ(FolderDel(u"C:\\rog*"), 0);
  EXPECT_EQ(FileChanges(), 0u);
  EXPECT_TRUE(Exists(u"C:\\rogue\\a.exe"));
  EXPECT_TRUE(Exists(u"C:\\rogue\\b.exe"));
}

TEST_F(DeletionActionsTest, FileDeleteOfAReadOnlyFileRegistersIt) {
  m_->AddFile(u"C:\\Users\\User\\AppData\\Roaming\\Rogue\\r.dll", win::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(FileDel(u"%APPDATA%\\Rogue\\r.dll"), 0);
  EXPECT_TRUE(Exists(u"C:\\Users\\User\\AppData\\Roaming\\Rogue\\r.dll"));
  EXPECT_EQ(m_->Attributes(u"C:\\Users\\User\\AppData\\Roaming\\Rogue\\r.dll") &
                win::FILE_ATTRIBUTE_READONLY,
            0u);
  ASSERT_EQ(m_->PendingDeletions().size(), 1u);
  EXPECT_EQ(ToUtf8(m_->PendingDeletions()[0]), "C:\\Users\\User\\AppData\\Roaming\\Rogue\\r.dll");
}

TEST_F(DeletionActionsTest, FolderDeleteRemovesAllButTheLockedFileAndRegistersItsFolders) {
  m_->AddFile(u"C:\\Program Files\\Rogue\\bin\\rogue.exe");
  m_->AddFile(u"C:\\Program Files\\Rogue\\bin\\x.dll");
  m_->AddFile(u"C:\\Program Files\\Rogue\\data\\db.dat");
  m_->LockFile(u"C:\\Program Files\\Rogue\\bin\\rogue.exe");
  EXPECT_EQ(FolderDel(u"%CSIDL_PROGRAM_FILES%\\Rogue"), 0);
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Rogue\\bin\\x.dll"));
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Rogue\\data"));
  std::vector<std::string> pending;
  for (const auto& p : m_->PendingDeletions()) pending.push_back(ToUtf8(p));
  const std::vector<std::string> want = {"C:\\Program Files\\Rogue\\bin\\rogue.exe",
                                         "C:\\Program Files\\Rogue\\bin",
                                         "C:\\Program Files\\Rogue"};
  EXPECT_EQ(pending, want);
  EXPECT_TRUE(Exists(u"C:\\Program Files"));
}

TEST_F(DeletionActionsTest, FolderDeleteOfALinkRemovesOnlyTheLink) {
  m_->AddFile(u"C:\\Windows\\System32\\drivers\\etc\\hosts");
  m_->AddLink(u"C:\\rogue", u"C:\\Windows\\System32\\drivers", LinkKind::Junction);
  EXPECT_EQ(FolderDel(u"C:\\rogue"), 0);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
  EXPECT_TRUE(Exists(u"C:\\Windows\\System32\\drivers\\etc\\hosts"));
  EXPECT_TRUE(m_->PendingDeletions().empty());
}

TEST_F(DeletionActionsTest, LongPathsAreHandledLikeShortOnes) {
  const std::u16string deep = u"C:\\rogue\\" + std::u16string(120, u'a') + u"\\" +
                              std::u16string(120, u'b') + u"\\" + std::u16string(40, u'c');
  m_->AddFile(deep + u"\\payload.exe");
  m_->AddFile(deep + u"\\sub\\more.exe");
  // The file action must see that a long path names a folder.
  EXPECT_EQ(FileDel(deep), 0);
  EXPECT_TRUE(Exists(deep + u"\\payload.exe"));
  EXPECT_EQ(FileDel(deep + u"\\payload.exe"), 0);
  EXPECT_FALSE(Exists(deep + u"\\payload.exe"));
  EXPECT_EQ(FolderDel(u"C:\\rogue"), 0);
  EXPECT_FALSE(Exists(u"C:\\rogue"));
}

TEST_F(DeletionActionsTest, EmptySlotSkipsOnlyThatAction) {
  // Clean contains the failure of the first action; the second still runs.
  m_->AddFile(u"C:\\rogue\\a.txt");
  auto first = std::make_unique<FileDelete>();
  first->path = Operand::Variable(0);
  first->owner = &definition_;
  auto second = std::make_unique<FolderDelete>();
  second->path = Operand::Text(u"C:\\rogue");
  second->owner = &definition_;
  definition_.actions.push_back(std::move(first));
  definition_.actions.push_back(std::move(second));
  EXPECT_TRUE(definition_.Clean());
  EXPECT_FALSE(Exists(u"C:\\rogue"));
}

// --- RegKeyDelete and RegValueDelete ----------------------------------------------

constexpr char16_t kRogueKey[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue";

TEST_F(DeletionActionsTest, RegKeyDeleteRemovesTheTreeDeepestFirst) {
  // HKLM\SOFTWARE\Rogue
  //   A\ A1\ A11
  //   B
  m_->SetString(std::u16string(kRogueKey) + u"\\A\\A1\\A11", u"v", u"x");
  m_->AddKey(std::u16string(kRogueKey) + u"\\B");
  m_->SetDword(kRogueKey, u"Installed", 1);
  m_->ResetCallLog();
  EXPECT_EQ(KeyDel(u"hkey_local_machine\\SOFTWARE\\Rogue"), 0);
  EXPECT_FALSE(m_->KeyExists(kRogueKey));
  EXPECT_TRUE(m_->KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE"));
  std::vector<std::string> deletes;
  for (const std::string& line : m_->CallLog()) {
    if (line.rfind("RegDeleteKeyW(", 0) == 0) deletes.push_back(line.substr(0, line.find(')')));
  }
  ASSERT_EQ(deletes.size(), 5u);
  EXPECT_NE(deletes[0].find("Rogue\\A\\A1\\A11"), std::string::npos) << deletes[0];
  EXPECT_NE(deletes[4].find("SOFTWARE\\Rogue"), std::string::npos) << deletes[4];
}

TEST_F(DeletionActionsTest, RegKeyDeleteOfAMissingKeyGivesFileNotFound) {
  EXPECT_EQ(KeyDel(u"HKEY_CURRENT_USER\\Software\\NoSuchRogue"), 2);
}

TEST_F(DeletionActionsTest, RegKeyTextsThatNameNoKeyOrAWholeRootTouchNothing) {
  m_->AddKey(u"HKEY_CURRENT_USER\\Software\\Keep");
  m_->AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep");
  for (const char16_t* text :
       {u"HKLM\\SOFTWARE\\Keep", u"HKEY_USERS\\.DEFAULT\\Software", u"HKEY_CURRENT_USER",
        u"HKEY_CURRENT_USER\\", u"HKEY_LOCAL_MACHINE\\\\", u""}) {
    SCOPED_TRACE(ToUtf8(text));
    m_->ResetCallLog();
    EXPECT_NE(KeyDel(text), 0);
    EXPECT_EQ(m_->CallCount("RegDeleteKeyW"), 0u);
    EXPECT_EQ(m_->CallCount("RegOpenKeyExW"), 0u);
  }
  EXPECT_TRUE(m_->KeyExists(u"HKEY_CURRENT_USER\\Software\\Keep"));
  EXPECT_TRUE(m_->KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep"));
}

TEST_F(DeletionActionsTest, RegValueDeleteRemovesOneValueOnly) {
  const std::u16string run = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  m_->SetString(run, u"Rogue", u"C:\\rogue\\rogue.exe");
  m_->SetString(run, u"Other", u"C:\\other.exe");
  m_->SetString(run, u"", u"default");
  EXPECT_EQ(ValueDel(run, u"rogue"), 0);
  EXPECT_FALSE(m_->GetValue(run, u"Rogue").has_value());
  EXPECT_TRUE(m_->GetValue(run, u"Other").has_value());
  EXPECT_TRUE(m_->GetValue(run, u"").has_value());
  EXPECT_EQ(ValueDel(run, u""), 0);  // the key's default value
  EXPECT_FALSE(m_->GetValue(run, u"").has_value());
  EXPECT_TRUE(m_->GetValue(run, u"Other").has_value());
  EXPECT_TRUE(m_->KeyExists(run));
}

TEST_F(DeletionActionsTest, RegValueDeleteChangesNothingItMayNotOrCannotDelete) {
  m_->SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"v", u"x");
  m_->SetKeyAccess(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", {.readable = true, .writable = false});
  EXPECT_EQ(ValueDel(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"v"), 0);
  EXPECT_TRUE(m_->GetValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"v").has_value());
  EXPECT_EQ(ValueDel(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"missing"), 0);
  EXPECT_EQ(ValueDel(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing", u"v"), 0);
  m_->ResetCallLog();
  EXPECT_EQ(ValueDel(u"HKLM\\SOFTWARE\\Locked", u"v"), 0);
  EXPECT_EQ(m_->CallCount("RegOpenKeyExW"), 0u);
}

}  // namespace
}  // namespace quenwick
