// Small helpers for the contract tests: they use Platform calls only, so
// they work on both machines.
#pragma once

#include <string>
#include <vector>

#include "base/little_endian.h"
#include "contract/contract_machine.h"

namespace quenwick::contract {

// Opens `subKey` under HKEY_CURRENT_USER; the key (or a null one) closes itself.
class OpenedKey {
 public:
  OpenedKey(Platform& p, const std::u16string& subKey, win::REGSAM access,
            win::DWORD options = 0)
      : platform_(p), status_(p.RegOpenKeyExW(win::HKEY_CURRENT_USER, subKey.c_str(), options,
                                              access, &key_)) {}
  ~OpenedKey() {
    if (status_ == 0) platform_.RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  win::LSTATUS status() const { return status_; }
  win::HKEY get() const { return key_; }

 private:
  Platform& platform_;
  win::HKEY key_{};
  win::LSTATUS status_;
};

// Every name a FindFirstFileW search returns, in the order returned.
inline std::vector<std::u16string> FindAll(Platform& p, const std::u16string& pattern) {
  std::vector<std::u16string> names;
  win::WIN32_FIND_DATAW data{};
  win::HFIND find = p.FindFirstFileW(pattern.c_str(), &data);
  if (find == win::INVALID_FIND_HANDLE) return names;
  do {
    names.emplace_back(data.cFileName);
  } while (p.FindNextFileW(find, &data));
  p.FindClose(find);
  return names;
}

}  // namespace quenwick::contract
