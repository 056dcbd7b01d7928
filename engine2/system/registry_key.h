// Registry keys named by path texts ("HKEY_LOCAL_MACHINE\SOFTWARE\X"), as
// trees that can be tested, read, loaded, searched, written back and deleted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace quenwick {

// One value: name, type and raw bytes. Valid exactly when it holds its name.
struct RegistryValue {
  std::optional<std::u16string> name;
  win::DWORD type = win::REG_NONE;
  std::vector<std::uint8_t> data;  // empty when size is 0
  win::DWORD size = 0;

  RegistryValue() = default;
  RegistryValue(std::u16string_view valueName, win::DWORD valueType, const std::uint8_t* bytes,
                win::DWORD byteCount);
  bool IsValid() const { return name.has_value(); }
  // The data read as a wide string that ends at its first zero character or
  // after `size` bytes, whichever comes first (an odd last byte is dropped).
  std::u16string Text() const;
  void Release();
};

// Reads one value whole, opening its key with KEY_ALL_ACCESS. Invalid when the
// key does not open with full access or the value cannot be read.
RegistryValue ReadValue(win::HKEY root, std::u16string_view subkeyPath, std::u16string_view name);

class RegistryKey {
 public:
  // Parses "ROOT\subkey\path"; the root name is one of HKEY_CURRENT_USER,
  // HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT in any letter case. Never touches
  // the registry. An unparsable text gives an invalid key.
  explicit RegistryKey(std::u16string_view path);

  bool IsValid() const { return valid_; }
  // True when the key opens with KEY_READ.
  bool KeyExists() const;
  // Loads every value and, depth first, every subkey. On failure the key is
  // invalid with both lists empty (it keeps its text, root and subkeyPath).
  bool LoadTree();
  // The first direct subkey whose last path component equals `name`, or null.
  const RegistryKey* FindSubkey(std::u16string_view name) const;
  // The first value named `name`, or null.
  const RegistryValue* FindValue(std::u16string_view name) const;
  // Creates the key (and its loaded subkeys) and sets every value in `values`.
  // The first error, or 0.
  win::LSTATUS WriteBack() const;
  // Deletes one value of the key; reports nothing.
  void DeleteValue(std::u16string_view name) const;
  // Deletes the key with all its subkeys, children first. The first error, or
  // the result of deleting the key itself.
  win::LSTATUS DeleteTree() const;
  // Frees the loaded values and subkeys.
  void Release();

  win::HKEY root{};
  std::u16string text;         // the whole path text
  std::u16string subkeyPath;   // everything after the first backslash
  std::vector<RegistryKey> subkeys;
  std::vector<RegistryValue> values;

 private:
  bool valid_ = false;
};

}  // namespace quenwick
