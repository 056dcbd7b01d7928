// Registry keys parsed from path texts: tests, reads, loads, searches,
// write-back and deletion, with the exact registry calls each makes.
#include "system/registry_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "platform/sim/sim_machine.h"
#include "support/call_log.h"

namespace quenwick {
namespace {

using sim::KeyAccess;
using sim::ScopedPlatform;
using sim::SimMachine;
using testing_support::CallNames;
using testing_support::CallsTo;

std::string U8(std::u16string_view text) { return ToUtf8(text); }

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

std::vector<std::string> SubkeyTexts(const RegistryKey& key) {
  std::vector<std::string> texts;
  for (const RegistryKey& subkey : key.subkeys) texts.push_back(U8(subkey.text));
  return texts;
}

std::vector<std::string> ValueNames(const RegistryKey& key) {
  std::vector<std::string> names;
  for (const RegistryValue& value : key.values) names.push_back(U8(value.name.value_or(u"<invalid>")));
  return names;
}

constexpr std::u16string_view kTest = u"HKEY_CURRENT_USER\\Software\\QuenwickTest";

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { machine->AddKey(kTest); }
  std::u16string Path(std::u16string_view relative) const {
    return std::u16string(kTest) + u"\\" + std::u16string(relative);
  }

  std::unique_ptr<SimMachine> machine = SimMachine::Standard();
  ScopedPlatform scope{*machine};
};

// --- Construction ------------------------------------------------------------

TEST_F(RegistryKeyTest, PathTextsParseAtTheFirstBackslashWithFullRootNamesOnly) {
  struct Row {
    std::u16string text;
    bool valid;
    win::HKEY root;
    std::u16string subkeyPath;
  };
  const std::vector<Row> rows = {
      {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true,
       win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {u"hkey_current_user\\Software", true, win::HKEY_CURRENT_USER, u"Software"},
      {u"Hkey_Classes_Root\\.exe", true, win::HKEY_CLASSES_ROOT, u".exe"},
      {u"HKEY_CURRENT_USER\\", true, win::HKEY_CURRENT_USER, u""},
      {u"HKEY_CURRENT_USER\\a\\\\b\\", true, win::HKEY_CURRENT_USER, u"a\\\\b\\"},
      {u"HKEY_CURRENT_USER", false, {}, u""},
      {u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Search And Destroy5.2", false, {}, u""},
      {u"KEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Registry Fix_is1", false, {}, u""},
      {u"HKCU\\Software", false, {}, u""},
      {u"HKEY_USERS\\.DEFAULT\\Software", false, {}, u""},
      {u"\\HKEY_CURRENT_USER\\Software", false, {}, u""},
      {u" HKEY_CURRENT_USER\\Software", false, {}, u""},
      {u"", false, {}, u""},
      // A zero inside would make the registry calls name a shorter path.
      {std::u16string(u"HKEY_CURRENT_USER\\Software\\A\0B", 30), false, {}, u""},
  };
  machine->ResetCallLog();
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.text));
    const RegistryKey key(row.text);
    EXPECT_EQ(key.IsValid(), row.valid);
    EXPECT_EQ(U8(key.text), U8(row.text));
    if (row.valid) {
      EXPECT_EQ(key.root, row.root);
      EXPECT_EQ(U8(key.subkeyPath), U8(row.subkeyPath));
    }
    EXPECT_TRUE(key.subkeys.empty());
    EXPECT_TRUE(key.values.empty());
  }
  EXPECT_EQ(machine->TotalCalls(), 0u);
}

// An invalid key never reaches the registry, whatever is asked of it.
TEST_F(RegistryKeyTest, InvalidKeyMakesNoRegistryCall) {
  RegistryKey key(u"HKLM\\SOFTWARE");
  machine->ResetCallLog();
  EXPECT_FALSE(key.KeyExists());
  EXPECT_FALSE(key.LoadTree());
  key.DeleteValue(u"x");
  EXPECT_NE(key.DeleteTree(), 0);
  EXPECT_NE(key.WriteBack(), 0);
  EXPECT_EQ(machine->TotalCalls(), 0u);
}

// --- KeyExists and ReadValue ----------------------------------------------------

TEST_F(RegistryKeyTest, KeyExistsOpensForReadingAndCloses) {
  const RegistryKey present(kTest);
  machine->ResetCallLog();
  EXPECT_TRUE(present.KeyExists());
  EXPECT_CALLS(*machine, {"RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QuenwickTest, 0, 0x20019) = 0",
                          "RegCloseKey("});

  const RegistryKey absent(Path(u"Missing"));
  machine->ResetCallLog();
  EXPECT_FALSE(absent.KeyExists());
  EXPECT_CALLS(*machine, {"RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QuenwickTest\\Missing, 0, 0x20019) = 2"});
}

TEST_F(RegistryKeyTest, ReadValueOpensWithFullAccessAndQueriesTwice) {
  machine->SetString(kTest, u"Path", u"C:\\Rogue\\r.exe");
  machine->ResetCallLog();
  RegistryValue value = ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"Path");
  ASSERT_TRUE(value.IsValid());
  EXPECT_EQ(U8(*value.name), "Path");
  EXPECT_EQ(value.type, win::REG_SZ);
  EXPECT_EQ(value.size, 30u);  // 14 characters and the terminator
  EXPECT_EQ(value.data.size(), 30u);
  EXPECT_EQ(U8(value.Text()), "C:\\Rogue\\r.exe");
  EXPECT_CALLS(*machine, {"RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QuenwickTest, 0, 0xf003f) = 0",
                          "RegQueryValueExW(", "RegQueryValueExW(", "RegCloseKey("});
  value.Release();
  EXPECT_FALSE(value.IsValid());
  EXPECT_TRUE(value.data.empty());
}

TEST_F(RegistryKeyTest, ReadValueOfMissingValueOrKeyIsInvalid) {
  machine->ResetCallLog();
  EXPECT_FALSE(ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"Nothing").IsValid());
  EXPECT_EQ(CallNames(*machine), (std::vector<std::string>{"RegOpenKeyExW", "RegQueryValueExW",
                                                           "RegQueryValueExW", "RegCloseKey"}));
  machine->ResetCallLog();
  EXPECT_FALSE(ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest\\Gone", u"").IsValid());
  EXPECT_EQ(CallNames(*machine), (std::vector<std::string>{"RegOpenKeyExW"}));
}

// Readable but not writable: the key exists, none of its values can be read.
TEST_F(RegistryKeyTest, ValueUnderReadOnlyKeyIsInvalidWhileTheKeyExists) {
  machine->SetString(kTest, u"Path", u"x");
  machine->SetKeyAccess(kTest, KeyAccess{.readable = true, .writable = false, .deletable = true});
  EXPECT_TRUE(RegistryKey(kTest).KeyExists());
  EXPECT_FALSE(ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"Path").IsValid());
}

TEST_F(RegistryKeyTest, DefaultAndEmptyValuesRead) {
  machine->SetString(kTest, u"", u"default text");
  machine->SetValue(kTest, u"Empty", win::REG_BINARY, {});
  const RegistryValue defaultValue = ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"");
  ASSERT_TRUE(defaultValue.IsValid());
  EXPECT_EQ(U8(*defaultValue.name), "");
  EXPECT_EQ(U8(defaultValue.Text()), "default text");

  const RegistryValue empty = ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"Empty");
  ASSERT_TRUE(empty.IsValid());
  EXPECT_EQ(empty.type, win::REG_BINARY);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_TRUE(empty.data.empty());
  EXPECT_EQ(U8(empty.Text()), "");
}

