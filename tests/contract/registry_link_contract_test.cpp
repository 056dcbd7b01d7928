// Registry links as the deletion of a key tree relies on them: a link key is
// made with REG_OPTION_CREATE_LINK and a REG_LINK "SymbolicLinkValue" holding
// the target's native path; opened normally it is the target, opened with
// REG_OPTION_OPEN_LINK it is itself, showing that value only (to a query as
// well), and deleted through such a handle it goes alone. Checked through Platform only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"
#include "contract/contract_helpers.h"

namespace quenwick::contract {
namespace {

constexpr char16_t kLinkValueName[] = u"SymbolicLinkValue";
constexpr char16_t kNativeMachine[] = u"\\Registry\\Machine\\";

struct Value {
  std::u16string name;
  win::DWORD type = 0;
  std::vector<win::BYTE> data;
};

class RegistryLinkContract : public ::testing::Test {
 protected:
  void SetUp() override {
    // The target is another program's key: under HKEY_LOCAL_MACHINE, whose
    // native path is the same on every machine.
    CreateKey(win::HKEY_LOCAL_MACHINE, target_ + u"\\Config");
    SetString(win::HKEY_LOCAL_MACHINE, target_, u"Version", u"2.0");
    SetString(win::HKEY_LOCAL_MACHINE, target_ + u"\\Config", u"Licence", u"ABCD");
  }
  void TearDown() override {
    // The link first, as itself: deleting the scratch tree by path would
    // follow it.
    win::HKEY link{};
    if (os().RegOpenKeyExW(win::HKEY_CURRENT_USER, link_.c_str(), win::REG_OPTION_OPEN_LINK,
                           win::DELETE, &link) == 0) {
      os().DeleteKeyByHandle(link);
      os().RegCloseKey(link);
    }
    os().RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, (target_ + u"\\Config").c_str());
    os().RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, target_.c_str());
    os().RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, u"Software\\QuenwickContract");  // once empty
  }

  Platform& os() { return machine_->platform(); }

  void CreateKey(win::HKEY root, const std::u16string& path) {
    win::HKEY key{};
    ASSERT_EQ(os().RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr),
              0);
    os().RegCloseKey(key);
  }
  void SetString(win::HKEY root, const std::u16string& path, const char16_t* name,
                 const std::u16string& text) {
    win::HKEY key{};
    ASSERT_EQ(os().RegOpenKeyExW(root, path.c_str(), 0, win::KEY_SET_VALUE, &key), 0);
    const std::vector<std::uint8_t> bytes = TerminatedUtf16LeBytes(text);
    EXPECT_EQ(os().RegSetValueExW(key, name, 0, win::REG_SZ, bytes.data(),
                                  static_cast<win::DWORD>(bytes.size())),
              0);
    os().RegCloseKey(key);
  }

  // Makes the link under the scratch key, pointing at the target.
  void MakeLink() {
    win::HKEY key{};
    win::DWORD disposition = 0;
    ASSERT_EQ(os().RegCreateKeyExW(win::HKEY_CURRENT_USER, link_.c_str(), 0, nullptr,
                                   win::REG_OPTION_CREATE_LINK,
                                   win::KEY_ALL_ACCESS | win::KEY_CREATE_LINK, nullptr, &key,
                                   &disposition),
              0);
    EXPECT_EQ(disposition, win::REG_CREATED_NEW_KEY);
    // The target without a terminating zero, as Windows wants it.
    const std::vector<win::BYTE> bytes = LinkBytes();
    EXPECT_EQ(os().RegSetValueExW(key, kLinkValueName, 0, win::REG_LINK, bytes.data(),
                                  static_cast<win::DWORD>(bytes.size())),
              0);
    os().RegCloseKey(key);
  }
  std::vector<win::BYTE> LinkBytes() const {
    std::vector<win::BYTE> bytes = TerminatedUtf16LeBytes(std::u16string(kNativeMachine) + target_);
    bytes.resize(bytes.size() - 2);
    return bytes;
  }

  // The values and subkey names of a key under HKEY_CURRENT_USER.
  struct Content {
    std::vector<Value> values;
    std::vector<std::u16string> subkeys;
  };
  Content Read(const std::u16string& path, win::DWORD options) {
    Content content;
    OpenedKey key(os(), path, win::KEY_READ, options);
    EXPECT_EQ(key.status(), 0) << ToUtf8(path);
    if (key.status() != 0) return content;
    for (win::DWORD index = 0;; ++index) {
      char16_t name[256];
      win::DWORD nameLength = 256, type = 0, size = 512;
      std::vector<win::BYTE> data(size);
      const win::LSTATUS status =
          os().RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data.data(), &size);
      if (status != 0) {
        EXPECT_EQ(status, static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS));
        break;
      }
      data.resize(size);
      content.values.push_back({std::u16string(name, nameLength), type, data});
    }
    for (win::DWORD index = 0;; ++index) {
      char16_t name[256];
      win::DWORD nameLength = 256;
      const win::LSTATUS status = os().RegEnumKeyExW(key.get(), index, name, &nameLength, nullptr,
                                                     nullptr, nullptr, nullptr);
      if (status != 0) {
        EXPECT_EQ(status, static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS));
        break;
      }
      content.subkeys.emplace_back(name, nameLength);
    }
    return content;
  }

  std::unique_ptr<ContractMachine> machine_ = MakeContractMachine();
  std::u16string scratch_ = machine_->ScratchSubkey();
  std::u16string link_ = scratch_ + u"\\Settings";
  std::u16string target_ = scratch_ + u"-target";
};

