// Antivirus2009Prec1::Check on the simulated machine: which subkeys are
// candidates, where the path is looked for and in what order, what the two
// variables receive, and that every key it opens is closed again.
#include "elements/antivirus2009_prec1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/definition.h"
#include "engine/operand.h"
#include "platform/sim/sim_machine.h"
#include "support/call_log.h"
#include "support/family_encoding.h"

namespace quenwick {
namespace {

using testing::EncodeFamilyPath;
using testing::ReversedTables;

constexpr char16_t kBase[] = u"HKEY_CURRENT_USER\\Software\\QTest";
const std::u16string kFamilyName = u"0123456789abcdefABCDEF0123456789";  // 32 hex digits
const std::u16string kProgram = u"C:\\Program Files\\av2009\\av.exe";

std::u16string Under(const std::u16string& name) { return std::u16string(kBase) + u"\\" + name; }

class Antivirus2009Prec1Test : public ::testing::Test {
 protected:
  Antivirus2009Prec1Test() : machine_(sim::SimMachine::Standard()), scope_(*machine_) {
    machine_->AddKey(kBase);
    element_.owner = &definition_;
    element_.baseKey = u"Software\\QTest";
    element_.keyPrefix = std::u16string(kBase) + u"\\";
    element_.optionsKeyName = u"Options";
    element_.pathValueName = u"pPath";
    element_.exeSuffix = u".exe";
    element_.firstVariable = 0;
    element_.SubstitutionTables = ReversedTables();
  }

  // Runs Check and verifies that it closed every key it opened and wrote
  // nothing to the registry.
  std::int32_t CheckBalanced() {
    const std::size_t handles = machine_->OpenHandleCount();
    machine_->ResetCallLog();
    const std::int32_t result = element_.Check();
    EXPECT_EQ(machine_->OpenHandleCount(), handles);
    EXPECT_EQ(machine_->CallCount("RegSetValueExW") + machine_->CallCount("RegCreateKeyExW") +
                  machine_->CallCount("RegDeleteKeyW") + machine_->CallCount("RegDeleteValueW"),
              0u);
    return result;
  }

  std::u16string Slot(std::uint32_t index) const {
    const std::u16string* text = definition_.variables.Get(index);
    return text ? *text : u"<empty>";
  }

  std::unique_ptr<sim::SimMachine> machine_;
  sim::ScopedPlatform scope_;
  Definition definition_{3};
  Antivirus2009Prec1 element_;
};

// HKCU\Software\QTest\<32 hex>\Options\pPath = encoded path
TEST_F(Antivirus2009Prec1Test, FindsEncodedPathInOptionsSubkey) {
  const std::string program = "C:\\Program Files\\av2009\\av.exe";
  machine_->SetString(Under(kFamilyName) + u"\\Options", u"pPath", EncodeFamilyPath(program, u'A'));

  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), kProgram);
  EXPECT_EQ(Slot(1), kFamilyName);  // as enumerated, letter case kept
  EXPECT_EQ(Slot(2), u"<empty>");
  EXPECT_EQ(machine_->CallCount("MultiByteToWideChar"), 1u);
}

// The base key is opened for reading, the candidate loaded, and the walk
// stops at the first key that gives a path; every key opened is closed.
TEST_F(Antivirus2009Prec1Test, CallsWhenTheFirstSubkeyIsTheFamilyKey) {
  machine_->SetString(Under(kFamilyName), u"pPath", kProgram);
  ASSERT_EQ(CheckBalanced(), 1);
  EXPECT_CALLS(*machine_,
               {
                   "RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QTest, 0, 0x20019) = 0",
                   "RegEnumKeyExW(",
                   "RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QTest\\" +
                       std::string(kFamilyName.begin(), kFamilyName.end()) + ", 8, 0x20019) = 0",
                   "RegEnumValueW(",
                   "RegEnumValueW(",
                   "RegEnumValueW(",
                   "RegEnumKeyExW(",
                   "RegCloseKey(",
                   "RegCloseKey(",
               });
}

TEST_F(Antivirus2009Prec1Test, CallsWhenNothingIsFound) {
  machine_->AddKey(Under(u"NotAFamilyKey"));
  ASSERT_EQ(CheckBalanced(), 0);
  EXPECT_CALLS(*machine_, {
                              "RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QTest, 0, 0x20019) = 0",
                              "RegEnumKeyExW(",
                              "RegEnumKeyExW(",
                              "RegCloseKey(",
                          });
  const std::string last = testing_support::CallsTo(*machine_, "RegEnumKeyExW").back();
  EXPECT_NE(last.find(") = 259"), std::string::npos) << last;
}

