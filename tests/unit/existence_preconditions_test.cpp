// FileExist, FolderExist, RegKeyExist and RegValueExist on the simulated
// machine, with the platform calls each makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "elements/file_exist.h"
#include "elements/folder_exist.h"
#include "elements/reg_key_exist.h"
#include "elements/reg_value_exist.h"
#include "engine/definition.h"
#include "platform/sim/sim_machine.h"
#include "support/call_log.h"
#include "support/element_setup.h"

namespace quenwick {
namespace {

using sim::KeyAccess;
using sim::ScopedPlatform;
using sim::SimMachine;
using testing_support::AddPrecondition;

std::string U8(std::u16string_view text) { return ToUtf8(text); }

constexpr std::u16string_view kRun = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::u16string_view kRogueKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\RogueAV";

class ExistenceTest : public ::testing::Test {
 public:
  void SetUp() override {
    machine->SetShellFolder(win::CSIDL_PROGRAM_FILES, u"C:\\Program Files");
    machine->SetEnvironment(u"SystemRoot", u"C:\\Windows");
    machine->AddFolder(u"C:\\Program Files\\RogueAV\\Data");
    machine->AddFile(u"C:\\Program Files\\RogueAV\\rogue.exe");
    machine->AddFile(u"C:\\Program Files\\RogueAV\\hidden.dll", win::FILE_ATTRIBUTE_HIDDEN);
    machine->AddFile(u"C:\\Program Files\\RogueAV\\system.sys",
                     win::FILE_ATTRIBUTE_SYSTEM | win::FILE_ATTRIBUTE_HIDDEN);
    machine->AddFile(u"C:\\Program Files\\RogueAV\\readonly.ini", win::FILE_ATTRIBUTE_READONLY);
    machine->AddFile(u"C:\\Windows\\System32\\winscenter.exe");
    machine->AddKey(kRun);
  }

  std::int32_t FileCheck(std::u16string_view path) {
    Definition definition;
    AddPrecondition<FileExist>(definition).path = Operand::Text(std::u16string(path));
    return definition.preconditions[0]->Check();
  }
  std::int32_t FolderCheck(std::u16string_view path) {
    Definition definition;
    AddPrecondition<FolderExist>(definition).path = Operand::Text(std::u16string(path));
    return definition.preconditions[0]->Check();
  }
  std::int32_t KeyCheck(std::u16string_view key) {
    Definition definition;
    AddPrecondition<RegKeyExist>(definition).key = Operand::Text(std::u16string(key));
    return definition.preconditions[0]->Check();
  }
  std::int32_t ValueCheck(std::u16string_view key, std::u16string_view name) {
    Definition definition;
    auto& element = AddPrecondition<RegValueExist>(definition);
    element.key = Operand::Text(std::u16string(key));
    element.valueName = Operand::Text(std::u16string(name));
    return definition.preconditions[0]->Check();
  }

  std::unique_ptr<SimMachine> machine = SimMachine::Standard();
  ScopedPlatform scope{*machine};
};

TEST_F(ExistenceTest, FileAndFolderTellFilesFromFolders) {
  struct Row {
    std::u16string path;
    std::int32_t file, folder;
  };
  const std::vector<Row> rows = {
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\rogue.exe", 1, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\Data", 0, 1},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV", 0, 1},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\missing.exe", 0, 0},
      {u"%CSIDL_PROGRAM_FILES%\\Missing", 0, 0},
      // Hidden, system and read-only entries count.
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\hidden.dll", 1, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\system.sys", 1, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\readonly.ini", 1, 0},
      // Written differently, the same file.
      {u"\"c:/program files//RogueAV/ROGUE.EXE\"", 1, 0},
      {u"%SystemRoot%\\System32\\winscenter.exe", 1, 0},
      // Paths that must name nothing.
      {u"%SystemRooot%\\System32\\winscenter.exe", 0, 0},
      {u"%CSIDL_QUICKLAUNCH%\\rogue.exe", 0, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\*.exe", 0, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueAV\\rogue.ex?", 0, 0},
      {u"%CSIDL_PROGRAM_FILES%\\RogueA?", 0, 0},
      {u"*", 0, 0},
      {u"", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.path));
    EXPECT_EQ(FileCheck(row.path), row.file);
    EXPECT_EQ(FolderCheck(row.path), row.folder);
  }
}

// A wildcard path is never handed to the file system, which could take the
// empty path for the current folder.
TEST_F(ExistenceTest, WildcardPathIsNotAskedAbout) {
  machine->ResetCallLog();
  EXPECT_EQ(FolderCheck(u"C:\\Program Files\\*"), 0);
  EXPECT_EQ(machine->TotalCalls(), 0u);
}

TEST_F(ExistenceTest, PathFromAVariableSlot) {
  Definition definition(1);
  definition.SetVariable(0, u"C:\\Program Files\\RogueAV\\rogue.exe");
  AddPrecondition<FileExist>(definition).path = Operand::Variable(0);
  EXPECT_EQ(definition.Scan(), 1);
  definition.SetVariable(0, u"C:\\Program Files\\RogueAV");
  EXPECT_EQ(definition.Scan(), 0);
}

