// ASDPrec1 and the "Userinit" list: splitting, matching, removing matching
// entries and writing the list back as REG_SZ, on the simulated machine.
#include "elements/asd_prec1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/utf16le.h"
#include "elements/userinit_entries.h"
#include "engine/definition.h"
#include "platform/sim/sim_machine.h"
#include "support/call_log.h"

namespace quenwick {
namespace {

const std::u16string kWinlogon =
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::u16string kPattern = u"\\advansed spyware detector\\";
const std::u16string kSystemProgram = u"C:\\Windows\\system32\\userinit.exe";
const std::u16string kRogue = u"C:\\Program Files\\Advansed Spyware Detector\\asd.exe";

TEST(UserinitEntriesTest, Split) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> want;
  };
  const Case cases[] = {
      {u"a,", {u"a"}},
      {u"a", {u"a"}},
      {u"a,,b", {u"a", u"", u"b"}},
      {u",a", {u"", u"a"}},
      {u"a,b,,", {u"a", u"b", u""}},
      {u"", {}},
      {u",", {u""}},
      {u" A , b", {u" A ", u" b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(SplitUserinitText(c.text), c.want);
  }
}

TEST(UserinitEntriesTest, JoinDropsEmptyEntriesAndEndsEachWithAComma) {
  EXPECT_EQ(JoinUserinitEntries({u"a", u"", u"b"}), u"a,b,");
  EXPECT_EQ(JoinUserinitEntries({u"", u""}), u"");
  EXPECT_EQ(JoinUserinitEntries({}), u"");
}

TEST(UserinitEntriesTest, Matching) {
  struct Case {
    std::u16string entry;
    std::u16string pattern;
    bool want;
  };
  const Case cases[] = {
      {kRogue, kPattern, true},
      {u"C:\\PROGRAM FILES\\ADVANSED SPYWARE DETECTOR\\ASD.EXE", kPattern, true},
      {kRogue, u"\\Advansed spyware detector\\", false},  // capitals in the pattern never match
      {kSystemProgram, kPattern, false},
      {u"C:\\\u00C9T\u00C9\\x.exe", u"\u00E9t\u00E9", false},  // only A-Z are lowered
      {u"C:\\\u00E9t\u00E9\\x.exe", u"\u00E9t\u00E9", true},
      {kRogue, u"", false},  // an empty pattern matches nothing
      {u"", u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.entry.begin(), c.entry.end()));
    EXPECT_EQ(UserinitEntryMatches(c.entry, c.pattern), c.want);
  }
}

class ASDPrec1Test : public ::testing::Test {
 protected:
  ASDPrec1Test() : machine_(sim::SimMachine::Standard()), scope_(*machine_) {
    element_.owner = &definition_;
    element_.pattern = kPattern;
    machine_->SetShellFolder(win::CSIDL_SYSTEM, u"C:\\Windows\\system32");
  }

  void SetUserinit(const std::u16string& text, win::DWORD type = win::REG_SZ) {
    machine_->SetString(kWinlogon, u"Userinit", text, type);
  }

  std::optional<sim::RegistryValueData> Userinit() const {
    return machine_->GetValue(kWinlogon, u"Userinit");
  }

  // Runs `run` and checks that every key it opened was closed again.
  template <class F>
  std::int32_t Balanced(F run) {
    const std::size_t handles = machine_->OpenHandleCount();
    machine_->ResetCallLog();
    const std::int32_t result = run();
    EXPECT_EQ(machine_->OpenHandleCount(), handles);
    return result;
  }

  std::unique_ptr<sim::SimMachine> machine_;
  sim::ScopedPlatform scope_;
  Definition definition_{0};
  ASDPrec1 element_;
};

TEST_F(ASDPrec1Test, CheckReportsWhetherAnyEntryMatches) {
  struct Case {
    std::u16string value;
    std::int32_t want;
  };
  const Case cases[] = {
      {kSystemProgram + u"," + kRogue, 1},
      {kRogue + u"," + kSystemProgram + u",", 1},
      {kSystemProgram + u",", 0},
      {u",,", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value.begin(), c.value.end()));
    SetUserinit(c.value);
    EXPECT_EQ(Balanced([&] { return element_.Check(); }), c.want);
    EXPECT_EQ(machine_->CallCount("RegSetValueExW"), 0u);
  }
}

TEST_F(ASDPrec1Test, CheckWithEmptyPatternFindsNothing) {
  SetUserinit(kSystemProgram + u"," + kRogue);
  element_.pattern.clear();
  EXPECT_EQ(element_.Check(), 0);
}

TEST_F(ASDPrec1Test, ExecuteWritesBackWhatRemains) {
  struct Case {
    const char* label;
    std::u16string before;
    win::DWORD type;
    std::u16string after;
  };
  const Case cases[] = {
      {"rogueRemoved", kSystemProgram + u"," + kRogue, win::REG_SZ, kSystemProgram + u","},
      {"trailingCommaKept", kSystemProgram + u"," + kRogue + u",", win::REG_SZ,
       kSystemProgram + u","},
      {"nothingMatchedGainsComma", kSystemProgram, win::REG_SZ, kSystemProgram + u","},
      {"emptyEntriesDropped", u"a.exe,,b.exe", win::REG_SZ, u"a.exe,b.exe,"},
      {"severalRemovedOrderKept",
       u"a.exe," + kRogue + u",b.exe,c:\\x\\ADVANSED SPYWARE DETECTOR\\y.exe,c.exe", win::REG_SZ,
       u"a.exe,b.exe,c.exe,"},
      {"expandStringBecomesString", kSystemProgram + u"," + kRogue, win::REG_EXPAND_SZ,
       kSystemProgram + u","},
      // Nothing would be left to run at logon: the system's own program is
      // written instead of an empty value.
      {"onlyRogueEntries", kRogue + u"," + kRogue + u"x,", win::REG_SZ, kSystemProgram + u","},
      {"onlyEmptyEntries", u",,", win::REG_SZ, kSystemProgram + u","},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUserinit(c.before, c.type);
    EXPECT_EQ(Balanced([&] { return element_.Execute(); }), 0);
    EXPECT_EQ(machine_->CallCount("RegSetValueExW"), 1u);
    const std::optional<sim::RegistryValueData> written = Userinit();
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->type, win::REG_SZ);
    EXPECT_EQ(written->bytes, TerminatedUtf16LeBytes(c.after));
  }
}

