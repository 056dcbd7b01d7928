// Registry keys named by path texts ("HKEY_LOCAL_MACHINE\SOFTWARE\X"), as
// trees that can be tested, read, loaded, searched, written back and deleted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf16le.h"
#include "platform/win_types.h"

namespace quenwick {

// How many levels of subkeys LoadTree descends below the key it loads.
inline constexpr unsigned kMaxKeyDepth = 512;

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

// The text's UTF-16 units as little-endian bytes with a terminating zero: the
// data of a REG_SZ or REG_EXPAND_SZ value that holds it.
inline std::vector<std::uint8_t> StringValueBytes(std::u16string_view text) {
  return TerminatedUtf16LeBytes(text);
}

// Calls `visit` with the name of each direct subkey of `subkeyPath` under
// `root` (opened for reading), in the registry's order, until it returns
// false. Names longer than `maxNameLength` are passed over. A run of
// failures with no success in between ends the walk: a key deleted while it
// is enumerated fails every index the same way, and without a bound the walk
// would go through all four billion of them. False when the key does not
// open.
bool ForEachSubkeyName(win::HKEY root, std::u16string_view subkeyPath, std::size_t maxNameLength,
                       const std::function<bool(std::u16string_view name)>& visit);

// The text of a REG_SZ or REG_EXPAND_SZ value (the latter expanded), read
// with read access only; nothing when the key, the value or its text is not
// there.
std::optional<std::u16string> ReadStringValue(win::HKEY root, std::u16string_view subkeyPath,
                                              std::u16string_view name);

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
  // True when the text named a root and a subkey path, whether or not a load
  // has failed since. No registry call is made for a key without one.
  bool HasRegistryPath() const { return parsed_; }
  // True when the key opens with KEY_READ.
  bool KeyExists() const;
  // Loads every value and, depth first, every subkey. On failure the key is
  // invalid with both lists empty (it keeps its text, root and subkeyPath).
  // A subkey that cannot be loaded stays in `subkeys`, invalid and empty; so
  // does every key more than kMaxKeyDepth levels below this one, which is
  // never opened: Windows nests keys no deeper than that. A registry link is
  // a leaf: opened as itself, it is marked IsLink() with no values or
  // subkeys, and what it points to is never loaded.
  [[nodiscard]] bool LoadTree();
  // The first direct subkey whose last path component equals `name`, or null.
  const RegistryKey* FindSubkey(std::u16string_view name) const;
  // The first value named `name`, or null.
  const RegistryValue* FindValue(std::u16string_view name) const;
  // Creates the key (and its subkeys, parents first) and sets every value in
  // `values`; existing values and subkeys the tree does not hold stay. One
  // failed write does not stop the others. The first error, or 0; when the
  // key itself cannot be created, nothing else is written.
  [[nodiscard]] win::LSTATUS WriteBack() const;
  // Deletes one value of the key; reports nothing.
  void DeleteValue(std::u16string_view name) const;
  // The data to write in place of a value, or nothing to leave it as it is.
  using ValueRewrite =
      std::function<std::optional<std::vector<std::uint8_t>>(const RegistryValue&)>;
  // Rewrites one existing value in place, through one handle to the key
  // itself: a registry link named last is opened as the link and left alone,
  // never followed, and nothing is ever created. The value is read whole and
  // shown to `rewrite`; the data it returns is set under the value's own name
  // and type, and no other value of the key changes. True when it was written.
  [[nodiscard]] bool RewriteValue(std::u16string_view name, const ValueRewrite& rewrite) const;
  // Deletes the key with all its subkeys, children first, as the registry
  // holds them now (the tree is loaded afresh). One failure does not stop the
  // other branches, but a key that keeps a subkey keeps its ancestors. The
  // first error, or the result of deleting the key itself
  // (ERROR_FILE_NOT_FOUND for a key that is not there).
  [[nodiscard]] win::LSTATUS DeleteTree() const;
  // Frees the loaded values and subkeys.
  void Release();
  // True when the load found this key to be a registry symbolic link (which
  // was then neither loaded nor walked into).
  bool IsLink() const { return isLink_; }

  win::HKEY root{};
  std::u16string text;         // the whole path text
  std::u16string subkeyPath;   // everything after the first backslash
  std::vector<RegistryKey> subkeys;
  std::vector<RegistryValue> values;

 private:
  // Loads this key and the keys below it, `depth` levels under the key that
  // LoadTree was called on, enumerating names into the shared `nameBuffer`.
  bool LoadLevel(std::u16string& nameBuffer, unsigned depth);
  void FailLoad();

  // The text parsed into a root and a subkey path that the registry calls can
  // take. Stays true when a load fails, so the key can still be deleted by path.
  bool parsed_ = false;
  bool valid_ = false;
  bool isLink_ = false;
};

}  // namespace quenwick