// An operand that names an empty slot fails the scan before anything is asked.
TEST_F(ExistenceTest, EmptySlotFailsTheScan) {
  struct Row {
    const char* label;
    void (*add)(Definition&);
  };
  const std::vector<Row> rows = {
      {"FileExist", [](Definition& d) { AddPrecondition<FileExist>(d).path = Operand::Variable(0); }},
      {"FolderExist", [](Definition& d) { AddPrecondition<FolderExist>(d).path = Operand::Variable(0); }},
      {"RegKeyExist", [](Definition& d) { AddPrecondition<RegKeyExist>(d).key = Operand::Variable(0); }},
      {"RegValueExist key",
       [](Definition& d) {
         auto& e = AddPrecondition<RegValueExist>(d);
         e.key = Operand::Variable(0);
         e.valueName = Operand::Text(u"");
       }},
      {"RegValueExist name",
       [](Definition& d) {
         auto& e = AddPrecondition<RegValueExist>(d);
         e.key = Operand::Text(u"HKLM\\nothing");
         e.valueName = Operand::Variable(0);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Definition definition(1);
    row.add(definition);
    machine->ResetCallLog();
    EXPECT_EQ(definition.Scan(), -1);
    EXPECT_EQ(machine->TotalCalls(), 0u);
  }
}

TEST_F(ExistenceTest, RegKeyExistNeedsAFullRootNameAndAKeyThatOpensForReading) {
  machine->AddKey(kRogueKey);
  machine->AddKey(u"HKEY_CLASSES_ROOT\\RogueAV.Document");
  struct Row {
    std::u16string key;
    std::int32_t want;
  };
  const std::vector<Row> rows = {
      {std::u16string(kRun), 1},
      {u"hkey_current_user\\software\\microsoft\\windows\\currentversion\\run", 1},
      {std::u16string(kRogueKey), 1},
      {u"HKEY_CLASSES_ROOT\\RogueAV.Document", 1},
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\RogueAV\\Missing", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.key));
    EXPECT_EQ(KeyCheck(row.key), row.want);
  }
}

// Texts that must not be recognised never reach the registry.
TEST_F(ExistenceTest, UnrecognisedRegistryTextsFindNothingWithoutACall) {
  machine->AddKey(kRogueKey);
  machine->SetString(kRogueKey, u"", u"x");
  for (std::u16string key : {u"HKLM\\SOFTWARE\\RogueAV", u"KEY_LOCAL_MACHINE\\SOFTWARE\\RogueAV",
                             u"HKEY_USERS\\.DEFAULT", u"HKEY_LOCAL_MACHINE", u"SOFTWARE\\RogueAV"}) {
    SCOPED_TRACE(U8(key));
    machine->ResetCallLog();
    EXPECT_EQ(KeyCheck(key), 0);
    EXPECT_EQ(ValueCheck(key, u""), 0);
    EXPECT_EQ(machine->TotalCalls(), 0u);
  }
}

TEST_F(ExistenceTest, RegValueExistCountsValuesThatReadWhole) {
  machine->SetString(kRogueKey, u"Version", u"1.0");
  machine->SetDword(kRogueKey, u"Installed", 1);
  machine->SetValue(kRogueKey, u"NoData", win::REG_BINARY, {});
  struct Row {
    std::u16string name;
    std::int32_t want;
  };
  const std::vector<Row> rows = {
      {u"Version", 1}, {u"version", 1}, {u"Installed", 1}, {u"NoData", 1},
      {u"Missing", 0}, {u"Versio", 0},  {u"", 0},  // no default value set
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.name));
    EXPECT_EQ(ValueCheck(kRogueKey, row.name), row.want);
  }
  machine->SetString(kRogueKey, u"", u"default");
  EXPECT_EQ(ValueCheck(kRogueKey, u""), 1);
  EXPECT_EQ(ValueCheck(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Missing", u"Version"), 0);
}

// Without the right to change a key, the key is there and its values are not.
TEST_F(ExistenceTest, ReadOnlyKeyExistsButItsValuesDoNot) {
  machine->SetString(kRogueKey, u"Version", u"1.0");
  machine->SetKeyAccess(kRogueKey, KeyAccess{.readable = true, .writable = false, .deletable = false});
  EXPECT_EQ(KeyCheck(kRogueKey), 1);
  EXPECT_EQ(ValueCheck(kRogueKey, u"Version"), 0);
  machine->SetKeyAccess(kRogueKey, KeyAccess{.readable = false, .writable = false, .deletable = false});
  EXPECT_EQ(KeyCheck(kRogueKey), 0);
}

// Each kind of trace answers from the machine's state and leaves every
// handle closed, found or not.
TEST_F(ExistenceTest, EachCheckAnswersAndClosesWhatItOpened) {
  machine->SetString(kRogueKey, u"Version", u"1.0");
  machine->SetEnvironment(u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming");
  machine->AddFile(u"C:\\Users\\User\\AppData\\Roaming\\rogue.exe");
  struct Row {
    const char* label;
    std::int32_t (ExistenceTest::*check)(std::u16string_view);
    std::u16string text;
    std::int32_t want;
  };
  const std::vector<Row> rows = {
      {"file, shell folder", &ExistenceTest::FileCheck, u"%CSIDL_PROGRAM_FILES%\\RogueAV\\rogue.exe", 1},
      {"file, environment", &ExistenceTest::FileCheck, u"%APPDATA%\\rogue.exe", 1},
      {"file, plain", &ExistenceTest::FileCheck, u"C:\\rogue.exe", 0},
      {"folder, shell folder", &ExistenceTest::FolderCheck, u"%CSIDL_PROGRAM_FILES%\\RogueAV", 1},
      {"key present", &ExistenceTest::KeyCheck, std::u16string(kRogueKey), 1},
      {"key absent", &ExistenceTest::KeyCheck, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ((this->*row.check)(row.text), row.want);
    EXPECT_EQ(machine->OpenHandleCount(), 0u);
  }
  EXPECT_EQ(ValueCheck(kRogueKey, u"Version"), 1);
  EXPECT_EQ(ValueCheck(kRogueKey, u"Missing"), 0);
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenwick
