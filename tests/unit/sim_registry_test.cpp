// The simulated registry's setup API, its links and its call accounting.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

namespace quenwick::sim {
namespace {

using win::DWORD;
using win::HKEY;
using win::LSTATUS;

class SimRegistry : public ::testing::Test {
 protected:
  SimMachine m;

  LSTATUS Open(const char16_t* path, HKEY* key, win::REGSAM access = win::KEY_READ,
               DWORD options = 0) {
    return m.RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, path, options, access, key);
  }
};

TEST_F(SimRegistry, EmptyMachineHasItsRootsOnly) {
  for (HKEY root : {win::HKEY_CLASSES_ROOT, win::HKEY_CURRENT_USER, win::HKEY_LOCAL_MACHINE,
                    win::HKEY_USERS}) {
    HKEY key{};
    EXPECT_EQ(m.RegOpenKeyExW(root, nullptr, 0, win::KEY_READ, &key), 0);
    EXPECT_EQ(m.RegCloseKey(key), 0);
  }
  EXPECT_FALSE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft"));
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimRegistry, SetupValuesReadBackThroughCalls) {
  m.SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue", u"Path", u"C:\\r.exe");
  m.SetDword(u"HKLM\\SOFTWARE\\Rogue", u"Count", 0x01020304);
  EXPECT_TRUE(m.KeyExists(u"hkey_local_machine\\software\\ROGUE"));
  EXPECT_EQ(m.GetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue", u"path"), u"C:\\r.exe");
  const std::optional<RegistryValueData> count = m.GetValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue", u"Count");
  ASSERT_TRUE(count.has_value());
  EXPECT_EQ(count->type, win::REG_DWORD);
  EXPECT_EQ(count->bytes, (std::vector<std::uint8_t>{4, 3, 2, 1}));
  // REG_SZ data carries its terminator.
  EXPECT_EQ(m.GetValue(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue", u"Path")->bytes.size(), 18u);
  EXPECT_EQ(m.GetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue", u"Count"), std::nullopt);
}

TEST_F(SimRegistry, SubkeysSortByUpperCaseAsHivesDo) {
  // "_x" sorts after "B" when both are upper-cased ("_" is 0x5F, "B" 0x42),
  // although it would sort before "b" in lower case.
  for (const char16_t* name : {u"b", u"_x", u"A", u"c"}) {
    m.AddKey(std::u16string(u"HKEY_CURRENT_USER\\Software\\") + name);
  }
  EXPECT_EQ(m.SubkeyNames(u"HKEY_CURRENT_USER\\Software"),
            (std::vector<std::u16string>{u"A", u"b", u"c", u"_x"}));
}

TEST_F(SimRegistry, SettingAValueAgainKeepsItsPlace) {
  const std::u16string key = u"HKEY_CURRENT_USER\\Software\\Order";
  m.SetDword(key, u"first", 1);
  m.SetDword(key, u"second", 2);
  m.SetDword(key, u"FIRST", 3);
  EXPECT_EQ(m.ValueNames(key), (std::vector<std::u16string>{u"first", u"second"}));
  EXPECT_EQ(m.GetValue(key, u"first")->bytes[0], 3);
}

TEST_F(SimRegistry, KeyAccessControlsOpeningCreatingAndDeleting) {
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded\\Child");
  m.SetKeyAccess(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded", KeyAccess{true, false, true});
  m.SetKeyAccess(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded\\Child", KeyAccess{true, true, false});
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Hidden");
  m.SetKeyAccess(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Hidden", KeyAccess{false, true, true});

  HKEY key{};
  EXPECT_EQ(Open(u"SOFTWARE\\Guarded", &key), 0);
  m.RegCloseKey(key);
  for (win::REGSAM access : {win::KEY_ALL_ACCESS, win::KEY_WRITE, win::KEY_SET_VALUE, win::DELETE,
                             win::KEY_CREATE_SUB_KEY}) {
    EXPECT_EQ(Open(u"SOFTWARE\\Guarded", &key, access), 5) << access;
  }
  EXPECT_EQ(Open(u"SOFTWARE\\Hidden", &key), 5);
  EXPECT_EQ(Open(u"SOFTWARE\\Hidden", &key, win::KEY_SET_VALUE), 0);
  m.RegCloseKey(key);

  // Creating below a key that may not be written.
  DWORD disposition = 0;
  EXPECT_EQ(m.RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Guarded\\New", 0, nullptr, 0,
                              win::KEY_ALL_ACCESS, nullptr, &key, &disposition),
            5);
  EXPECT_FALSE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded\\New"));
  // A key that may not be deleted.
  EXPECT_EQ(m.RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Guarded\\Child"), 5);
  EXPECT_TRUE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded\\Child"));
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimRegistry, RefusedValueWriteFailsOnlyThatValue) {
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Winlogon");
  m.RefuseValueWrite(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Winlogon", u"Userinit", 1234);
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\Winlogon", &key, win::KEY_ALL_ACCESS), 0);
  const win::BYTE data[4] = {1, 0, 0, 0};
  EXPECT_EQ(m.RegSetValueExW(key, u"USERINIT", 0, win::REG_DWORD, data, 4), 1234);
  EXPECT_EQ(m.RegSetValueExW(key, u"Shell", 0, win::REG_DWORD, data, 4), 0);
  m.RegCloseKey(key);
  EXPECT_EQ(m.ValueNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Winlogon"),
            std::vector<std::u16string>{u"Shell"});
}

TEST_F(SimRegistry, RootsAndTheUserHiveCannotBeDeleted) {
  EXPECT_EQ(m.RegDeleteKeyW(win::HKEY_CURRENT_USER, u""), 5);
  EXPECT_EQ(m.DeleteKeyByHandle(win::HKEY_LOCAL_MACHINE), 5);
  // HKEY_CURRENT_USER is the user's hive under HKEY_USERS.
  m.AddKey(u"HKEY_CURRENT_USER\\Software\\Probe");
  const std::vector<std::u16string> users = m.SubkeyNames(u"HKEY_USERS");
  ASSERT_EQ(users.size(), 1u);
  EXPECT_TRUE(m.KeyExists(u"HKEY_USERS\\" + users[0] + u"\\Software\\Probe"));
}

// HKLM\SOFTWARE
//   Target\Inner      (value "v")
//   Link  -> HKLM\SOFTWARE\Target
class SimRegistryLinks : public SimRegistry {
 protected:
  void SetUp() override {
    m.SetDword(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Target\\Inner", u"v", 1);
    m.AddRegistryLink(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Link", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Target");
  }
};

TEST_F(SimRegistryLinks, OpeningFollowsLinksAnywhereInThePath) {
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\Link\\Inner", &key), 0);
  DWORD size = 0;
  EXPECT_EQ(m.RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), 0);
  m.RegCloseKey(key);
  ASSERT_EQ(Open(u"SOFTWARE\\Link", &key), 0);
  char16_t name[16];
  DWORD length = 16;
  EXPECT_EQ(m.RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::u16string(name), u"Inner");
  m.RegCloseKey(key);
  EXPECT_TRUE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Link\\Inner"));
  EXPECT_EQ(m.SubkeyNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE"),
            (std::vector<std::u16string>{u"Classes", u"Link", u"Target"}));
}

TEST_F(SimRegistryLinks, OpenLinkOptionOpensTheLinkKeyItself) {
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\Link", &key, win::KEY_READ, win::REG_OPTION_OPEN_LINK), 0);
  char16_t name[32];
  DWORD length = 32;
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(m.RegEnumValueW(key, 0, name, &length, nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(std::u16string(name), u"SymbolicLinkValue");
  EXPECT_EQ(type, win::REG_LINK);
  const std::u16string native = u"\\REGISTRY\\MACHINE\\SOFTWARE\\Target";
  EXPECT_EQ(size, native.size() * 2);
  length = 32;
  EXPECT_EQ(m.RegEnumValueW(key, 1, name, &length, nullptr, &type, nullptr, &size), 259);
  length = 32;
  EXPECT_EQ(m.RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), 259);
  m.RegCloseKey(key);
}

TEST_F(SimRegistryLinks, DeleteKeyThroughALinkDeletesTheTarget) {
  ASSERT_EQ(m.RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Link\\Inner"), 0);
  // The link's own name follows the link too: the target goes, the link stays.
  EXPECT_EQ(m.RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Link"), 0);
  EXPECT_FALSE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Target"));
  EXPECT_EQ(m.SubkeyNames(u"HKEY_LOCAL_MACHINE\\SOFTWARE"),
            (std::vector<std::u16string>{u"Classes", u"Link"}));
  HKEY key{};
  EXPECT_EQ(Open(u"SOFTWARE\\Link", &key), 2);  // dangling now
}

TEST_F(SimRegistryLinks, DeletingTheLinkHandleRemovesOnlyTheLink) {
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\Link", &key, win::KEY_READ, win::REG_OPTION_OPEN_LINK), 0);
  EXPECT_EQ(m.DeleteKeyByHandle(key), 5);  // opened without DELETE
  m.RegCloseKey(key);
  ASSERT_EQ(Open(u"SOFTWARE\\Link", &key, win::KEY_READ | win::DELETE, win::REG_OPTION_OPEN_LINK),
            0);
  EXPECT_EQ(m.DeleteKeyByHandle(key), 0);
  EXPECT_EQ(m.DeleteKeyByHandle(key), static_cast<LSTATUS>(win::ERROR_KEY_DELETED));
  m.RegCloseKey(key);
  EXPECT_TRUE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Target\\Inner"));
  EXPECT_FALSE(m.KeyExists(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Link"));

  // A key with subkeys cannot be deleted by handle either.
  ASSERT_EQ(Open(u"SOFTWARE\\Target", &key, win::KEY_ALL_ACCESS), 0);
  EXPECT_EQ(m.DeleteKeyByHandle(key), 5);
  m.RegCloseKey(key);
}

TEST_F(SimRegistryLinks, LinksCreatedThroughCallsWork) {
  HKEY link{};
  ASSERT_EQ(m.RegCreateKeyExW(win::HKEY_CURRENT_USER, u"Software\\MyLink", 0, nullptr,
                              win::REG_OPTION_CREATE_LINK, win::KEY_ALL_ACCESS | win::KEY_CREATE_LINK,
                              nullptr, &link, nullptr),
            0);
  const std::u16string target = u"\\Registry\\Machine\\SOFTWARE\\Target";
  ASSERT_EQ(m.RegSetValueExW(link, u"SymbolicLinkValue", 0, win::REG_LINK,
                             reinterpret_cast<const win::BYTE*>(target.data()),
                             static_cast<DWORD>(target.size() * 2)),
            0);
  m.RegCloseKey(link);
  EXPECT_TRUE(m.KeyExists(u"HKEY_CURRENT_USER\\Software\\MyLink\\Inner"));
}

TEST_F(SimRegistry, CallsAreCountedAndLogged) {
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\X");
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\X", &key, 0x20019), 0);
  HKEY missing{};
  EXPECT_EQ(Open(u"SOFTWARE\\Y", &missing), 2);
  EXPECT_EQ(missing, HKEY{});
  ASSERT_EQ(m.CallLog().size(), 2u);
  EXPECT_EQ(m.CallLog()[0].rfind("RegOpenKeyExW(HKEY_LOCAL_MACHINE, SOFTWARE\\X, 0, 0x20019) = 0", 0),
            0u);
  EXPECT_EQ(m.CallLog()[1], "RegOpenKeyExW(HKEY_LOCAL_MACHINE, SOFTWARE\\Y, 0, 0x20019) = 2");
  EXPECT_EQ(m.CallCount("RegOpenKeyExW"), 2u);
  EXPECT_EQ(m.OpenHandleCount(), 1u);

  m.SetCallLogging(false);
  EXPECT_EQ(m.RegCloseKey(key), 0);
  EXPECT_EQ(m.RegCloseKey(key), 6);
  EXPECT_EQ(m.CallLog().size(), 2u);
  EXPECT_EQ(m.CallCount("RegCloseKey"), 2u);
  EXPECT_EQ(m.TotalCalls(), 4u);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
  EXPECT_EQ(m.CallCount("NoSuchCall"), 0u);

  m.ResetCallLog();
  EXPECT_EQ(m.TotalCalls(), 0u);
  EXPECT_EQ(m.CallCount("RegOpenKeyExW"), 0u);
}

TEST_F(SimRegistry, NullAndEmptySubkeysGiveNewHandlesToTheSameKey) {
  m.SetDword(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", u"v", 5);
  HKEY key{};
  ASSERT_EQ(Open(u"SOFTWARE\\X", &key), 0);
  HKEY again{};
  HKEY third{};
  ASSERT_EQ(m.RegOpenKeyExW(key, nullptr, 0, win::KEY_READ, &again), 0);
  ASSERT_EQ(m.RegOpenKeyExW(key, u"", 0, win::KEY_READ, &third), 0);
  EXPECT_NE(again, key);
  EXPECT_NE(third, again);
  EXPECT_EQ(m.OpenHandleCount(), 3u);
  DWORD size = 0;
  EXPECT_EQ(m.RegQueryValueExW(third, u"v", nullptr, nullptr, nullptr, &size), 0);
  for (HKEY k : {key, again, third}) m.RegCloseKey(k);
}

}  // namespace
}  // namespace quenwick::sim
