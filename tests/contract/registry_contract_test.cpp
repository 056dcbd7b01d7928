// Registry facts the program relies on, checked through Platform only.
#include <gtest/gtest.h>

#include <algorithm>

#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

using win::DWORD;

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = MakeContractMachine();
    keyPath_ = machine_->ScratchKeyPath();
    subkey_ = machine_->ScratchSubkey();
  }
  Platform& p() { return machine_->platform(); }

  std::unique_ptr<ContractMachine> machine_;
  std::u16string keyPath_;  // "HKEY_CURRENT_USER\...\case-N"
  std::u16string subkey_;   // "...\case-N"
};

TEST_F(RegistryContract, MissingKeyOpensWithFileNotFound) {
  win::HKEY key{};
  EXPECT_EQ(p().RegOpenKeyExW(win::HKEY_CURRENT_USER, (subkey_ + u"\\Missing").c_str(), 0,
                              win::KEY_READ, &key),
            2);
  EXPECT_EQ(p().RegOpenKeyExW(win::HKEY_CURRENT_USER, (subkey_ + u"\\Missing\\Deeper").c_str(),
                              0, win::KEY_READ, &key),
            2);
}

TEST_F(RegistryContract, KeyNamesIgnoreCaseAndKeepIt) {
  machine_->MakeKey(keyPath_ + u"\\MixedCase\\Inner");
  OpenedKey lower(p(), subkey_ + u"\\mixedcase\\INNER", win::KEY_READ);
  EXPECT_EQ(lower.status(), 0);

  OpenedKey parent(p(), subkey_, win::KEY_READ);
  ASSERT_EQ(parent.status(), 0);
  char16_t name[64];
  DWORD length = 64;
  ASSERT_EQ(p().RegEnumKeyExW(parent.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(std::u16string(name), u"MixedCase");
  EXPECT_EQ(length, 9u);
}

TEST_F(RegistryContract, EmptySubkeyOpensTheSameKeyAgain) {
  machine_->MakeValue(keyPath_, u"Probe", win::REG_DWORD, LittleEndianBytes(7, 4));
  OpenedKey outer(p(), subkey_, win::KEY_READ);
  ASSERT_EQ(outer.status(), 0);
  win::HKEY again{};
  ASSERT_EQ(p().RegOpenKeyExW(outer.get(), u"", 0, win::KEY_READ, &again), 0);
  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(p().RegQueryValueExW(again, u"Probe", nullptr, nullptr,
                                 reinterpret_cast<win::BYTE*>(&value), &size),
            0);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(p().RegCloseKey(again), 0);
}

TEST_F(RegistryContract, QueryReportsSizesAndShortBuffers) {
  const std::vector<std::uint8_t> text = TerminatedUtf16LeBytes(u"C:\\rogue\\rogue.exe");
  machine_->MakeValue(keyPath_, u"Path", win::REG_SZ, text);
  OpenedKey key(p(), subkey_, win::KEY_ALL_ACCESS);
  ASSERT_EQ(key.status(), 0);

  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"Missing", nullptr, &type, nullptr, &size), 2);
  // No buffer: the type and the size in bytes, terminator included.
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"path", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, win::REG_SZ);
  EXPECT_EQ(size, text.size());

  std::vector<win::BYTE> small(4, 0xEE);
  size = 4;
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"Path", nullptr, &type, small.data(), &size), 234);
  EXPECT_EQ(size, text.size());

  std::vector<win::BYTE> exact(text.size());
  size = static_cast<DWORD>(exact.size());
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"Path", nullptr, &type, exact.data(), &size), 0);
  EXPECT_EQ(exact, text);
}

TEST_F(RegistryContract, DefaultValueIsMissingUntilSet) {
  OpenedKey key(p(), subkey_, win::KEY_ALL_ACCESS);
  ASSERT_EQ(key.status(), 0);
  DWORD size = 0;
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"", nullptr, nullptr, nullptr, &size), 2);
  const std::vector<std::uint8_t> text = TerminatedUtf16LeBytes(u"default");
  ASSERT_EQ(p().RegSetValueExW(key.get(), nullptr, 0, win::REG_SZ, text.data(),
                               static_cast<DWORD>(text.size())),
            0);
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, text.size());
}

