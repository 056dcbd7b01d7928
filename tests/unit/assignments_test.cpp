// StrConcat, GetRegValue and ExtractPathFromCommand, alone and in the chains
// that Definitions build from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "elements/extract_path_from_command.h"
#include "elements/file_exist.h"
#include "elements/folder_exist.h"
#include "elements/get_reg_value.h"
#include "elements/str_concat.h"
#include "engine/definition.h"
#include "platform/sim/sim_machine.h"
#include "support/call_log.h"
#include "support/element_setup.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

using sim::KeyAccess;
using sim::ScopedPlatform;
using sim::SimMachine;
using testing_support::AddAction;
using testing_support::AddPrecondition;
using testing_support::CallNames;

std::string U8(std::u16string_view text) { return ToUtf8(text); }

// The slot's text for comparison, or "<empty>".
std::string Slot(const Definition& definition, std::uint32_t index) {
  const std::u16string* text = definition.variables.Get(index);
  return text ? U8(*text) : "<empty>";
}

constexpr std::u16string_view kRun = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::u16string_view kRogueKey = u"HKEY_CURRENT_USER\\Software\\RogueAV";

class AssignmentTest : public ::testing::Test {
 protected:
  void SetUp() override { machine->AddKey(kRun); }

  GetRegValue& AddGetRegValue(Definition& definition, std::u16string_view key, std::u16string_view name,
                              std::uint32_t target) {
    auto& element = AddPrecondition<GetRegValue>(definition);
    element.keyPath = Operand::Text(std::u16string(key));
    element.valueName = Operand::Text(std::u16string(name));
    element.target = target;
    return element;
  }

  std::unique_ptr<SimMachine> machine = SimMachine::Standard();
  ScopedPlatform scope{*machine};
};

// --- StrConcat ------------------------------------------------------------------

TEST_F(AssignmentTest, StrConcatJoinsWithoutSeparatorOrExpansion) {
  Definition definition(2);
  auto& concat = AddPrecondition<StrConcat>(definition);
  concat.first = Operand::Text(u"%SystemRoot%/a");
  concat.second = Operand::Text(u"\\..\\..");
  concat.target = 1;
  machine->ResetCallLog();
  EXPECT_EQ(concat.Check(), 1);
  EXPECT_EQ(Slot(definition, 1), "%SystemRoot%/a\\..\\..");
  EXPECT_EQ(concat.Execute(), 0);
  EXPECT_EQ(Slot(definition, 1), "%SystemRoot%/a\\..\\..");
  EXPECT_EQ(machine->TotalCalls(), 0u);
}

TEST_F(AssignmentTest, StrConcatIntoAnOperandsOwnSlot) {
  Definition definition(2);
  definition.SetVariable(0, u"C:\\Rogue\\r.exe");
  definition.SetVariable(1, u"X:");
  auto& append = AddPrecondition<StrConcat>(definition);
  append.first = Operand::Variable(0);
  append.second = Operand::Text(u"\\..\\..");
  append.target = 0;
  auto& prepend = AddPrecondition<StrConcat>(definition);
  prepend.first = Operand::Text(u"\\\\?\\");
  prepend.second = Operand::Variable(1);
  prepend.target = 1;
  auto& doubled = AddPrecondition<StrConcat>(definition);
  doubled.first = Operand::Variable(1);
  doubled.second = Operand::Variable(1);
  doubled.target = 1;
  EXPECT_EQ(definition.Scan(), 1);
  EXPECT_EQ(Slot(definition, 0), "C:\\Rogue\\r.exe\\..\\..");
  EXPECT_EQ(Slot(definition, 1), "\\\\?\\X:\\\\?\\X:");
}

// An empty operand slot fails before the target is written.
TEST_F(AssignmentTest, StrConcatOfAnEmptySlotWritesNothing) {
  Definition definition(2);
  definition.SetVariable(1, u"kept");
  auto& concat = AddPrecondition<StrConcat>(definition);
  concat.first = Operand::Text(u"a");
  concat.second = Operand::Variable(0);
  concat.target = 1;
  EXPECT_EQ(definition.Scan(), -1);
  EXPECT_EQ(Slot(definition, 1), "kept");
}

// --- ExtractPathFromCommand ---------------------------------------------------------

