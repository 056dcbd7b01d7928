// The registry calls behind registry keys: opening with the rights asked,
// querying a value's size before reading it, enumerating values and subkeys
// by index, creating, setting and deleting. Run on the simulated machine and,
// cross-built, on Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contract/contract_machine.h"
#include "engine/text.h"

namespace quenwick::contract {
namespace {

std::string U8(std::u16string_view text) { return ToUtf8(text); }

class RegistryTreeContract : public ::testing::Test {
 protected:
  Platform& os() { return machine->platform(); }

  // Opens the scratch key (or a path below it) with `access`; 0 on success.
  win::LSTATUS Open(std::u16string_view relative, win::REGSAM access, win::HKEY& key) {
    std::u16string path = subkey;
    if (!relative.empty()) path += u"\\" + std::u16string(relative);
    return os().RegOpenKeyExW(win::HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
  }
  std::u16string Full(std::u16string_view relative) const { return keyPath + u"\\" + std::u16string(relative); }

  std::unique_ptr<ContractMachine> machine = MakeContractMachine();
  std::u16string keyPath = machine->ScratchKeyPath();
  std::u16string subkey = machine->ScratchSubkey();
};

TEST_F(RegistryTreeContract, ReadOnlyKeyOpensForReadingButNotWithFullAccess) {
  machine->MakeKey(Full(u"ReadOnly"));
  machine->MakeKeyReadOnly(Full(u"ReadOnly"));
  win::HKEY key{};
  ASSERT_EQ(Open(u"ReadOnly", win::KEY_READ, key), 0);
  EXPECT_EQ(os().RegCloseKey(key), 0);
  EXPECT_EQ(Open(u"ReadOnly", win::KEY_ALL_ACCESS, key), static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
}

TEST_F(RegistryTreeContract, MissingKeyDoesNotOpen) {
  win::HKEY key{};
  EXPECT_EQ(Open(u"Missing", win::KEY_READ, key), static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(u"Missing\\Deeper", win::KEY_ALL_ACCESS, key),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
}

// A size query without a buffer, then a read into exactly that room.
TEST_F(RegistryTreeContract, ValueIsQueriedForItsSizeThenRead) {
  machine->MakeValue(keyPath, u"Text", win::REG_SZ, StringBytes(u"abc"));
  machine->MakeValue(keyPath, u"Empty", win::REG_BINARY, {});
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_ALL_ACCESS, key), 0);

  win::DWORD type = 0, size = 0;
  EXPECT_EQ(os().RegQueryValueExW(key, u"text", nullptr, &type, nullptr, &size), 0);  // names ignore case
  EXPECT_EQ(type, win::REG_SZ);
  EXPECT_EQ(size, 8u);
  std::vector<win::BYTE> data(size);
  win::DWORD received = size;
  EXPECT_EQ(os().RegQueryValueExW(key, u"Text", nullptr, &type, data.data(), &received), 0);
  EXPECT_EQ(received, 8u);
  EXPECT_EQ(data, StringBytes(u"abc"));

  // One byte short: the read fails and says how much it needs.
  std::vector<win::BYTE> small(7);
  received = 7;
  EXPECT_EQ(os().RegQueryValueExW(key, u"Text", nullptr, &type, small.data(), &received),
            static_cast<win::LSTATUS>(win::ERROR_MORE_DATA));

  // A value without data: size 0, read with no buffer at all.
  size = 99;
  EXPECT_EQ(os().RegQueryValueExW(key, u"Empty", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, win::REG_BINARY);

  EXPECT_EQ(os().RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  // The default value of a key that has none.
  EXPECT_EQ(os().RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  os().RegCloseKey(key);
}

TEST_F(RegistryTreeContract, DefaultValueHasTheEmptyName) {
  machine->MakeValue(keyPath, u"", win::REG_SZ, StringBytes(u"default"));
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_READ, key), 0);
  win::DWORD type = 0, size = 0;
  EXPECT_EQ(os().RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 16u);

  std::vector<char16_t> name(32767, u'#');
  win::DWORD nameLength = 32767;
  EXPECT_EQ(os().RegEnumValueW(key, 0, name.data(), &nameLength, nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(nameLength, 0u);
  EXPECT_EQ(name[0], u'\0');
  EXPECT_EQ(size, 16u);
  os().RegCloseKey(key);
}

// Values and subkeys by index, each name's length without its terminator,
// the end marked by 259. Subkeys come in the order of their names, letter
// case aside.
TEST_F(RegistryTreeContract, EnumerationByIndexEndsWithNoMoreItems) {
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) machine->MakeKey(Full(name));
  machine->MakeValue(keyPath, u"one", win::REG_DWORD, {1, 0, 0, 0});
  machine->MakeValue(keyPath, u"two", win::REG_SZ, StringBytes(u"2"));
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_READ, key), 0);

  std::vector<char16_t> buffer(32767);
  std::vector<std::string> valueNames;
  for (win::DWORD index = 0;; ++index) {
    win::DWORD nameLength = 32767, type = 0, size = 0;
    const win::LSTATUS status =
        os().RegEnumValueW(key, index, buffer.data(), &nameLength, nullptr, &type, nullptr, &size);
    if (status == static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS)) break;
    ASSERT_EQ(status, 0);
    ASSERT_LT(index, 10u);
    valueNames.push_back(U8(std::u16string_view(buffer.data(), nameLength)));
    EXPECT_EQ(buffer[nameLength], u'\0');
    // The same index read again with exactly the reported room.
    std::vector<win::BYTE> data(size);
    nameLength = 32767;
    EXPECT_EQ(os().RegEnumValueW(key, index, buffer.data(), &nameLength, nullptr, &type,
                                 data.empty() ? nullptr : data.data(), &size),
              0);
  }
  std::sort(valueNames.begin(), valueNames.end());
  EXPECT_EQ(valueNames, (std::vector<std::string>{"one", "two"}));

