#include "system/registry_key.h"

#include <array>

#include "base/text.h"
#include "system/registry_handle.h"

namespace quenwick {
namespace {

struct RootName {
  std::u16string_view name;
  win::HKEY root;
};

// The only root keys a path text may name, full names only: short forms such
// as "HKLM" are not recognised.
constexpr std::array<RootName, 3> kRootNames{{
    {u"HKEY_CURRENT_USER", win::HKEY_CURRENT_USER},
    {u"HKEY_LOCAL_MACHINE", win::HKEY_LOCAL_MACHINE},
    {u"HKEY_CLASSES_ROOT", win::HKEY_CLASSES_ROOT},
}};

// The name of a key: the part of its text after the last backslash.
std::u16string_view LastComponent(std::u16string_view text) {
  const std::size_t slash = text.rfind(u'\\');
  return slash == std::u16string_view::npos ? text : text.substr(slash + 1);
}

}  // namespace

RegistryKey::RegistryKey(std::u16string_view path) : text(path) {
  const std::size_t slash = text.find(u'\\');
  if (slash == std::u16string::npos) return;
  // The registry calls take zero-terminated names: a text with a zero inside
  // would name a different key than the one it spells (a key created through
  // the native API can hide behind such a name).
  if (text.find(u'\0') != std::u16string::npos) return;
  const std::u16string_view rootName = std::u16string_view(text).substr(0, slash);
  for (const RootName& entry : kRootNames) {
    if (EqualsIgnoreAsciiCase(rootName, entry.name)) {
      root = entry.root;
      subkeyPath = text.substr(slash + 1);
      parsed_ = true;
      valid_ = true;
      return;
    }
  }
}

bool RegistryKey::KeyExists() const {
  if (!parsed_) return false;
  ScopedRegistryKey key;
  return key.Open(root, subkeyPath, win::KEY_READ) == win::ERROR_SUCCESS;
}

const RegistryKey* RegistryKey::FindSubkey(std::u16string_view name) const {
  for (const RegistryKey& subkey : subkeys) {
    if (EqualsIgnoreAsciiCase(LastComponent(subkey.text), name)) return &subkey;
  }
  return nullptr;
}

const RegistryValue* RegistryKey::FindValue(std::u16string_view name) const {
  for (const RegistryValue& value : values) {
    if (value.IsValid() && EqualsIgnoreAsciiCase(*value.name, name)) return &value;
  }
  return nullptr;
}

win::LSTATUS RegistryKey::WriteBack() const {
  if (!parsed_) return win::ERROR_INVALID_NAME;
  ScopedRegistryKey key;
  const win::LSTATUS created = key.Create(root, subkeyPath, win::KEY_ALL_ACCESS);
  if (created != win::ERROR_SUCCESS) return created;

  win::LSTATUS firstError = win::ERROR_SUCCESS;
  auto remember = [&firstError](win::LSTATUS status) {
    if (firstError == win::ERROR_SUCCESS) firstError = status;
  };
  for (const RegistryValue& value : values) {
    // A value without a name would be written as the key's default value.
    if (!value.IsValid()) {
      remember(win::ERROR_INVALID_PARAMETER);
      continue;
    }
    // Never hand the registry more bytes than the value holds.
    const auto byteCount = static_cast<win::DWORD>(std::min<std::size_t>(value.size, value.data.size()));
    remember(Sys().RegSetValueExW(key.get(), value.name->c_str(), 0, value.type,
                                  byteCount > 0 ? value.data.data() : nullptr, byteCount));
  }
  key.Close();

  for (const RegistryKey& subkey : subkeys) remember(subkey.WriteBack());
  return firstError;
}

void RegistryKey::DeleteValue(std::u16string_view name) const {
  if (!parsed_) return;
  ScopedRegistryKey key;
  if (key.Open(root, subkeyPath, win::KEY_ALL_ACCESS) != win::ERROR_SUCCESS) return;
  const std::u16string valueName(name);
  Sys().RegDeleteValueW(key.get(), valueName.c_str());
}

void RegistryKey::Release() {
  subkeys.clear();
  subkeys.shrink_to_fit();
  values.clear();
  values.shrink_to_fit();
}

bool ForEachSubkeyName(win::HKEY root, std::u16string_view subkeyPath, std::size_t maxNameLength,
                       const std::function<bool(std::u16string_view name)>& visit) {
  constexpr unsigned kMaxConsecutiveFailures = 64;
  ScopedRegistryKey key;
  if (key.Open(root, std::u16string(subkeyPath), win::KEY_READ) != win::ERROR_SUCCESS) return false;
  std::u16string name(maxNameLength + 1, u'\0');
  unsigned failuresInARow = 0;
  for (win::DWORD index = 0;; ++index) {
    auto length = static_cast<win::DWORD>(name.size());
    const win::LSTATUS status =
        Sys().RegEnumKeyExW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS)) return true;
    if (status == static_cast<win::LSTATUS>(win::ERROR_MORE_DATA)) continue;  // too long a name
    if (status != win::ERROR_SUCCESS) {
      if (++failuresInARow >= kMaxConsecutiveFailures) return true;
      continue;
    }
    failuresInARow = 0;
    if (!visit(std::u16string_view(name.data(), std::min<std::size_t>(length, maxNameLength)))) return true;
  }
}

}  // namespace quenwick