TEST_F(ASDPrec1Test, ExecuteLeavesTheOtherWinlogonValuesAlone) {
  machine_->SetString(kWinlogon, u"Shell", u"explorer.exe");
  SetUserinit(kSystemProgram + u"," + kRogue);
  const std::vector<std::u16string> names = machine_->ValueNames(kWinlogon);

  element_.Execute();

  EXPECT_EQ(machine_->ValueNames(kWinlogon), names);
  EXPECT_EQ(machine_->GetString(kWinlogon, u"Shell"), u"explorer.exe");
  EXPECT_EQ(machine_->CallCount("RegCreateKeyExW"), 1u);
  EXPECT_EQ(machine_->CallCount("RegDeleteValueW"), 0u);
}

TEST_F(ASDPrec1Test, OnlyRogueEntriesAndNoSystemFolderWritesNothing) {
  SetUserinit(kRogue + u",");
  machine_->FailShellFolder(win::CSIDL_SYSTEM);
  EXPECT_EQ(Balanced([&] { return element_.Execute(); }), 0);
  EXPECT_EQ(machine_->CallCount("RegSetValueExW"), 0u);
  EXPECT_EQ(machine_->GetString(kWinlogon, u"Userinit"), kRogue + u",");
}

TEST_F(ASDPrec1Test, EmptyPatternRemovesNothing) {
  SetUserinit(kSystemProgram + u"," + kRogue);
  element_.pattern.clear();
  element_.Execute();
  EXPECT_EQ(machine_->GetString(kWinlogon, u"Userinit"), kSystemProgram + u"," + kRogue + u",");
}

// A value that cannot be read, or holds no data, is neither matched nor
// written.
class ASDPrec1UnreadableTest : public ASDPrec1Test {
 protected:
  void RemoveUserinit() {
    win::HKEY key{};
    ASSERT_EQ(machine_->RegOpenKeyExW(win::HKEY_LOCAL_MACHINE,
                                      u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                      0, win::KEY_ALL_ACCESS, &key),
              0);
    machine_->RegDeleteValueW(key, u"Userinit");
    machine_->RegCloseKey(key);
  }

  void ExpectLeftAlone() {
    const std::optional<sim::RegistryValueData> before = Userinit();
    EXPECT_EQ(Balanced([&] { return element_.Check(); }), 0);
    EXPECT_EQ(Balanced([&] { return element_.Execute(); }), 0);
    EXPECT_EQ(machine_->CallCount("RegSetValueExW"), 0u);
    EXPECT_EQ(machine_->CallCount("RegCreateKeyExW"), 0u);
    const std::optional<sim::RegistryValueData> after = Userinit();
    ASSERT_EQ(after.has_value(), before.has_value());
    if (after) {
      EXPECT_EQ(after->bytes, before->bytes);
    }
  }
};

TEST_F(ASDPrec1UnreadableTest, MissingValue) {
  RemoveUserinit();
  ExpectLeftAlone();
}

TEST_F(ASDPrec1UnreadableTest, ValueWithoutData) {
  machine_->SetValue(kWinlogon, u"Userinit", win::REG_SZ, {});
  ExpectLeftAlone();
}

TEST_F(ASDPrec1UnreadableTest, KeyThatOpensOnlyForReading) {
  SetUserinit(kRogue + u",");
  machine_->SetKeyAccess(kWinlogon, sim::KeyAccess{true, false, true});
  ExpectLeftAlone();
}

// Read with full access, written back through one created-or-opened key
// with the one value; nothing else is touched.
TEST_F(ASDPrec1Test, ExecuteCalls) {
  SetUserinit(kSystemProgram + u"," + kRogue);
  Balanced([&] { return element_.Execute(); });
  const std::string winlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  const std::string size = std::to_string(2 * (kSystemProgram.size() + 2));
  EXPECT_CALLS(*machine_,
               {
                   "RegOpenKeyExW(HKEY_LOCAL_MACHINE, " + winlogon + ", 0, 0xf003f) = 0",
                   "RegQueryValueExW(",
                   "RegQueryValueExW(",
                   "RegCloseKey(",
                   "RegCreateKeyExW(HKEY_LOCAL_MACHINE, " + winlogon + ", 0, 0xf003f) = 0",
                   "RegSetValueExW(",
                   "RegCloseKey(",
               });
  const std::string set = testing_support::CallsTo(*machine_, "RegSetValueExW").front();
  EXPECT_NE(set.find("Userinit, 1, " + size + ") = 0"), std::string::npos) << set;
}

TEST_F(ASDPrec1Test, FallbackAsksForTheSystemFolder) {
  SetUserinit(kRogue);
  Balanced([&] { return element_.Execute(); });
  const std::vector<std::string> folders =
      testing_support::CallsTo(*machine_, "SHGetSpecialFolderPathW");
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_NE(folders[0].find("37"), std::string::npos) << folders[0];  // CSIDL_SYSTEM
  EXPECT_EQ(machine_->CallCount("RegSetValueExW"), 1u);
}

}  // namespace
}  // namespace quenwick
