// Loading a key with everything under it, and deleting such a tree.
#include <algorithm>
#include <new>

#include "base/text.h"
#include "system/protected_places.h"
#include "system/registry_handle.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

// The name buffer that value and subkey names are enumerated into. Value
// names may take all of it; subkey names are offered 1,000 characters less,
// which is still longer than any name Windows allows a key (255).
constexpr win::DWORD kNameBufferChars = 32767;
constexpr win::DWORD kValueNameCapacity = kNameBufferChars;
constexpr win::DWORD kSubkeyNameCapacity = kNameBufferChars - 1000;

// Deletes the key a path names as itself: opened without following a link
// at its end, and deleted through the handle.
win::LSTATUS DeleteKeyItself(win::HKEY root, const std::u16string& subkeyPath) {
  ScopedRegistryKey key;
  const win::LSTATUS status = key.Open(root, subkeyPath, win::DELETE, win::REG_OPTION_OPEN_LINK);
  if (status != win::ERROR_SUCCESS) return status;
  return Sys().DeleteKeyByHandle(key.get());
}

// Deletes one key, which must have no subkeys left. Every deletion of a tree
// comes through here. A key that must never be deleted is refused; a link is
// deleted as the link, and so is a key that could not be read (it may be a
// link that hides itself), because deleting by path follows a link and
// would delete whatever it points to.
win::LSTATUS DeleteOneKey(const RegistryKey& key) {
  if (!key.HasRegistryPath()) return win::ERROR_INVALID_NAME;
  if (IsProtectedKey(key.root, key.subkeyPath)) return win::ERROR_ACCESS_DENIED;
  if (key.IsLink() || !key.IsValid()) return DeleteKeyItself(key.root, key.subkeyPath);
  return Sys().RegDeleteKeyW(key.root, key.subkeyPath.c_str());
}

// Post-order: every subkey before its parent. One failure does not stop the
// other branches; the first error met is the one returned.
win::LSTATUS DeleteLoadedTree(const RegistryKey& key) {
  win::LSTATUS firstError = win::ERROR_SUCCESS;
  for (const RegistryKey& subkey : key.subkeys) {
    const win::LSTATUS status = DeleteLoadedTree(subkey);
    if (firstError == win::ERROR_SUCCESS) firstError = status;
  }
  const win::LSTATUS own = DeleteOneKey(key);
  return firstError != win::ERROR_SUCCESS ? firstError : own;
}

}  // namespace

bool RegistryKey::LoadTree() {
  values.clear();
  subkeys.clear();
  isLink_ = false;
  if (!parsed_) {
    valid_ = false;
    return false;
  }
  std::u16string nameBuffer;
  try {
    nameBuffer.resize(kNameBufferChars);
  } catch (const std::bad_alloc&) {
    FailLoad();
    return false;
  }
  return LoadLevel(nameBuffer, 0);
}

void RegistryKey::FailLoad() {
  Release();
  valid_ = false;
}

bool RegistryKey::LoadLevel(std::u16string& nameBuffer, unsigned depth) {
  valid_ = true;
  ScopedRegistryKey key;
  if (key.Open(root, subkeyPath, win::KEY_READ, win::REG_OPTION_OPEN_LINK) != win::ERROR_SUCCESS) {
    FailLoad();
    return false;
  }

  try {
    // Values first, in the registry's order. The size of each value's data is
    // asked for and the data read with exactly that room, so a value that grows
    // in between fails the load instead of being read short.
    for (win::DWORD index = 0;; ++index) {
      win::DWORD nameLength = kValueNameCapacity;
      win::DWORD type = win::REG_NONE;
      win::DWORD size = 0;
      win::LSTATUS status = Sys().RegEnumValueW(key.get(), index, nameBuffer.data(), &nameLength,
                                                nullptr, &type, nullptr, &size);
      if (status == win::ERROR_NO_MORE_ITEMS) break;
      if (status != win::ERROR_SUCCESS) {
        FailLoad();
        return false;
      }
      std::vector<std::uint8_t> data(size);
      nameLength = kValueNameCapacity;
      status = Sys().RegEnumValueW(key.get(), index, nameBuffer.data(), &nameLength, nullptr,
                                   &type, data.empty() ? nullptr : data.data(), &size);
      if (status != win::ERROR_SUCCESS) {
        FailLoad();
        return false;
      }
      const std::u16string_view name(nameBuffer.data(), std::min(nameLength, kValueNameCapacity));
      RegistryValue value(name, type, data.data(),
                          std::min(size, static_cast<win::DWORD>(data.size())));
      if (!value.IsValid()) {
        FailLoad();
        return false;
      }
      values.push_back(std::move(value));
    }

    // Opened as itself, a link shows only the value that holds its target;
    // what lies behind it is not this key's to load. Followed, two links
    // back to an ancestor would double the walk at every level.
    for (const RegistryValue& value : values) {
      if (value.type == win::REG_LINK && value.name && EqualsIgnoreAsciiCase(*value.name, kLinkValueName)) {
        isLink_ = true;
        values.clear();
        return true;
      }
    }

    // Then the subkeys, each loaded whole before the next is enumerated.
    for (win::DWORD index = 0;; ++index) {
      win::DWORD nameLength = kSubkeyNameCapacity;
      const win::LSTATUS status = Sys().RegEnumKeyExW(key.get(), index, nameBuffer.data(),
                                                      &nameLength, nullptr, nullptr, nullptr,
                                                      nullptr);
      if (status == win::ERROR_NO_MORE_ITEMS) break;
      if (status != win::ERROR_SUCCESS) {
        FailLoad();
        return false;
      }
      std::u16string childText = text;
      childText += u'\\';
      childText.append(nameBuffer.data(), std::min(nameLength, kSubkeyNameCapacity));
      RegistryKey child(childText);
      if (depth + 1 > kMaxKeyDepth) {
        // Too deep for any real registry: kept, like a key that cannot be
        // read, without being opened.
        child.valid_ = false;
      } else if (child.parsed_) {
        child.LoadLevel(nameBuffer, depth + 1);
      }
      subkeys.push_back(std::move(child));
    }
  } catch (const std::bad_alloc&) {
    FailLoad();
    return false;
  }
  return true;
}

win::LSTATUS RegistryKey::DeleteTree() const {
  if (!parsed_) return win::ERROR_INVALID_NAME;
  // A protected key is refused before anything under it is touched.
  if (IsProtectedKey(root, subkeyPath)) return win::ERROR_ACCESS_DENIED;
  // Loaded afresh, so that what is deleted is what the registry holds now. A
  // key that cannot be loaded is still deleted by its path (which fails when
  // it has subkeys), so a failed load needs no answer of its own.
  RegistryKey fresh(text);
  (void)fresh.LoadTree();
  return DeleteLoadedTree(fresh);
}

}  // namespace quenwick