// String data from the registry need not end in a zero nor have an even
// length; the text stops at the data's end.
TEST_F(RegistryKeyTest, TextOfStringDataNeverReadsPastItsEnd) {
  struct Row {
    const char* label;
    std::vector<std::uint8_t> bytes;
    std::string want;
  };
  const std::vector<Row> rows = {
      {"terminated", Bytes({'a', 0, 'b', 0, 0, 0}), "ab"},
      {"no terminator", Bytes({'a', 0, 'b', 0}), "ab"},
      {"odd length", Bytes({'a', 0, 'b', 0, 'c'}), "ab"},
      {"one byte", Bytes({'a'}), ""},
      {"zero inside", Bytes({'a', 0, 0, 0, 'b', 0}), "a"},
      {"wide characters", Bytes({0xE9, 0x00, 0x16, 0x20}), "\xC3\xA9\xE2\x80\x96"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    machine->SetValue(kTest, u"S", win::REG_SZ, row.bytes);
    const RegistryValue value = ReadValue(win::HKEY_CURRENT_USER, u"Software\\QuenwickTest", u"S");
    ASSERT_TRUE(value.IsValid());
    EXPECT_EQ(value.size, row.bytes.size());
    EXPECT_EQ(value.Text(), FromUtf8(row.want));
  }
}

TEST(RegistryValueConstruction, CopiesNameTypeAndBytes) {
  const std::uint8_t bytes[] = {1, 2, 3};
  const RegistryValue value(u"V", win::REG_BINARY, bytes, 3);
  ASSERT_TRUE(value.IsValid());
  EXPECT_EQ(value.type, win::REG_BINARY);
  EXPECT_EQ(value.data, (std::vector<std::uint8_t>{1, 2, 3}));
  const RegistryValue empty(u"E", win::REG_SZ, nullptr, 0);
  EXPECT_TRUE(empty.IsValid());
  EXPECT_TRUE(empty.data.empty());
  // Bytes announced but not given cannot be copied.
  EXPECT_FALSE(RegistryValue(u"X", win::REG_SZ, nullptr, 4).IsValid());
}

// --- LoadTree ---------------------------------------------------------------

// Tree under the test key:
//   Tree            values "b" (REG_SZ), "a" (REG_DWORD), "" (default), "none" (no data)
//   +- Alpha        value "x"
//   |  +- Deep
//   +- Beta
TEST_F(RegistryKeyTest, LoadTreeTakesValuesThenSubkeysDepthFirstInEnumerationOrder) {
  machine->SetString(Path(u"Tree"), u"b", u"bee");
  machine->SetDword(Path(u"Tree"), u"a", 7);
  machine->SetString(Path(u"Tree"), u"", u"default");
  machine->SetValue(Path(u"Tree"), u"none", win::REG_SZ, {});
  machine->SetString(Path(u"Tree\\Alpha"), u"x", u"1");
  machine->AddKey(Path(u"Tree\\Alpha\\Deep"));
  machine->AddKey(Path(u"Tree\\Beta"));

  RegistryKey key(Path(u"Tree"));
  machine->ResetCallLog();
  ASSERT_TRUE(key.LoadTree());
  EXPECT_TRUE(key.IsValid());

  std::vector<std::string> wantValues;
  for (const auto& name : machine->ValueNames(Path(u"Tree"))) wantValues.push_back(U8(name));
  EXPECT_EQ(ValueNames(key), wantValues);
  std::vector<std::string> wantSubkeys;
  for (const auto& name : machine->SubkeyNames(Path(u"Tree"))) wantSubkeys.push_back(U8(Path(u"Tree\\" + name)));
  EXPECT_EQ(SubkeyTexts(key), wantSubkeys);

  const RegistryValue* none = key.FindValue(u"none");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->size, 0u);
  EXPECT_TRUE(none->data.empty());
  const RegistryKey* alpha = key.FindSubkey(u"alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_TRUE(alpha->IsValid());
  EXPECT_EQ(U8(alpha->subkeyPath), "Software\\QuenwickTest\\Tree\\Alpha");
  ASSERT_EQ(alpha->subkeys.size(), 1u);
  EXPECT_EQ(U8(alpha->subkeys[0].text), U8(Path(u"Tree\\Alpha\\Deep")));

  // Every key opened once for reading as itself (a link would be a leaf),
  // every value enumerated twice, and Alpha (with Deep) finished before Beta
  // is enumerated.
  const std::vector<std::string> opens = CallsTo(*machine, "RegOpenKeyExW");
  ASSERT_EQ(opens.size(), 4u);
  for (const std::string& open : opens) EXPECT_NE(open.find(", 8, 0x20019)"), std::string::npos) << open;
  EXPECT_EQ(machine->CallCount("RegCloseKey"), 4u);
  EXPECT_EQ(machine->CallCount("RegEnumValueW"), 2u * 5 + 4);  // 5 values, then one end per key
  EXPECT_EQ(machine->CallCount("RegEnumKeyExW"), 3u + 4);      // 3 subkeys, one end per key
  EXPECT_EQ(machine->CallCount("RegQueryValueExW"), 0u);
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

TEST_F(RegistryKeyTest, LoadTreeOfEmptyAndMissingKeys) {
  machine->AddKey(Path(u"Empty"));
  RegistryKey empty(Path(u"Empty"));
  EXPECT_TRUE(empty.LoadTree());
  EXPECT_TRUE(empty.IsValid());
  EXPECT_TRUE(empty.values.empty());
  EXPECT_TRUE(empty.subkeys.empty());

  RegistryKey missing(Path(u"Missing"));
  EXPECT_FALSE(missing.LoadTree());
  EXPECT_FALSE(missing.IsValid());
  // It still knows where it is.
  EXPECT_EQ(missing.root, win::HKEY_CURRENT_USER);
  EXPECT_EQ(U8(missing.subkeyPath), "Software\\QuenwickTest\\Missing");
}

// A subkey that cannot be read stays in the list, invalid and empty; its
// parent still loads.
TEST_F(RegistryKeyTest, UnreadableSubkeyStaysInvalidInALoadedParent) {
  machine->SetString(Path(u"P\\Locked"), u"v", u"x");
  machine->AddKey(Path(u"P\\Open"));
  machine->SetKeyAccess(Path(u"P\\Locked"), KeyAccess{.readable = false, .writable = false, .deletable = false});
  RegistryKey parent(Path(u"P"));
  ASSERT_TRUE(parent.LoadTree());
  const RegistryKey* locked = parent.FindSubkey(u"LOCKED");
  ASSERT_NE(locked, nullptr);
  EXPECT_FALSE(locked->IsValid());
  EXPECT_TRUE(locked->values.empty());
  const RegistryKey* open = parent.FindSubkey(u"open");
  ASSERT_NE(open, nullptr);
  EXPECT_TRUE(open->IsValid());
}

TEST_F(RegistryKeyTest, FindSubkeyAndFindValueCompareWholeNamesIgnoringCaseOfAToZ) {
  RegistryKey key(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion");
  machine->AddKey(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  machine->SetString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir", u"x");
  ASSERT_TRUE(key.LoadTree());
  for (std::u16string name : {u"Run", u"RUN", u"run"}) {
    const RegistryKey* run = key.FindSubkey(name);
    ASSERT_NE(run, nullptr) << U8(name);
    EXPECT_EQ(U8(run->text), "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  }
  EXPECT_EQ(key.FindSubkey(u"Ru"), nullptr);
  EXPECT_EQ(key.FindSubkey(u"Run\\"), nullptr);
  EXPECT_NE(key.FindValue(u"programfilesdir"), nullptr);
  EXPECT_EQ(key.FindValue(u"ProgramFiles"), nullptr);
  EXPECT_EQ(key.FindValue(u"ProgramFilesDir "), nullptr);
  key.Release();
  EXPECT_TRUE(key.subkeys.empty());
  EXPECT_TRUE(key.values.empty());
  EXPECT_EQ(key.FindSubkey(u"Run"), nullptr);
}

// Key texts of 1,000 characters and more, with subkey names as long as the
// registry allows (255): the names come through whole.
TEST_F(RegistryKeyTest, LoadsUnderVeryLongKeyTexts) {
  std::u16string relative;
  for (int i = 0; i < 6; ++i) relative += (i ? u"\\" : u"") + std::u16string(250, static_cast<char16_t>(u'a' + i));
  const std::u16string longPath = Path(relative);
  ASSERT_GE(longPath.size(), 1500u);
  const std::u16string leafName(255, u'z');
  machine->SetString(longPath + u"\\" + leafName, std::u16string(16383, u'v'), u"data");

  RegistryKey key(longPath);
  ASSERT_TRUE(key.LoadTree());
  ASSERT_EQ(key.subkeys.size(), 1u);
  EXPECT_EQ(U8(key.subkeys[0].text), U8(longPath + u"\\" + leafName));
  ASSERT_TRUE(key.subkeys[0].IsValid());
  ASSERT_EQ(key.subkeys[0].values.size(), 1u);
  EXPECT_EQ(key.subkeys[0].values[0].name->size(), 16383u);
}

// --- WriteBack ----------------------------------------------------------------

TEST_F(RegistryKeyTest, WriteBackCreatesParentsBeforeChildrenAndSetsEveryValue) {
  // Built by hand: Root (values "s", "empty") with Child (value "d"),
  // Child\Grandchild and Sibling.
  RegistryKey rootKey(Path(u"New"));
  rootKey.values.emplace_back(u"s", win::REG_SZ, reinterpret_cast<const std::uint8_t*>(u"hi"), 6);
  rootKey.values.emplace_back(u"empty", win::REG_EXPAND_SZ, nullptr, 0);
  RegistryKey child(Path(u"New\\Child"));
  const std::uint8_t dword[] = {1, 0, 0, 0};
  child.values.emplace_back(u"d", win::REG_DWORD, dword, 4);
  child.subkeys.emplace_back(Path(u"New\\Child\\Grandchild"));
  rootKey.subkeys.push_back(std::move(child));
  rootKey.subkeys.emplace_back(Path(u"New\\Sibling"));

  machine->ResetCallLog();
  EXPECT_EQ(rootKey.WriteBack(), 0);
  const std::vector<std::string> creates = CallsTo(*machine, "RegCreateKeyExW");
  ASSERT_EQ(creates.size(), 4u);
  EXPECT_NE(creates[0].find("QuenwickTest\\New,"), std::string::npos) << creates[0];
  EXPECT_NE(creates[1].find("New\\Child,"), std::string::npos) << creates[1];
  EXPECT_NE(creates[2].find("New\\Child\\Grandchild,"), std::string::npos) << creates[2];
  EXPECT_NE(creates[3].find("New\\Sibling,"), std::string::npos) << creates[3];
  EXPECT_EQ(machine->CallCount("RegSetValueExW"), 3u);
  EXPECT_EQ(machine->CallCount("RegCloseKey"), 4u);
  EXPECT_EQ(machine->OpenHandleCount(), 0u);

  EXPECT_EQ(machine->GetString(Path(u"New"), u"s"), std::optional<std::u16string>(u"hi"));
  const auto empty = machine->GetValue(Path(u"New"), u"empty");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->type, win::REG_EXPAND_SZ);
  EXPECT_TRUE(empty->bytes.empty());
  EXPECT_TRUE(machine->KeyExists(Path(u"New\\Child\\Grandchild")));
  EXPECT_TRUE(machine->KeyExists(Path(u"New\\Sibling")));
}

TEST_F(RegistryKeyTest, WriteBackKeepsGoingAfterARefusedValueAndReturnsTheFirstError) {
  machine->AddKey(Path(u"W"));
  machine->SetString(Path(u"W"), u"other", u"stays");
  machine->RefuseValueWrite(Path(u"W"), u"refused", win::ERROR_ACCESS_DENIED);
  RegistryKey key(Path(u"W"));
  const std::uint8_t one[] = {1, 0, 0, 0};
  key.values.emplace_back(u"refused", win::REG_DWORD, one, 4);
  key.values.emplace_back(u"written", win::REG_DWORD, one, 4);
  EXPECT_EQ(key.WriteBack(), static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
  EXPECT_TRUE(machine->GetValue(Path(u"W"), u"written").has_value());
  EXPECT_FALSE(machine->GetValue(Path(u"W"), u"refused").has_value());
  // Values that the tree does not hold stay as they are.
  EXPECT_EQ(machine->GetString(Path(u"W"), u"other"), std::optional<std::u16string>(u"stays"));
}

TEST_F(RegistryKeyTest, LoadedTreeWritesBackUnchangedElsewhere) {
  machine->SetValue(Path(u"Src"), u"blank", win::REG_MULTI_SZ, {});
  machine->SetString(Path(u"Src\\Sub"), u"t", u"text");
  RegistryKey source(Path(u"Src"));
  ASSERT_TRUE(source.LoadTree());
  ASSERT_EQ(source.WriteBack(), 0);  // writing a tree onto itself changes nothing
  const auto blank = machine->GetValue(Path(u"Src"), u"blank");
  ASSERT_TRUE(blank.has_value());
  EXPECT_EQ(blank->type, win::REG_MULTI_SZ);
  EXPECT_TRUE(blank->bytes.empty());
  EXPECT_EQ(machine->GetString(Path(u"Src\\Sub"), u"t"), std::optional<std::u16string>(u"text"));
}

// --- DeleteValue ----------------------------------------------------------------

TEST_F(RegistryKeyTest, DeleteValueOpensWithFullAccessAndDeletesOneValue) {
  machine->SetString(kTest, u"", u"default");
  machine->SetString(kTest, u"keep", u"k");
  const RegistryKey key(kTest);
  machine->ResetCallLog();
  key.DeleteValue(u"");
  EXPECT_CALLS(*machine, {"RegOpenKeyExW(HKEY_CURRENT_USER, Software\\QuenwickTest, 0, 0xf003f) = 0",
                          "RegDeleteValueW(", "RegCloseKey("});
  EXPECT_FALSE(machine->GetValue(kTest, u"").has_value());
  EXPECT_TRUE(machine->GetValue(kTest, u"keep").has_value());
}

TEST_F(RegistryKeyTest, DeleteValueChangesNothingItMayNotOpen) {
  machine->SetString(kTest, u"v", u"x");
  machine->SetKeyAccess(kTest, KeyAccess{.readable = true, .writable = false, .deletable = false});
  machine->ResetCallLog();
  RegistryKey(kTest).DeleteValue(u"v");
  EXPECT_EQ(CallNames(*machine), std::vector<std::string>{"RegOpenKeyExW"});
  EXPECT_TRUE(machine->GetValue(kTest, u"v").has_value());

  machine->ResetCallLog();
  RegistryKey(Path(u"Missing")).DeleteValue(u"v");
  EXPECT_EQ(CallNames(*machine), std::vector<std::string>{"RegOpenKeyExW"});
}

// --- DeleteTree -----------------------------------------------------------------

// Tree under the test key:
//   D
//   +- A
//   |  +- A1
//   |  +- A2
//   +- B
//      +- B1
TEST_F(RegistryKeyTest, DeleteTreeDeletesLeavesFirst) {
  for (const char16_t* p : {u"D\\A\\A1", u"D\\A\\A2", u"D\\B\\B1"}) machine->AddKey(Path(p));
  machine->SetString(Path(u"D\\A"), u"v", u"x");
  machine->ResetCallLog();
  EXPECT_EQ(RegistryKey(Path(u"D")).DeleteTree(), 0);
  std::vector<std::string> deleted;
  for (const std::string& line : CallsTo(*machine, "RegDeleteKeyW")) {
    const std::size_t from = line.find("QuenwickTest\\") + 13;
    deleted.push_back(line.substr(from, line.find(')') - from));
  }
  EXPECT_EQ(deleted, (std::vector<std::string>{"D\\A\\A1", "D\\A\\A2", "D\\A", "D\\B\\B1", "D\\B", "D"}));
  EXPECT_FALSE(machine->KeyExists(Path(u"D")));
  EXPECT_TRUE(machine->KeyExists(kTest));
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

TEST_F(RegistryKeyTest, DeleteTreeKeepsAncestorsOfAnUndeletableLeafAndReturnsItsError) {
  for (const char16_t* p : {u"D\\A\\A1", u"D\\A\\A2", u"D\\B\\B1"}) machine->AddKey(Path(p));
  machine->SetKeyAccess(Path(u"D\\A\\A1"), KeyAccess{.readable = true, .writable = true, .deletable = false});
  const win::LSTATUS result = RegistryKey(Path(u"D")).DeleteTree();
  EXPECT_EQ(result, static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
  EXPECT_TRUE(machine->KeyExists(Path(u"D\\A\\A1")));
  EXPECT_FALSE(machine->KeyExists(Path(u"D\\A\\A2")));
  EXPECT_TRUE(machine->KeyExists(Path(u"D\\A")));
  EXPECT_FALSE(machine->KeyExists(Path(u"D\\B")));
  EXPECT_TRUE(machine->KeyExists(Path(u"D")));
}

TEST_F(RegistryKeyTest, DeleteTreeOfMissingKeyReturnsFileNotFound) {
  machine->ResetCallLog();
  EXPECT_EQ(RegistryKey(Path(u"Missing")).DeleteTree(), static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  // The load fails, and so does opening the key itself for its deletion.
  EXPECT_EQ(CallNames(*machine), (std::vector<std::string>{"RegOpenKeyExW", "RegOpenKeyExW"}));
}

// A key that cannot be loaded is still deleted when it has no subkeys: its
// rights allow deletion but not reading.
TEST_F(RegistryKeyTest, DeleteTreeDeletesUnreadableLeafByPath) {
  machine->AddKey(Path(u"D\\Unreadable"));
  machine->SetKeyAccess(Path(u"D\\Unreadable"), KeyAccess{.readable = false, .writable = true, .deletable = true});
  EXPECT_EQ(RegistryKey(Path(u"D")).DeleteTree(), 0);
  EXPECT_FALSE(machine->KeyExists(Path(u"D")));
}

// --- Deep and hostile trees ---------------------------------------------------------

// A chain deeper than any real registry allows is loaded down to the limit;
// the key below it is kept unopened and invalid, and nothing overflows.
TEST_F(RegistryKeyTest, LoadStopsAtTheDepthLimit) {
  std::u16string relative = u"Chain";
  const unsigned levels = kMaxKeyDepth + 40;
  for (unsigned i = 0; i < levels; ++i) relative += u"\\k";
  machine->AddKey(Path(relative));

  RegistryKey key(Path(u"Chain"));
  machine->ResetCallLog();
  ASSERT_TRUE(key.LoadTree());
  EXPECT_EQ(machine->CallCount("RegOpenKeyExW"), kMaxKeyDepth + 1);
  const RegistryKey* level = &key;
  unsigned depth = 0;
  while (!level->subkeys.empty()) {
    EXPECT_EQ(level->IsValid(), depth <= kMaxKeyDepth) << "depth " << depth;
    level = &level->subkeys[0];
    ++depth;
  }
  EXPECT_EQ(depth, kMaxKeyDepth + 1);
  EXPECT_FALSE(level->IsValid());

  // Deleting it fails at the unloaded key, whose subkeys remain, and so
  // leaves every ancestor in place.
  EXPECT_NE(RegistryKey(Path(u"Chain")).DeleteTree(), 0);
  EXPECT_TRUE(machine->KeyExists(Path(u"Chain")));
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

// Links back to an ancestor would make an endless tree, and two of them an
// exponential one, when followed: a link is loaded as a leaf.
TEST_F(RegistryKeyTest, LinksAreLeavesOfALoadedTree) {
  machine->SetString(Path(u"Loop"), u"v", u"x");
  machine->AddRegistryLink(Path(u"Loop\\Again"), Path(u"Loop"));
  machine->AddRegistryLink(Path(u"Loop\\AndAgain"), Path(u"Loop"));
  RegistryKey key(Path(u"Loop"));
  ASSERT_TRUE(key.LoadTree());
  ASSERT_EQ(key.values.size(), 1u);
  ASSERT_EQ(key.subkeys.size(), 2u);
  for (const RegistryKey& link : key.subkeys) {
    EXPECT_TRUE(link.IsLink());
    EXPECT_TRUE(link.subkeys.empty());
    EXPECT_TRUE(link.values.empty());
  }
  EXPECT_EQ(machine->OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace quenwick
