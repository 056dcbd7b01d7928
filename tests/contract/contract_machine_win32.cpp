// The real machine for the contract suite: a Wine prefix (or a Windows test
// machine) reached through Win32Platform.
//
// Each machine gets a fresh scratch folder under the temp folder
// ("%TEMP%\QuenwickContract-<pid>\case-N") and a fresh scratch key
// ("HKEY_CURRENT_USER\Software\QuenwickContract\case-N"); both are removed
// when the machine is destroyed, together with anything the test left in
// them. Setup failures are reported as test failures at the caller.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "contract/contract_machine.h"
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

#include <aclapi.h>

namespace quenwick::contract {

namespace {

using win32::Wide;

constexpr wchar_t kScratchKeyParent[] = L"Software\\QuenwickContract";

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring ToWide(const std::u16string& text) { return std::wstring(Wide(text.c_str())); }

std::u16string FromWide(const std::wstring& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.c_str()), text.size());
}

struct HandleCloser {
  void operator()(::HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct KeyCloser {
  void operator()(::HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<::HKEY>, KeyCloser>;

// "HKEY_CURRENT_USER\Software\X" → the root and "Software\X".
std::optional<std::pair<::HKEY, std::wstring>> SplitKeyPath(const std::u16string& path) {
  static const std::pair<const wchar_t*, ::HKEY> kRoots[] = {
      {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {L"HKEY_USERS", HKEY_USERS},
      {L"HKCU", HKEY_CURRENT_USER},              {L"HKLM", HKEY_LOCAL_MACHINE}};
  const std::wstring wide = ToWide(path);
  const std::size_t slash = wide.find(L'\\');
  const std::wstring rootName = wide.substr(0, slash);
  for (const auto& [name, root] : kRoots) {
    if (::lstrcmpiW(rootName.c_str(), name) == 0) {
      return std::make_pair(root, slash == std::wstring::npos ? std::wstring()
                                                              : wide.substr(slash + 1));
    }
  }
  return std::nullopt;
}

// Creates every missing folder of `path` ("C:\a\b" creates C:\a and C:\a\b).
bool CreateFolders(const std::wstring& path) {
  for (std::size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1)) {
    ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
  return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// Removes a tree that the test may have made read-only. Links are removed as
// themselves, never entered.
void RemoveTree(const std::wstring& path) {
  const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileW(path.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    ::WIN32_FIND_DATAW entry;
    const ::HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
      } while (::FindNextFileW(find, &entry));
      ::FindClose(find);
    }
  }
  if (!::RemoveDirectoryW(path.c_str())) ::DeleteFileW(path.c_str());
}

// Gives Everyone the access mask on the key, and nothing else.
bool SetKeyAccess(const std::u16string& path, ::REGSAM everyoneAccess) {
  const auto split = SplitKeyPath(path);
  if (!split) return false;
  ::HKEY raw = nullptr;
  if (::RegOpenKeyExW(split->first, split->second.c_str(), 0, WRITE_DAC | READ_CONTROL, &raw) !=
      ERROR_SUCCESS) {
    return false;
  }
  UniqueKey key(raw);
  ::SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  ::PSID everyone = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &everyone)) {
    return false;
  }
  ::EXPLICIT_ACCESSW grant{};
  grant.grfAccessPermissions = everyoneAccess;
  grant.grfAccessMode = SET_ACCESS;
  grant.grfInheritance = NO_INHERITANCE;
  grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  grant.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  grant.Trustee.ptstrName = static_cast<wchar_t*>(everyone);
  ::PACL acl = nullptr;
  const ::DWORD made = ::SetEntriesInAclW(1, &grant, nullptr, &acl);
  bool done = false;
  if (made == ERROR_SUCCESS) {
    done = ::SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
    ::LocalFree(acl);
  }
  ::FreeSid(everyone);
  return done;
}

// The per-run folder, created on first use and removed when the suite ends.
class RunFolder {
 public:
  ~RunFolder() {
    if (!path_.empty()) RemoveTree(path_);
  }
  const std::wstring& path() {
    if (path_.empty()) {
      wchar_t temp[MAX_PATH + 1];
      const ::DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
      std::wstring base(temp, length);
      if (!base.empty() && base.back() == L'\\') base.pop_back();
      path_ = base + L"\\QuenwickContract-" + std::to_wstring(::GetCurrentProcessId());
      RemoveTree(path_);
      CreateFolders(path_);
    }
    return path_;
  }

 private:
  std::wstring path_;
};

RunFolder& TheRunFolder() {
  static RunFolder folder;
  return folder;
}

class Win32ContractMachine final : public ContractMachine {
 public:
  Win32ContractMachine() : caseNumber_(++caseCount_) {
    const std::wstring name = L"case-" + std::to_wstring(caseNumber_);
    folder_ = TheRunFolder().path() + L"\\" + name;
    RemoveTree(folder_);
    if (!CreateFolders(folder_)) ADD_FAILURE() << "cannot create the scratch folder";
    subkey_ = std::wstring(kScratchKeyParent) + L"\\" + name;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str());
    ::HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot create the scratch key";
    } else {
      ::RegCloseKey(key);
    }
  }