TEST_F(RegistryLinkContract, OpenedNormallyALinkIsItsTarget) {
  MakeLink();
  const Content followed = Read(link_, 0);
  ASSERT_EQ(followed.values.size(), 1u);
  EXPECT_EQ(ToUtf8(followed.values[0].name), "Version");
  ASSERT_EQ(followed.subkeys.size(), 1u);
  EXPECT_EQ(ToUtf8(followed.subkeys[0]), "Config");
  EXPECT_EQ(Read(link_ + u"\\Config", 0).values.size(), 1u);
}

TEST_F(RegistryLinkContract, OpenedAsItselfALinkShowsOnlyItsTarget) {
  MakeLink();
  const Content itself = Read(link_, win::REG_OPTION_OPEN_LINK);
  ASSERT_EQ(itself.values.size(), 1u);
  EXPECT_EQ(ToUtf8(itself.values[0].name), "SymbolicLinkValue");
  EXPECT_EQ(itself.values[0].type, win::REG_LINK);
  EXPECT_EQ(itself.values[0].data, LinkBytes());
  EXPECT_EQ(itself.subkeys.size(), 0u);
  // The key that holds it lists it as an ordinary subkey.
  EXPECT_EQ(Read(scratch_, win::REG_OPTION_OPEN_LINK).subkeys, std::vector<std::u16string>{u"Settings"});
}

TEST_F(RegistryLinkContract, DeletedThroughAHandleOpenedAsItselfOnlyTheLinkGoes) {
  MakeLink();
  {
    win::HKEY link{};
    ASSERT_EQ(os().RegOpenKeyExW(win::HKEY_CURRENT_USER, link_.c_str(), win::REG_OPTION_OPEN_LINK,
                                 win::DELETE, &link),
              0);
    EXPECT_EQ(os().DeleteKeyByHandle(link), 0);
    os().RegCloseKey(link);
  }
  win::HKEY gone{};
  EXPECT_EQ(os().RegOpenKeyExW(win::HKEY_CURRENT_USER, link_.c_str(), win::REG_OPTION_OPEN_LINK,
                               win::KEY_READ, &gone),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read(scratch_, 0).subkeys.size(), 0u);

  win::HKEY config{};
  ASSERT_EQ(os().RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, (target_ + u"\\Config").c_str(), 0,
                               win::KEY_READ, &config),
            0);
  win::DWORD type = 0, size = 0;
  EXPECT_EQ(os().RegQueryValueExW(config, u"Licence", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 10u);
  os().RegCloseKey(config);
}

// What a value repair relies on: a link opened as itself for reading and
// setting values answers a query of the value that names its target, and the
// values of the key it points to are not there through it.
TEST_F(RegistryLinkContract, OpenedAsItselfForValuesALinkShowsOnlyItsTarget) {
  MakeLink();
  OpenedKey link(os(), link_, win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, win::REG_OPTION_OPEN_LINK);
  ASSERT_EQ(link.status(), 0);
  win::DWORD type = 0, size = 0;
  EXPECT_EQ(os().RegQueryValueExW(link.get(), kLinkValueName, nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, win::REG_LINK);
  EXPECT_EQ(os().RegQueryValueExW(link.get(), u"Version", nullptr, &type, nullptr, &size),
            static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND));
}

// Deleting by path follows a link at the path's end: with a target that has
// a subkey the call fails, and the link stays.
TEST_F(RegistryLinkContract, DeletedByPathALinkIsFollowed) {
  MakeLink();
  EXPECT_EQ(os().RegDeleteKeyW(win::HKEY_CURRENT_USER, link_.c_str()),
            static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED));
  EXPECT_EQ(Read(link_, win::REG_OPTION_OPEN_LINK).values.size(), 1u);
  EXPECT_EQ(Read(link_ + u"\\Config", 0).values.size(), 1u);
}

}  // namespace
}  // namespace quenwick::contract
