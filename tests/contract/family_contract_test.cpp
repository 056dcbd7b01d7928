// Platform facts the family-specific elements rely on: how RegEnumKeyExW
// treats a name buffer too small for a name, what MultiByteToWideChar gives
// for ASCII in the ANSI code page, and the system folder that a repaired
// "Userinit" value names.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "contract/contract_machine.h"

namespace quenwick {
namespace {

constexpr win::DWORD kSmallCapacity = 35;  // as the family key walk uses it

class FamilyContractTest : public ::testing::Test {
 protected:
  FamilyContractTest() : machine_(contract::MakeContractMachine()) {}
  Platform& sys() { return machine_->platform(); }
  std::unique_ptr<contract::ContractMachine> machine_;
};

// A name that does not fit the stated capacity (terminator included) fails
// that index with ERROR_MORE_DATA; the next index goes on with the next name,
// and the end is ERROR_NO_MORE_ITEMS.
TEST_F(FamilyContractTest, EnumKeyReportsMoreDataForNamesTooLongAndGoesOn) {
  const std::u16string fits32(32, u'a');
  const std::u16string fits34(34, u'b');
  const std::u16string long35(35, u'c');
  const std::u16string long255(255, u'd');  // the longest key name Windows allows
  for (const auto& name : {fits32, fits34, long35, long255}) {
    machine_->MakeKey(machine_->ScratchKeyPath() + u"\\" + name);
  }

  win::HKEY key{};
  ASSERT_EQ(sys().RegOpenKeyExW(win::HKEY_CURRENT_USER, machine_->ScratchSubkey().c_str(), 0,
                                win::KEY_READ, &key),
            0);
  std::vector<std::u16string> names;
  int moreData = 0;
  win::LSTATUS status = 0;
  win::DWORD index = 0;
  for (; index < 10; ++index) {
    char16_t name[kSmallCapacity] = {};
    win::DWORD length = kSmallCapacity;
    status = sys().RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS)) break;
    if (status == static_cast<win::LSTATUS>(win::ERROR_MORE_DATA)) {
      ++moreData;
      continue;
    }
    ASSERT_EQ(status, 0);
    ASSERT_LT(length, kSmallCapacity);
    names.emplace_back(name, length);
  }
  sys().RegCloseKey(key);

  EXPECT_EQ(status, static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(index, 4u);
  EXPECT_EQ(moreData, 2);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{fits32, fits34}));
}

// A key deleted while a handle to it is open fails every enumeration index
// the same way: a walk that skips failing indexes must bound itself.
TEST_F(FamilyContractTest, EnumeratingADeletedKeyFailsAtEveryIndex) {
  const std::u16string doomed = machine_->ScratchSubkey() + u"\\doomed";
  machine_->MakeKey(machine_->ScratchKeyPath() + u"\\doomed\\child");
  win::HKEY key{};
  ASSERT_EQ(sys().RegOpenKeyExW(win::HKEY_CURRENT_USER, doomed.c_str(), 0, win::KEY_READ, &key), 0);
  const std::u16string child = doomed + u"\\child";
  ASSERT_EQ(sys().RegDeleteKeyW(win::HKEY_CURRENT_USER, child.c_str()), 0);
  ASSERT_EQ(sys().RegDeleteKeyW(win::HKEY_CURRENT_USER, doomed.c_str()), 0);
  for (win::DWORD index : {0u, 1u, 7u}) {
    char16_t name[kSmallCapacity] = {};
    win::DWORD length = kSmallCapacity;
    EXPECT_EQ(sys().RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr),
              static_cast<win::LSTATUS>(win::ERROR_KEY_DELETED))
        << "index " << index;
  }
  sys().RegCloseKey(key);
}

TEST_F(FamilyContractTest, OpeningAMissingKeyForReadingFailsWithFileNotFound) {
  win::HKEY key{};
  const std::u16string missing = machine_->ScratchSubkey() + u"\\missing";
  EXPECT_EQ(sys().RegOpenKeyExW(win::HKEY_CURRENT_USER, missing.c_str(), 0, win::KEY_READ, &key),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
}

// ASCII comes through the ANSI code page unchanged, one character per byte,
// into a buffer of exactly that many characters.
TEST_F(FamilyContractTest, AnsiConversionOfAsciiIsOneCharacterPerByte) {
  const std::string path = "C:\\Program Files\\av2009\\av.exe";
  std::u16string wide(path.size(), u'\0');
  const int written =
      sys().MultiByteToWideChar(win::CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                wide.data(), static_cast<int>(wide.size()));
  EXPECT_EQ(written, static_cast<int>(path.size()));
  EXPECT_EQ(wide, u"C:\\Program Files\\av2009\\av.exe");
}

TEST_F(FamilyContractTest, SystemFolderIsAFullPathEndingInSystem32) {
  char16_t folder[win::MAX_PATH + 1] = {};
  ASSERT_NE(sys().SHGetSpecialFolderPathW(win::HWND{}, folder, win::CSIDL_SYSTEM, 0), 0);
  const std::u16string path(folder);
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), u":\\");
  EXPECT_EQ(ToLowerAscii(path.substr(path.size() - 9)), u"\\system32");
}

}  // namespace
}  // namespace quenwick