// Each name holds a plain program path; only a name of exactly 32 hex digits
// may be taken for the family's key.
TEST_F(Antivirus2009Prec1Test, OnlyNamesOfThirtyTwoHexDigitsAreCandidates) {
  struct Case {
    std::u16string name;
    std::int32_t want;
  };
  const Case cases[] = {
      {u"0123456789abcdef0123456789ABCDEF", 1},    {u"0123456789abcdef0123456789ABCDE", 0},  // 31
      {u"0123456789abcdef0123456789ABCDEF0", 0},                                             // 33
      {u"0123456789abcdef0123456789ABCDEF01", 0},   // 34: fits the buffer, wrong length
      {u"0123456789abcdef0123456789ABCDEF012", 0},  // 35: too long for the buffer
      {u"0123456789abcdeg0123456789ABCDEF", 0},     // "g"
      {u"0123456789abcdef0123456789ABCDE ", 0},    {u"{0123456789abcdef0123456789ABCD}", 0},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    // Every case under a base key of its own.
    const std::u16string base =
        u"Software\\QTest\\case" + std::u16string(1, static_cast<char16_t>(u'a' + index++));
    element_.baseKey = base;
    element_.keyPrefix = u"HKEY_CURRENT_USER\\" + base + u"\\";
    machine_->SetString(element_.keyPrefix + c.name, u"pPath", kProgram);
    definition_.variables.Set(1, std::nullopt);
    EXPECT_EQ(CheckBalanced(), c.want);
    EXPECT_EQ(Slot(1), c.want == 1 ? c.name : u"<empty>");
  }
}

// Names too long for the enumeration buffer come back as "more data"; the
// walk goes on past them.
TEST_F(Antivirus2009Prec1Test, LongNamesDoNotEndTheEnumeration) {
  const std::u16string longHex(35, u'0');
  const std::u16string veryLong(255, u'0');  // the longest a key name may be
  machine_->SetString(Under(longHex), u"pPath", u"C:\\long.exe");
  machine_->SetString(Under(veryLong), u"pPath", u"C:\\long.exe");
  const std::u16string family(32, u'f');
  machine_->SetString(Under(family), u"pPath", kProgram);
  const std::vector<std::u16string> order = machine_->SubkeyNames(kBase);
  ASSERT_EQ(order.size(), 3u);
  ASSERT_EQ(order.back(), family);  // enumerated after both long names

  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), kProgram);
  EXPECT_EQ(Slot(1), family);
  // Both long names were too long for the 35-character buffer.
  const std::vector<std::string> walk = testing_support::CallsTo(*machine_, "RegEnumKeyExW");
  ASSERT_GE(walk.size(), 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NE(walk[i].find(") = 234"), std::string::npos) << walk[i];
  }
}

TEST_F(Antivirus2009Prec1Test, KeyWithoutOptionsSubkeyIsSearchedItself) {
  machine_->SetString(Under(kFamilyName), u"pPath", EncodeFamilyPath("C:\\own.exe"));
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), u"C:\\own.exe");
}

// An Options subkey is searched instead of the key, never as well.
TEST_F(Antivirus2009Prec1Test, OptionsSubkeyHidesTheKeysOwnValues) {
  machine_->SetString(Under(kFamilyName), u"pPath", kProgram);
  machine_->SetString(Under(kFamilyName) + u"\\OPTIONS", u"Other", u"not a path");
  EXPECT_EQ(CheckBalanced(), 0);
  EXPECT_EQ(Slot(0), u"<empty>");
}

TEST_F(Antivirus2009Prec1Test, PathValueThatIsNoPathEndsTheSearchOfThatKey) {
  const std::u16string options = Under(kFamilyName) + u"\\Options";
  machine_->SetString(options, u"Another", kProgram);
  machine_->SetString(options, u"PPATH", u"hello world");
  EXPECT_EQ(CheckBalanced(), 0);
  EXPECT_EQ(Slot(0), u"<empty>");
  EXPECT_EQ(Slot(1), u"<empty>");
}

TEST_F(Antivirus2009Prec1Test, PlainPathValueIsTakenAsItStands) {
  machine_->SetString(Under(kFamilyName) + u"\\Options", u"pPath", u"C:/AV/AV.EXE");
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), u"C:/AV/AV.EXE");
  EXPECT_EQ(machine_->CallCount("MultiByteToWideChar"), 0u);
}

// Without a path value, every value is first tried plain, then decoded: a
// later plain path wins over an earlier encoded one.
TEST_F(Antivirus2009Prec1Test, WithoutPathValuePlainWinsOverEarlierEncoded) {
  const std::u16string options = Under(kFamilyName) + u"\\Options";
  machine_->SetString(options, u"a", EncodeFamilyPath("C:\\encoded.exe"));
  machine_->SetString(options, u"b", u"C:\\plain.exe");
  ASSERT_EQ(machine_->ValueNames(options), (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), u"C:\\plain.exe");
}