TEST_F(AssignmentTest, ExtractPathFromCommandCutsTheProgramPath) {
  struct Row {
    std::u16string command, want;
  };
  const std::vector<Row> rows = {
      {u"\"C:\\Program Files\\Rogue AV\\rav.exe\" /startup -min", u"C:\\Program Files\\Rogue AV\\rav.exe"},
      {u"\"C:\\Program Files\\Rogue AV\\rav.exe\"", u"C:\\Program Files\\Rogue AV\\rav.exe"},
      {u"\"C:\\Program Files\\Rogue AV\\rav.exe", u"\"C:\\Program Files\\Rogue AV\\rav.exe"},
      {u"C:\\Program Files\\Rogue AV\\rav.exe /startup", u"C:\\Program"},
      {u"C:\\Rogue\\rav.exe", u"C:\\Rogue\\rav.exe"},
      {u"C:\\Rogue\\rav.exe\t/x", u"C:\\Rogue\\rav.exe\t/x"},  // only a space ends the path
      {u" C:\\Rogue\\rav.exe", u""},
      {u"\"\" rest", u""},
      {u"\"", u"\""},
      {u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.command));
    Definition definition(1);
    auto& extract = AddPrecondition<ExtractPathFromCommand>(definition);
    extract.command = Operand::Text(row.command);
    extract.target = 0;
    EXPECT_EQ(extract.Check(), 1);
    EXPECT_EQ(Slot(definition, 0), U8(row.want));
    definition.SetVariable(0, std::nullopt);
    EXPECT_EQ(extract.Execute(), 0);
    EXPECT_EQ(Slot(definition, 0), U8(row.want));
  }
}

// --- GetRegValue --------------------------------------------------------------

TEST_F(AssignmentTest, GetRegValueCopiesStringsAndEmptiesTheSlotForOtherTypes) {
  machine->SetString(kRogueKey, u"Path", u"C:\\Rogue\\r.exe");
  machine->SetString(kRogueKey, u"Expand", u"%SystemRoot%\\r.exe", win::REG_EXPAND_SZ);
  machine->SetString(kRogueKey, u"", u"default");
  machine->SetDword(kRogueKey, u"Number", 42);
  machine->SetValue(kRogueKey, u"Binary", win::REG_BINARY, {'a', 0, 0, 0});
  machine->SetValue(kRogueKey, u"NoData", win::REG_SZ, {});
  machine->SetValue(kRogueKey, u"Unterminated", win::REG_SZ, {'a', 0, 'b', 0});
  machine->SetValue(kRogueKey, u"Odd", win::REG_EXPAND_SZ, {'a', 0, 'b', 0, 'c'});
  struct Row {
    std::u16string name;
    std::int32_t check;
    std::string slot;
  };
  const std::vector<Row> rows = {
      {u"Path", 1, "C:\\Rogue\\r.exe"},
      {u"path", 1, "C:\\Rogue\\r.exe"},
      {u"Expand", 1, "%SystemRoot%\\r.exe"},  // references stay text
      {u"", 1, "default"},
      {u"Number", 1, "<empty>"},
      {u"Binary", 1, "<empty>"},
      {u"NoData", 1, ""},
      {u"Unterminated", 1, "ab"},
      {u"Odd", 1, "ab"},
      {u"Missing", 0, "<empty>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.name));
    Definition definition(1);
    definition.SetVariable(0, u"stale");
    auto& get = AddGetRegValue(definition, kRogueKey, row.name, 0);
    EXPECT_EQ(get.Check(), row.check);
    EXPECT_EQ(Slot(definition, 0), row.slot);
    definition.SetVariable(0, u"stale");
    EXPECT_EQ(get.Execute(), 0);
    EXPECT_EQ(Slot(definition, 0), row.slot);
  }
}

// Keys that cannot be named, or not opened with full access, give nothing;
// unparsable texts never reach the registry.
TEST_F(AssignmentTest, GetRegValueFindsNothingUnderKeysItCannotUse) {
  machine->SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Registry Fix_is1",
                     u"UninstallString", u"C:\\rf\\unins000.exe");
  machine->SetString(kRogueKey, u"Path", u"x");
  machine->SetKeyAccess(kRogueKey, KeyAccess{.readable = true, .writable = false, .deletable = false});
  struct Row {
    std::u16string key;
    std::size_t calls;
  };
  const std::vector<Row> rows = {
      {u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Search And Destroy5.2", 0},
      {u"KEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Registry Fix_is1", 0},
      {u"HKEY_LOCAL_MACHINE", 0},
      {std::u16string(kRogueKey), 1},  // the open with full access is refused
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.key));
    Definition definition(1);
    definition.SetVariable(0, u"stale");
    auto& get = AddGetRegValue(definition, row.key,
                               row.calls ? u"Path" : u"UninstallString", 0);
    machine->ResetCallLog();
    EXPECT_EQ(get.Check(), 0);
    EXPECT_EQ(Slot(definition, 0), "<empty>");
    EXPECT_EQ(machine->TotalCalls(), row.calls);
  }
}

