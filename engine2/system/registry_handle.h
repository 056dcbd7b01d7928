// An open registry key that closes itself.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quenwick {

// The value that holds a registry link's target (REG_LINK, a native path).
inline constexpr std::u16string_view kLinkValueName = u"SymbolicLinkValue";

class ScopedRegistryKey {
 public:
  ScopedRegistryKey() = default;
  ~ScopedRegistryKey() { Close(); }
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

  // RegOpenKeyExW (options 0 unless given). The handle is taken only when the call
  // succeeds: what a failed call leaves in its result is not a handle.
  win::LSTATUS Open(win::HKEY root, const std::u16string& subkey, win::REGSAM access,
                    win::DWORD options = 0) {
    Close();
    win::HKEY opened{};
    const win::LSTATUS status = Sys().RegOpenKeyExW(root, subkey.c_str(), options, access, &opened);
    if (status == win::ERROR_SUCCESS) key_ = opened;
    return status;
  }

  // RegCreateKeyExW, non-volatile, without class or security attributes;
  // whether the key was new is not asked.
  win::LSTATUS Create(win::HKEY root, const std::u16string& subkey, win::REGSAM access) {
    Close();
    win::HKEY created{};
    const win::LSTATUS status =
        Sys().RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                              access, nullptr, &created, nullptr);
    if (status == win::ERROR_SUCCESS) key_ = created;
    return status;
  }

  win::HKEY get() const { return key_; }

  void Close() {
    if (key_) Sys().RegCloseKey(key_);
    key_ = win::HKEY{};
  }

 private:
  win::HKEY key_{};
};

}  // namespace quenwick