  std::vector<std::string> subkeyNames;
  for (win::DWORD index = 0;; ++index) {
    win::DWORD nameLength = 31767;  // the capacity a subkey enumeration announces
    const win::LSTATUS status =
        os().RegEnumKeyExW(key, index, buffer.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (status == static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS)) break;
    ASSERT_EQ(status, 0);
    ASSERT_LT(index, 10u);
    subkeyNames.push_back(U8(std::u16string_view(buffer.data(), nameLength)));
  }
  EXPECT_EQ(subkeyNames, (std::vector<std::string>{"Alpha", "beta", "gamma"}));

  // A name that does not fit is not written short.
  win::DWORD tooSmall = 3;
  EXPECT_EQ(os().RegEnumKeyExW(key, 0, buffer.data(), &tooSmall, nullptr, nullptr, nullptr, nullptr),
            static_cast<win::LSTATUS>(win::ERROR_MORE_DATA));
  os().RegCloseKey(key);
}

TEST_F(RegistryTreeContract, CreateMakesMissingParentsAndSetsEmptyValues) {
  win::HKEY key{};
  const std::u16string path = subkey + u"\\New\\Child";
  ASSERT_EQ(os().RegCreateKeyExW(win::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                 win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            0);
  EXPECT_EQ(os().RegSetValueExW(key, u"empty", 0, win::REG_EXPAND_SZ, nullptr, 0), 0);
  os().RegCloseKey(key);

  // Creating an existing key opens it.
  ASSERT_EQ(os().RegCreateKeyExW(win::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                 win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            0);
  win::DWORD type = 0, size = 99;
  EXPECT_EQ(os().RegQueryValueExW(key, u"empty", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, win::REG_EXPAND_SZ);
  EXPECT_EQ(size, 0u);
  os().RegCloseKey(key);
}

TEST_F(RegistryTreeContract, DeleteKeyRefusesAKeyWithSubkeys) {
  machine->MakeKey(Full(u"Parent\\Child"));
  const std::u16string parent = subkey + u"\\Parent";
  const std::u16string child = parent + u"\\Child";
  EXPECT_EQ(os().RegDeleteKeyW(win::HKEY_CURRENT_USER, parent.c_str()),
            static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(os().RegDeleteKeyW(win::HKEY_CURRENT_USER, child.c_str()), 0);
  EXPECT_EQ(os().RegDeleteKeyW(win::HKEY_CURRENT_USER, child.c_str()),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(os().RegDeleteKeyW(win::HKEY_CURRENT_USER, parent.c_str()), 0);
}

TEST_F(RegistryTreeContract, DeleteValueOfTheEmptyNameDeletesTheDefault) {
  machine->MakeValue(keyPath, u"", win::REG_SZ, StringBytes(u"d"));
  machine->MakeValue(keyPath, u"kept", win::REG_SZ, StringBytes(u"k"));
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_ALL_ACCESS, key), 0);
  EXPECT_EQ(os().RegDeleteValueW(key, u""), 0);
  EXPECT_EQ(os().RegDeleteValueW(key, u"missing"), static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  win::DWORD type = 0, size = 0;
  EXPECT_EQ(os().RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(os().RegQueryValueExW(key, u"kept", nullptr, &type, nullptr, &size), 0);
  os().RegCloseKey(key);
}

}  // namespace
}  // namespace quenwick::contract
