#include <algorithm>
#include <new>

#include "system/registry_handle.h"
#include "system/registry_key.h"

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
  const std::size_t byteCount = std::min<std::size_t>(size, data.size());
  std::u16string text(byteCount / sizeof(char16_t), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto low = static_cast<char16_t>(data[2 * i]);
    const auto high = static_cast<char16_t>(data[2 * i + 1]);
    text[i] = static_cast<char16_t>(low | (high << 8));
    if (text[i] == u'\0') {
      text.resize(i);
      break;
    }
  }
  return text;
}

void RegistryValue::Release() {
  name.reset();
  data.clear();
  data.shrink_to_fit();
  type = win::REG_NONE;
  size = 0;
}

RegistryValue ReadValue(win::HKEY root, std::u16string_view subkeyPath, std::u16string_view name) {
  const std::u16string subkey(subkeyPath);
  const std::u16string valueName(name);
  ScopedRegistryKey key;
  if (key.Open(root, subkey, win::KEY_ALL_ACCESS) != win::ERROR_SUCCESS) return {};

  // The first query only learns the size; its result is not looked at, since
  // the second query fails in turn for a value that is not there.
  win::DWORD type = win::REG_NONE;
  win::DWORD size = 0;
  Sys().RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);

  std::vector<std::uint8_t> buffer;
  try {
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    return {};
  }
  win::DWORD received = static_cast<win::DWORD>(buffer.size());
  const win::LSTATUS status = Sys().RegQueryValueExW(
      key.get(), valueName.c_str(), nullptr, &type, buffer.empty() ? nullptr : buffer.data(),
      &received);
  // A value that grew since the first query fails here (ERROR_MORE_DATA).
  if (status != win::ERROR_SUCCESS) return {};
  received = std::min(received, static_cast<win::DWORD>(buffer.size()));
  return RegistryValue(valueName, type, buffer.data(), received);
}

}  // namespace quenwick
