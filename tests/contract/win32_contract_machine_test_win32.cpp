// The Windows contract machine itself: the situations it prepares are the
// ones the suite's tests expect (a file held without sharing, a key that can
// be read but not written), and it leaves nothing behind.
#include <gtest/gtest.h>

#include "contract/contract_machine.h"

namespace quenwick {
namespace {

constexpr win::HKEY kCurrentUser = win::HKEY_CURRENT_USER;

TEST(Win32ContractMachine, AHeldFileCannotBeDeletedUntilReleased) {
  auto machine = contract::MakeContractMachine();
  const std::u16string file = machine->ScratchFolder() + u"\\sub\\locked.txt";
  machine->MakeFile(file);
  machine->HoldOpen(file);
  Platform& p = machine->platform();
  EXPECT_EQ(p.DeleteFileW(file.c_str()), 0);
  EXPECT_EQ(p.GetLastError(), win::ERROR_SHARING_VIOLATION);
  machine->ReleaseFiles();
  EXPECT_NE(p.DeleteFileW(file.c_str()), 0);
}

TEST(Win32ContractMachine, AReadOnlyKeyOpensForReadingOnly) {
  auto machine = contract::MakeContractMachine();
  const std::u16string subkey = machine->ScratchSubkey() + u"\\Guarded";
  machine->MakeKey(machine->ScratchKeyPath() + u"\\Guarded");
  machine->MakeKeyReadOnly(machine->ScratchKeyPath() + u"\\Guarded");
  Platform& p = machine->platform();
  win::HKEY key{};
  ASSERT_EQ(p.RegOpenKeyExW(kCurrentUser, subkey.c_str(), 0, win::KEY_READ, &key), 0);
  p.RegCloseKey(key);
  EXPECT_EQ(p.RegOpenKeyExW(kCurrentUser, subkey.c_str(), 0, win::KEY_ALL_ACCESS, &key),
            static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(p.RegOpenKeyExW(kCurrentUser, subkey.c_str(), 0, win::KEY_SET_VALUE, &key),
            static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
}

TEST(Win32ContractMachine, RemovesItsScratchFolderAndKey) {
  std::u16string folder;
  std::u16string subkey;
  {
    auto machine = contract::MakeContractMachine();
    folder = machine->ScratchFolder();
    subkey = machine->ScratchSubkey();
    machine->MakeFile(folder + u"\\a\\b.txt", win::FILE_ATTRIBUTE_READONLY);
    machine->MakeValue(machine->ScratchKeyPath() + u"\\Deep\\Er", u"v", win::REG_SZ,
                       TerminatedUtf16LeBytes(u"text"));
    machine->MakeKeyReadOnly(machine->ScratchKeyPath() + u"\\Deep");
  }
  auto other = contract::MakeContractMachine();
  Platform& p = other->platform();
  EXPECT_EQ(p.GetFileAttributesW(folder.c_str()), win::INVALID_FILE_ATTRIBUTES);
  win::HKEY key{};
  EXPECT_EQ(p.RegOpenKeyExW(kCurrentUser, subkey.c_str(), 0, win::KEY_READ, &key),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace quenwick
