#include <algorithm>
#include <new>

#include "base/utf16le.h"
#include "system/registry_handle.h"
#include "system/registry_key.h"
#include "system/system_text.h"

namespace quenwick {

RegistryValue::RegistryValue(std::u16string_view valueName, win::DWORD valueType,
                             const std::uint8_t* bytes, win::DWORD byteCount) {
  // Bytes that are announced but not there cannot be copied.
  if (byteCount > 0 && bytes == nullptr) return;
  try {
    if (byteCount > 0) data.assign(bytes, bytes + byteCount);
    name.emplace(valueName);
    type = valueType;
    size = byteCount;
  } catch (const std::bad_alloc&) {
    // Either copy failed: the value is invalid and holds nothing.
    Release();
  }
}

std::u16string RegistryValue::Text() const {
  // The registry does not promise a terminating zero, nor an even number of
  // bytes: the text ends at the first zero or at the last whole character.
  return TextFromUtf16Le(std::span(data.data(), std::min<std::size_t>(size, data.size())));
}

void RegistryValue::Release() {
  name.reset();
  data.clear();
  data.shrink_to_fit();
  type = win::REG_NONE;
  size = 0;
}

namespace {

// Reads the value `name` through an open key: its size is asked first, then
// the data read with exactly that room, so a value that grows in between
// fails instead of being read short.
RegistryValue ReadOpenValue(const ScopedRegistryKey& key, const std::u16string& name) {
  // The first query only learns the size; its result is not looked at, since
  // the second query fails in turn for a value that is not there.
  win::DWORD type = win::REG_NONE;
  win::DWORD size = 0;
  Sys().RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size);

  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    return {};
  }
  win::DWORD received = static_cast<win::DWORD>(buffer.size());
  const win::LSTATUS status = Sys().RegQueryValueExW(
      key.get(), name.c_str(), nullptr, &type, buffer.empty() ? nullptr : buffer.data(), &received);
  // A value that grew since the first query fails here (ERROR_MORE_DATA).
  if (status != win::ERROR_SUCCESS) return {};
  received = std::min(received, static_cast<win::DWORD>(buffer.size()));
  return RegistryValue(name, type, buffer.data(), received);
}

// True when a key opened with REG_OPTION_OPEN_LINK is a registry link: such a
// key holds its target in a REG_LINK "SymbolicLinkValue".
bool IsLinkKey(const ScopedRegistryKey& key) {
  const std::u16string name(kLinkValueName);
  win::DWORD type = win::REG_NONE;
  win::DWORD size = 0;
  return Sys().RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) ==
             win::ERROR_SUCCESS &&
         type == win::REG_LINK;
}

}  // namespace

RegistryValue ReadValue(win::HKEY root, std::u16string_view subkeyPath, std::u16string_view name) {
  ScopedRegistryKey key;
  if (key.Open(root, std::u16string(subkeyPath), win::KEY_ALL_ACCESS) != win::ERROR_SUCCESS) return {};
  return ReadOpenValue(key, std::u16string(name));
}

std::optional<std::u16string> ReadStringValue(win::HKEY root, std::u16string_view subkeyPath,
                                              std::u16string_view name) {
  ScopedRegistryKey key;
  if (key.Open(root, std::u16string(subkeyPath), win::KEY_READ) != win::ERROR_SUCCESS) return std::nullopt;
  const RegistryValue value = ReadOpenValue(key, std::u16string(name));
  if (!value.IsValid() || (value.type != win::REG_SZ && value.type != win::REG_EXPAND_SZ)) return std::nullopt;
  std::u16string text = value.Text();
  if (text.empty()) return std::nullopt;
  if (value.type == win::REG_EXPAND_SZ) return ExpandEnvironment(text);
  return text;
}

bool RegistryKey::RewriteValue(std::u16string_view name, const ValueRewrite& rewrite) const {
  if (!parsed_) return false;
  // Read and written through the same handle, opened as the key itself: a
  // link named last would otherwise lead the write to whatever it points to.
  ScopedRegistryKey key;
  if (key.Open(root, subkeyPath, win::KEY_QUERY_VALUE | win::KEY_SET_VALUE,
               win::REG_OPTION_OPEN_LINK) != win::ERROR_SUCCESS ||
      IsLinkKey(key)) {
    return false;
  }
  const RegistryValue value = ReadOpenValue(key, std::u16string(name));
  if (!value.IsValid()) return false;
  const std::optional<std::vector<std::uint8_t>> data = rewrite(value);
  if (!data) return false;
  // RegSetValueExW on the open key: it never creates the key, and it replaces
  // only this value.
  return Sys().RegSetValueExW(key.get(), value.name->c_str(), 0, value.type,
                              data->empty() ? nullptr : data->data(),
                              static_cast<win::DWORD>(data->size())) == win::ERROR_SUCCESS;
}

}  // namespace quenwick
