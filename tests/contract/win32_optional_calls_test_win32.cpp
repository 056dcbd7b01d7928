// The calls Win32Platform looks up at run time: NtDeleteKey behind
// DeleteKeyByHandle (its NTSTATUS mapped to Win32 errors) and
// IsProcessCritical. Also the predefined root keys, whose values are pointer
// casts in <windows.h> and so cannot be checked at compile time.
#include <gtest/gtest.h>

#include "contract/contract_machine.h"
#include "platform/win32/win32_platform.h"

namespace quenwick {
namespace {

// Captured before <windows.h> turns these names into macros.
constexpr win::HKEY kOurCurrentUser = win::HKEY_CURRENT_USER;
constexpr win::HKEY kOurLocalMachine = win::HKEY_LOCAL_MACHINE;
constexpr win::HKEY kOurClassesRoot = win::HKEY_CLASSES_ROOT;
constexpr win::HKEY kOurUsers = win::HKEY_USERS;
constexpr win::HANDLE kOurInvalidHandle = win::INVALID_HANDLE_VALUE;
constexpr win::REGSAM kDelete = win::DELETE;
constexpr win::REGSAM kKeyRead = win::KEY_READ;
constexpr win::REGSAM kSetValue = win::KEY_SET_VALUE;
constexpr win::DWORD kRegDword = win::REG_DWORD;
constexpr win::DWORD kFileNotFound = win::ERROR_FILE_NOT_FOUND;
constexpr win::DWORD kAccessDenied = win::ERROR_ACCESS_DENIED;
constexpr win::DWORD kKeyDeleted = win::ERROR_KEY_DELETED;

}  // namespace
}  // namespace quenwick

#include "platform/win32/native.h"

namespace quenwick {
namespace {

std::uintptr_t Value(::HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }
std::uintptr_t Value(::HKEY key) { return reinterpret_cast<std::uintptr_t>(key); }

TEST(Win32PlatformContract, RootKeysAndInvalidHandleHaveTheWindowsValues) {
  EXPECT_EQ(kOurCurrentUser.value, Value(HKEY_CURRENT_USER));
  EXPECT_EQ(kOurLocalMachine.value, Value(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(kOurClassesRoot.value, Value(HKEY_CLASSES_ROOT));
  EXPECT_EQ(kOurUsers.value, Value(HKEY_USERS));
  EXPECT_EQ(kOurInvalidHandle.value, Value(INVALID_HANDLE_VALUE));
}

class DeleteKeyByHandleContract : public testing::Test {
 protected:
  // Opens the scratch key's subkey `name` with `access`.
  win::HKEY Open(const std::u16string& name, win::REGSAM access) {
    win::HKEY key{};
    const std::u16string path = machine_->ScratchSubkey() + u"\\" + name;
    EXPECT_EQ(p().RegOpenKeyExW(kOurCurrentUser, path.c_str(), 0, access, &key), 0);
    return key;
  }
  win::LSTATUS OpenStatus(const std::u16string& name) {
    win::HKEY key{};
    const std::u16string path = machine_->ScratchSubkey() + u"\\" + name;
    const win::LSTATUS status = p().RegOpenKeyExW(kOurCurrentUser, path.c_str(), 0, kKeyRead, &key);
    if (status == 0) p().RegCloseKey(key);
    return status;
  }
  Platform& p() { return machine_->platform(); }

  std::unique_ptr<contract::ContractMachine> machine_ = contract::MakeContractMachine();
};

TEST_F(DeleteKeyByHandleContract, DeletesTheKeyTheHandleRefersTo) {
  machine_->MakeKey(machine_->ScratchKeyPath() + u"\\Leaf");
  const win::HKEY key = Open(u"Leaf", kDelete | kKeyRead | kSetValue);
  EXPECT_EQ(p().DeleteKeyByHandle(key), 0);
  EXPECT_EQ(OpenStatus(u"Leaf"), static_cast<win::LSTATUS>(kFileNotFound));
  // Writing through the handle of a deleted key is refused.
  const win::DWORD one = 1;
  EXPECT_EQ(p().RegSetValueExW(key, u"x", 0, kRegDword,
                               reinterpret_cast<const win::BYTE*>(&one), sizeof one),
            static_cast<win::LSTATUS>(kKeyDeleted));
  p().RegCloseKey(key);
}

TEST_F(DeleteKeyByHandleContract, RefusesAKeyWithSubkeysOrAHandleWithoutDeleteAccess) {
  //   Scratch
  //   ├── Parent
  //   │   └── Child
  //   └── Leaf
  machine_->MakeKey(machine_->ScratchKeyPath() + u"\\Parent\\Child");
  machine_->MakeKey(machine_->ScratchKeyPath() + u"\\Leaf");

  const win::HKEY parent = Open(u"Parent", kDelete);
  EXPECT_EQ(p().DeleteKeyByHandle(parent), static_cast<win::LSTATUS>(kAccessDenied));
  p().RegCloseKey(parent);
  EXPECT_EQ(OpenStatus(u"Parent\\Child"), 0);

  const win::HKEY readOnly = Open(u"Leaf", kKeyRead);
  EXPECT_EQ(p().DeleteKeyByHandle(readOnly), static_cast<win::LSTATUS>(kAccessDenied));
  p().RegCloseKey(readOnly);
  EXPECT_EQ(OpenStatus(u"Leaf"), 0);
}

TEST(Win32PlatformContract, OurOwnProcessIsNotCritical) {
  Win32Platform p;
  win::BOOL critical = 7;  // sentinel: must be overwritten
  EXPECT_NE(p.IsProcessCritical(p.GetCurrentProcess(), &critical), 0);
  EXPECT_EQ(critical, 0);
}

}  // namespace
}  // namespace quenwick