TEST_F(AssignmentTest, GetRegValueMakesTheCallsOfOneRead) {
  machine->SetString(kRun, u"Rogue", u"C:\\r.exe");
  Definition definition(1);
  AddGetRegValue(definition, kRun, u"Rogue", 0);
  machine->ResetCallLog();
  EXPECT_EQ(definition.Scan(), 1);
  EXPECT_CALLS(*machine, {"RegOpenKeyExW(HKEY_LOCAL_MACHINE, SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run, 0, 0xf003f) = 0",
                          "RegQueryValueExW(", "RegQueryValueExW(", "RegCloseKey("});
}

// The target may be the slot the key path or the name came from.
TEST_F(AssignmentTest, GetRegValueMayOverwriteItsOwnOperandSlot) {
  machine->SetString(kRogueKey, u"Path", u"C:\\Rogue\\r.exe");
  Definition definition(2);
  definition.SetVariable(0, std::u16string(kRogueKey));
  definition.SetVariable(1, u"Path");
  auto& get = AddPrecondition<GetRegValue>(definition);
  get.keyPath = Operand::Variable(0);
  get.valueName = Operand::Variable(1);
  get.target = 0;
  EXPECT_EQ(get.Check(), 1);
  EXPECT_EQ(Slot(definition, 0), "C:\\Rogue\\r.exe");
  get.target = 1;
  get.keyPath = Operand::Text(std::u16string(kRogueKey));
  EXPECT_EQ(get.Check(), 1);
  EXPECT_EQ(Slot(definition, 1), "C:\\Rogue\\r.exe");
}

// As an action, a missing value leaves the slot empty; the next action that
// reads it is skipped and the rest still run.
TEST_F(AssignmentTest, MissingValueEmptiesTheSlotForLaterActions) {
  Definition definition(2);
  definition.SetVariable(0, u"from an earlier pass");
  auto& get = AddAction<GetRegValue>(definition);
  get.keyPath = Operand::Text(std::u16string(kRogueKey));
  get.valueName = Operand::Text(u"Missing");
  get.target = 0;
  auto& reads = AddAction<StrConcat>(definition);
  reads.first = Operand::Variable(0);
  reads.second = Operand::Text(u"x");
  reads.target = 1;
  auto& after = AddAction<StrConcat>(definition);
  after.first = Operand::Text(u"still");
  after.second = Operand::Text(u" runs");
  after.target = 1;
  EXPECT_TRUE(definition.Clean());
  EXPECT_EQ(Slot(definition, 0), "<empty>");
  EXPECT_EQ(Slot(definition, 1), "still runs");
}

// --- Chains ----------------------------------------------------------------------

// The autostart value gives the program; two levels up and the product name
// give the folder of its files. The program sits in a "bin" folder below it.
TEST_F(AssignmentTest, RunValueChainFindsTheInstallFolder) {
  machine->AddFile(u"C:\\Program Files\\Cleaner2009 Freeware\\bin\\c2009.exe");
  machine->AddFolder(u"C:\\Program Files\\Cleaner2009 Freeware\\Cleaner2009 Freeware");
  machine->SetString(kRun, u"Cleaner2009 Freeware",
                     u"\"C:\\Program Files\\Cleaner2009 Freeware\\bin\\c2009.exe\" /autorun");

  Definition definition(2);
  AddGetRegValue(definition, kRun, u"Cleaner2009 Freeware", 0);
  auto& extract = AddPrecondition<ExtractPathFromCommand>(definition);
  extract.command = Operand::Variable(0);
  extract.target = 0;
  auto& up = AddPrecondition<StrConcat>(definition);
  up.first = Operand::Variable(0);
  up.second = Operand::Text(u"\\..\\..");
  up.target = 1;
  auto& named = AddPrecondition<StrConcat>(definition);
  named.first = Operand::Variable(1);
  named.second = Operand::Text(u"\\Cleaner2009 Freeware");
  named.target = 1;
  AddPrecondition<FileExist>(definition).path = Operand::Variable(0);
  AddPrecondition<FolderExist>(definition).path = Operand::Variable(1);

  EXPECT_EQ(definition.Scan(), 1);
  EXPECT_EQ(Slot(definition, 0), "C:\\Program Files\\Cleaner2009 Freeware\\bin\\c2009.exe");
  EXPECT_EQ(Slot(definition, 1),
            "C:\\Program Files\\Cleaner2009 Freeware\\bin\\c2009.exe\\..\\..\\Cleaner2009 Freeware");

  // Each pass reads afresh: once the value is gone the Definition is not
  // found, its slot is empty, and nothing after the read runs.
  RegistryKey(kRun).DeleteValue(u"Cleaner2009 Freeware");
  machine->ResetCallLog();
  EXPECT_EQ(definition.Scan(), 0);
  EXPECT_EQ(Slot(definition, 0), "<empty>");
  EXPECT_EQ(CallNames(*machine),
            (std::vector<std::string>{"RegOpenKeyExW", "RegQueryValueExW", "RegQueryValueExW", "RegCloseKey"}));
}

}  // namespace
}  // namespace quenwick