TEST_F(Antivirus2009Prec1Test, WithoutPathValueFirstDecodablePathWins) {
  const std::u16string options = Under(kFamilyName) + u"\\Options";
  machine_->SetString(options, u"a", u"nothing");
  machine_->SetDword(options, u"b", 7);
  machine_->SetString(options, u"c", EncodeFamilyPath("C:\\first.exe"));
  machine_->SetString(options, u"d", EncodeFamilyPath("C:\\second.exe"));
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), u"C:\\first.exe");
}

TEST_F(Antivirus2009Prec1Test, OnlyTheFirstFamilyKeyInEnumerationOrderIsReported) {
  const std::u16string one(32, u'a');
  const std::u16string two(32, u'B');
  machine_->SetString(Under(two), u"pPath", u"C:\\two.exe");
  machine_->SetString(Under(one), u"pPath", u"C:\\one.exe");
  const std::vector<std::u16string> order = machine_->SubkeyNames(kBase);
  ASSERT_EQ(order.size(), 2u);
  const std::u16string& first = order.front();

  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(1), first);
  EXPECT_EQ(Slot(0), first == one ? u"C:\\one.exe" : u"C:\\two.exe");
}

// A family key that yields nothing does not stop the walk.
TEST_F(Antivirus2009Prec1Test, KeyThatYieldsNothingIsPassedOver) {
  const std::u16string empty(32, u'1');
  const std::u16string found(32, u'2');
  machine_->AddKey(Under(empty) + u"\\Options");
  machine_->SetString(Under(found), u"pPath", kProgram);
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(1), found);
}

TEST_F(Antivirus2009Prec1Test, CheckThatFindsNothingKeepsEarlierVariables) {
  machine_->SetString(Under(kFamilyName), u"pPath", kProgram);
  ASSERT_EQ(CheckBalanced(), 1);
  machine_->SetString(Under(kFamilyName), u"pPath", u"gone");
  EXPECT_EQ(CheckBalanced(), 0);
  EXPECT_EQ(Slot(0), kProgram);
  EXPECT_EQ(Slot(1), kFamilyName);
}

TEST_F(Antivirus2009Prec1Test, MissingBaseKeyFindsNothing) {
  element_.baseKey = u"Software\\NoSuchKey";
  EXPECT_EQ(CheckBalanced(), 0);
  EXPECT_EQ(machine_->CallCount("RegEnumKeyExW"), 0u);
}

TEST_F(Antivirus2009Prec1Test, PrefixThatDoesNotParseNeverReachesTheRegistry) {
  machine_->SetString(Under(kFamilyName), u"pPath", kProgram);
  element_.keyPrefix = u"HKCU\\Software\\QTest\\";
  EXPECT_EQ(CheckBalanced(), 0);
  EXPECT_EQ(machine_->CallCount("RegOpenKeyExW"), 1u);  // the base key only
}

// The shipped parameters, among the usual subkeys of Software.
TEST_F(Antivirus2009Prec1Test, ShippedParametersUnderSoftware) {
  element_.baseKey = u"Software";
  element_.keyPrefix = u"HKEY_CURRENT_USER\\Software\\";
  machine_->SetString(u"HKEY_CURRENT_USER\\Software\\" + kFamilyName + u"\\Options", u"pPath",
                      EncodeFamilyPath("C:\\Documents and Settings\\av.exe", u'I'));
  EXPECT_EQ(CheckBalanced(), 1);
  EXPECT_EQ(Slot(0), u"C:\\Documents and Settings\\av.exe");
  EXPECT_EQ(Slot(1), kFamilyName);
}

// A damaged variable index writes neither slot: the failure is raised before
// anything is stored, and Scan contains it.
TEST_F(Antivirus2009Prec1Test, VariableIndexWithoutTwoSlotsWritesNothing) {
  machine_->SetString(Under(kFamilyName), u"pPath", kProgram);
  const std::size_t handles = machine_->OpenHandleCount();
  for (std::uint32_t first : {2u, 3u, std::numeric_limits<std::uint32_t>::max()}) {
    SCOPED_TRACE(first);
    element_.firstVariable = first;
    EXPECT_THROW(element_.Check(), EmptySlotError);
    EXPECT_EQ(Slot(0), u"<empty>");
    EXPECT_EQ(Slot(2), u"<empty>");
  }
  EXPECT_EQ(machine_->OpenHandleCount(), handles);
}

}  // namespace
}  // namespace quenwick