  ~Win32ContractMachine() override {
    ReleaseFiles();
    for (auto it = savedVariables_.rbegin(); it != savedVariables_.rend(); ++it) {
      ::SetEnvironmentVariableW(it->first.c_str(),
                                it->second ? it->second->c_str() : nullptr);
    }
    for (const std::u16string& path : readOnlyKeys_) SetKeyAccess(path, KEY_ALL_ACCESS);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchKeyParent);  // only once it is empty
    RemoveTree(folder_);
  }

  Platform& platform() override { return platform_; }
  bool simulated() const override { return false; }

  std::u16string ScratchFolder() override { return FromWide(folder_); }
  std::u16string ScratchKeyPath() override { return u"HKEY_CURRENT_USER\\" + ScratchSubkey(); }
  std::u16string ScratchSubkey() override { return FromWide(subkey_); }

  void MakeFile(const std::u16string& path, win::DWORD attributes) override {
    const std::wstring wide = ToWide(path);
    const std::size_t slash = wide.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 2) CreateFolders(wide.substr(0, slash));
    const ::HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "MakeFile(" << Narrow(path) << "): error " << ::GetLastError();
      return;
    }
    ::CloseHandle(file);
    if (attributes != 0 && !::SetFileAttributesW(wide.c_str(), attributes)) {
      ADD_FAILURE() << "MakeFile(" << Narrow(path) << "): attributes, error "
                    << ::GetLastError();
    }
  }

  void MakeFolder(const std::u16string& path) override {
    if (!CreateFolders(ToWide(path))) {
      ADD_FAILURE() << "MakeFolder(" << Narrow(path) << "): error " << ::GetLastError();
    }
  }

  void HoldOpen(const std::u16string& path) override {
    // Backup semantics let the same call hold a folder.
    const ::HANDLE file = ::CreateFileW(ToWide(path).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "HoldOpen(" << Narrow(path) << "): error " << ::GetLastError();
      return;
    }
    heldFiles_.emplace_back(file);
  }

  void ReleaseFiles() override { heldFiles_.clear(); }

  void MakeKey(const std::u16string& path) override {
    const auto split = SplitKeyPath(path);
    ::HKEY key = nullptr;
    const ::LONG status =
        split ? ::RegCreateKeyExW(split->first, split->second.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr)
              : ERROR_INVALID_PARAMETER;
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << "MakeKey(" << Narrow(path) << "): error " << status;
      return;
    }
    ::RegCloseKey(key);
  }

  void MakeValue(const std::u16string& keyPath, const std::u16string& name, win::DWORD type,
                 const std::vector<std::uint8_t>& bytes) override {
    const auto split = SplitKeyPath(keyPath);
    ::HKEY raw = nullptr;
    ::LONG status = split ? ::RegCreateKeyExW(split->first, split->second.c_str(), 0, nullptr,
                                              0, KEY_SET_VALUE, nullptr, &raw, nullptr)
                          : ERROR_INVALID_PARAMETER;
    if (status == ERROR_SUCCESS) {
      UniqueKey key(raw);
      status = ::RegSetValueExW(key.get(), ToWide(name).c_str(), 0, type, bytes.data(),
                                static_cast<::DWORD>(bytes.size()));
    }
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << "MakeValue(" << Narrow(keyPath) << ", " << Narrow(name) << "): error "
                    << status;
    }
  }

  void MakeKeyReadOnly(const std::u16string& path) override {
    if (!SetKeyAccess(path, KEY_READ)) {
      ADD_FAILURE() << "MakeKeyReadOnly(" << Narrow(path) << "): cannot set the key's DACL";
      return;
    }
    readOnlyKeys_.push_back(path);
  }

  void SetVariable(const std::u16string& name, const std::u16string& value) override {
    const std::wstring wideName = ToWide(name);
    std::optional<std::wstring> previous;
    const ::DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed > 0) {
      std::wstring old(needed, L'\0');
      const ::DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), old.data(), needed);
      old.resize(length);
      previous = std::move(old);
    }
    savedVariables_.emplace_back(wideName, std::move(previous));
    if (!::SetEnvironmentVariableW(wideName.c_str(), ToWide(value).c_str())) {
      ADD_FAILURE() << "SetVariable(" << Narrow(name) << "): error " << ::GetLastError();
    }
  }

 private:
  static inline int caseCount_ = 0;

  int caseNumber_;
  Win32Platform platform_;
  std::wstring folder_;
  std::wstring subkey_;
  std::vector<UniqueHandle> heldFiles_;
  std::vector<std::u16string> readOnlyKeys_;
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> savedVariables_;
};

}  // namespace

std::unique_ptr<ContractMachine> MakeContractMachine() {
  return std::make_unique<Win32ContractMachine>();
}

}  // namespace quenwick::contract