TEST_F(RegistryContract, ValuesEnumerateInCreationOrderAndEndWith259) {
  const std::u16string names[] = {u"zeta", u"Alpha", u"mid"};
  for (const std::u16string& name : names) {
    machine_->MakeValue(keyPath_, name, win::REG_DWORD, LittleEndianBytes(1, 4));
  }
  OpenedKey key(p(), subkey_, win::KEY_READ);
  ASSERT_EQ(key.status(), 0);
  std::vector<std::u16string> seen;
  DWORD index = 0;
  for (;; ++index) {
    char16_t name[32];
    DWORD length = 32;
    DWORD type = 0;
    DWORD size = 0;
    const win::LSTATUS status =
        p().RegEnumValueW(key.get(), index, name, &length, nullptr, &type, nullptr, &size);
    if (status != 0) {
      EXPECT_EQ(status, 259);
      break;
    }
    EXPECT_EQ(type, win::REG_DWORD);
    EXPECT_EQ(size, 4u);  // no data buffer: the data size
    EXPECT_EQ(length, std::u16string(name).size());
    seen.emplace_back(name);
  }
  if (machine_->simulated()) {
    EXPECT_EQ(seen, std::vector<std::u16string>(std::begin(names), std::end(names)));
  } else {
    // Windows enumerates values in the order they were created; Wine keeps
    // them sorted by name. The program relies on neither: only the set and
    // the end of the enumeration are checked on a real machine.
    std::vector<std::u16string> want(std::begin(names), std::end(names));
    std::sort(seen.begin(), seen.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
  }
}

TEST_F(RegistryContract, EnumerationRefusesShortBuffersWithMoreData) {
  machine_->MakeKey(keyPath_ + u"\\LongSubkeyName");
  machine_->MakeValue(keyPath_, u"LongValueName", win::REG_SZ, TerminatedUtf16LeBytes(u"some text"));
  OpenedKey key(p(), subkey_, win::KEY_READ);
  ASSERT_EQ(key.status(), 0);

  char16_t name[64];
  DWORD length = 14;  // 14 characters, no room for the terminator
  EXPECT_EQ(p().RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            234);
  length = 15;
  EXPECT_EQ(p().RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(length, 14u);

  length = 13;
  EXPECT_EQ(p().RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr), 234);

  win::BYTE data[4];
  DWORD size = sizeof data;
  length = 64;
  EXPECT_EQ(p().RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, data, &size), 234);
  EXPECT_EQ(size, TerminatedUtf16LeBytes(u"some text").size());
}

TEST_F(RegistryContract, SubkeysEnumerateWithoutRegardToCase) {
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta"}) {
    machine_->MakeKey(keyPath_ + u"\\" + name);
  }
  OpenedKey key(p(), subkey_, win::KEY_READ);
  ASSERT_EQ(key.status(), 0);
  std::vector<std::u16string> seen;
  char16_t name[32];
  DWORD length = 32;
  for (DWORD i = 0;
       p().RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0;
       ++i, length = 32) {
    seen.emplace_back(name);
  }
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Alpha", u"beta", u"Delta", u"gamma"}));
  length = 32;
  EXPECT_EQ(p().RegEnumKeyExW(key.get(), 4, name, &length, nullptr, nullptr, nullptr, nullptr), 259);
}

