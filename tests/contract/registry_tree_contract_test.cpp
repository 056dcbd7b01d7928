// The registry facts behind loading and writing key trees that the general
// registry contract does not cover: values without data, the default value's
// empty name, enumeration as a load makes it, deleting the default value.
// Run on the simulated machine and, cross-built, on Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "contract/contract_machine.h"

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

// A value without data: its size query reports 0, and the read that follows
// is made with no buffer at all; setting one with no bytes keeps its type.
TEST_F(RegistryTreeContract, ValueWithoutDataIsReadWithNoBuffer) {
  machine->MakeValue(keyPath, u"Empty", win::REG_BINARY, {});
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_ALL_ACCESS, key), 0);
  win::DWORD type = 0, size = 99;
  EXPECT_EQ(os().RegQueryValueExW(key, u"Empty", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, win::REG_BINARY);
  size = 0;
  EXPECT_EQ(os().RegQueryValueExW(key, u"Empty", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 0u);

  EXPECT_EQ(os().RegSetValueExW(key, u"blank", 0, win::REG_EXPAND_SZ, nullptr, 0), 0);
  size = 99;
  EXPECT_EQ(os().RegQueryValueExW(key, u"blank", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, win::REG_EXPAND_SZ);
  EXPECT_EQ(size, 0u);
  os().RegCloseKey(key);
}

TEST_F(RegistryTreeContract, DefaultValueHasTheEmptyName) {
  machine->MakeValue(keyPath, u"", win::REG_SZ, TerminatedUtf16LeBytes(u"default"));
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

// A load enumerates values twice per index (size, then data with exactly that
// room) and subkey names with the capacity it announces, 31,767 characters:
// the longest name the registry allows (255) comes back whole, its length
// without the terminator.
TEST_F(RegistryTreeContract, EnumerationAsALoadMakesIt) {
  const std::u16string longName(255, u'k');
  machine->MakeKey(Full(longName));
  machine->MakeValue(keyPath, u"two", win::REG_SZ, TerminatedUtf16LeBytes(u"2"));
  win::HKEY key{};
  ASSERT_EQ(Open(u"", win::KEY_READ, key), 0);

  std::vector<char16_t> buffer(32767, u'#');
  win::DWORD nameLength = 32767, type = 0, size = 0;
  ASSERT_EQ(os().RegEnumValueW(key, 0, buffer.data(), &nameLength, nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(nameLength, 3u);
  EXPECT_EQ(size, 4u);
  std::vector<win::BYTE> data(size);
  nameLength = 32767;
  ASSERT_EQ(os().RegEnumValueW(key, 0, buffer.data(), &nameLength, nullptr, &type, data.data(), &size), 0);
  EXPECT_EQ(U8(std::u16string_view(buffer.data(), nameLength)), "two");
  EXPECT_EQ(data, TerminatedUtf16LeBytes(u"2"));
  nameLength = 32767;
  EXPECT_EQ(os().RegEnumValueW(key, 1, buffer.data(), &nameLength, nullptr, &type, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS));

  nameLength = 31767;
  ASSERT_EQ(os().RegEnumKeyExW(key, 0, buffer.data(), &nameLength, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(nameLength, 255u);
  EXPECT_EQ(U8(std::u16string_view(buffer.data(), nameLength)), U8(longName));
  EXPECT_EQ(buffer[255], u'\0');
  nameLength = 31767;
  EXPECT_EQ(os().RegEnumKeyExW(key, 1, buffer.data(), &nameLength, nullptr, nullptr, nullptr, nullptr),
            static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS));
  os().RegCloseKey(key);
}

TEST_F(RegistryTreeContract, DeleteValueOfTheEmptyNameDeletesTheDefault) {
  machine->MakeValue(keyPath, u"", win::REG_SZ, TerminatedUtf16LeBytes(u"d"));
  machine->MakeValue(keyPath, u"kept", win::REG_SZ, TerminatedUtf16LeBytes(u"k"));
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