TEST_F(RegistryContract, CreateMakesIntermediateKeysAndReportsDisposition) {
  win::HKEY key{};
  DWORD disposition = 0;
  const std::u16string deep = subkey_ + u"\\One\\Two\\Three";
  ASSERT_EQ(p().RegCreateKeyExW(win::HKEY_CURRENT_USER, deep.c_str(), 0, nullptr, 0,
                                win::KEY_ALL_ACCESS, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, win::REG_CREATED_NEW_KEY);
  EXPECT_EQ(p().RegCloseKey(key), 0);
  ASSERT_EQ(p().RegCreateKeyExW(win::HKEY_CURRENT_USER, deep.c_str(), 0, nullptr, 0,
                                win::KEY_ALL_ACCESS, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, win::REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(p().RegCloseKey(key), 0);
  OpenedKey middle(p(), subkey_ + u"\\One\\Two", win::KEY_READ);
  EXPECT_EQ(middle.status(), 0);
}

TEST_F(RegistryContract, DeleteKeyRefusesAKeyWithSubkeys) {
  machine_->MakeKey(keyPath_ + u"\\Parent\\Child");
  const std::u16string parent = subkey_ + u"\\Parent";
  EXPECT_EQ(p().RegDeleteKeyW(win::HKEY_CURRENT_USER, parent.c_str()), 5);
  EXPECT_EQ(p().RegDeleteKeyW(win::HKEY_CURRENT_USER, (parent + u"\\Child").c_str()), 0);
  EXPECT_EQ(p().RegDeleteKeyW(win::HKEY_CURRENT_USER, parent.c_str()), 0);
  EXPECT_EQ(p().RegDeleteKeyW(win::HKEY_CURRENT_USER, parent.c_str()), 2);
  OpenedKey gone(p(), parent, win::KEY_READ);
  EXPECT_EQ(gone.status(), 2);
}

TEST_F(RegistryContract, DeleteValueReportsMissingValues) {
  machine_->MakeValue(keyPath_, u"Doomed", win::REG_SZ, TerminatedUtf16LeBytes(u"x"));
  OpenedKey key(p(), subkey_, win::KEY_ALL_ACCESS);
  ASSERT_EQ(key.status(), 0);
  EXPECT_EQ(p().RegDeleteValueW(key.get(), u"DOOMED"), 0);
  EXPECT_EQ(p().RegDeleteValueW(key.get(), u"Doomed"), 2);
  DWORD size = 0;
  EXPECT_EQ(p().RegQueryValueExW(key.get(), u"Doomed", nullptr, nullptr, nullptr, &size), 2);
}

TEST_F(RegistryContract, HandleRightsLimitWhatItMayDo) {
  machine_->MakeValue(keyPath_, u"Value", win::REG_DWORD, LittleEndianBytes(1, 4));
  const std::vector<std::uint8_t> bytes = LittleEndianBytes(2, 4);
  {
    OpenedKey readOnly(p(), subkey_, win::KEY_READ);
    ASSERT_EQ(readOnly.status(), 0);
    EXPECT_EQ(p().RegSetValueExW(readOnly.get(), u"Value", 0, win::REG_DWORD, bytes.data(), 4), 5);
    EXPECT_EQ(p().RegDeleteValueW(readOnly.get(), u"Value"), 5);
  }
  {
    OpenedKey writeOnly(p(), subkey_, win::KEY_SET_VALUE);
    ASSERT_EQ(writeOnly.status(), 0);
    DWORD size = 0;
    EXPECT_EQ(p().RegQueryValueExW(writeOnly.get(), u"Value", nullptr, nullptr, nullptr, &size),
              5);
    EXPECT_EQ(p().RegSetValueExW(writeOnly.get(), u"Value", 0, win::REG_DWORD, bytes.data(), 4),
              0);
  }
}

TEST_F(RegistryContract, ReadOnlyKeyOpensForReadingOnly) {
  machine_->MakeKey(keyPath_ + u"\\Locked");
  machine_->MakeKeyReadOnly(keyPath_ + u"\\Locked");
  const std::u16string locked = subkey_ + u"\\Locked";
  OpenedKey reading(p(), locked, win::KEY_READ);
  EXPECT_EQ(reading.status(), 0);
  OpenedKey full(p(), locked, win::KEY_ALL_ACCESS);
  EXPECT_EQ(full.status(), 5);
  OpenedKey writing(p(), locked, win::KEY_WRITE);
  EXPECT_EQ(writing.status(), 5);
}

TEST_F(RegistryContract, HandlesOfDeletedKeysAndBadHandles) {
  machine_->MakeValue(keyPath_ + u"\\Doomed", u"Value", win::REG_DWORD, LittleEndianBytes(1, 4));
  win::HKEY key{};
  ASSERT_EQ(p().RegOpenKeyExW(win::HKEY_CURRENT_USER, (subkey_ + u"\\Doomed").c_str(), 0,
                              win::KEY_READ, &key),
            0);
  EXPECT_EQ(p().RegDeleteKeyW(win::HKEY_CURRENT_USER, (subkey_ + u"\\Doomed").c_str()), 0);
  DWORD size = 0;
  EXPECT_EQ(p().RegQueryValueExW(key, u"Value", nullptr, nullptr, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_KEY_DELETED));
  EXPECT_EQ(p().RegCloseKey(key), 0);
  EXPECT_EQ(p().RegCloseKey(key), 6);
}

TEST_F(RegistryContract, SubkeyPathMayNotBeginWithABackslash) {
  win::HKEY key{};
  EXPECT_EQ(p().RegOpenKeyExW(win::HKEY_CURRENT_USER, (u"\\" + subkey_).c_str(), 0, win::KEY_READ,
                              &key),
            static_cast<win::LSTATUS>(win::ERROR_BAD_PATHNAME));
}

}  // namespace
}  // namespace quenwick::contract
