// Registry calls. Key handles pass through native locals so that whatever
// Windows leaves in an out-handle (a key, or null after a failure) is what the
// caller sees.
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::FromNative;
using win32::ToNative;
using win32::Wide;

namespace {

// The native handle to pass for an optional out-handle, initialised from the
// caller's value.
class OutKey {
 public:
  explicit OutKey(win::HKEY* ours) : ours_(ours) {
    if (ours_ != nullptr) native_ = ToNative<::HKEY>(*ours_);
  }
  ~OutKey() {
    if (ours_ != nullptr) *ours_ = FromNative<win::HKEY>(native_);
  }
  OutKey(const OutKey&) = delete;
  OutKey& operator=(const OutKey&) = delete;
  ::HKEY* get() { return ours_ != nullptr ? &native_ : nullptr; }

 private:
  win::HKEY* ours_;
  ::HKEY native_ = nullptr;
};

::FILETIME* NativeFileTime(win::FILETIME* time) { return reinterpret_cast<::FILETIME*>(time); }

}  // namespace

win::LSTATUS Win32Platform::RegOpenKeyExW(win::HKEY key, const char16_t* subKey,
                                          win::DWORD options, win::REGSAM access,
                                          win::HKEY* result) {
  OutKey out(result);
  return ::RegOpenKeyExW(ToNative<::HKEY>(key), Wide(subKey), options, access, out.get());
}

win::LSTATUS Win32Platform::RegQueryValueExW(win::HKEY key, const char16_t* valueName,
                                             win::DWORD* reserved, win::DWORD* type,
                                             win::BYTE* data, win::DWORD* dataSize) {
  return ::RegQueryValueExW(ToNative<::HKEY>(key), Wide(valueName),
                            reinterpret_cast<::DWORD*>(reserved),
                            reinterpret_cast<::DWORD*>(type), data,
                            reinterpret_cast<::DWORD*>(dataSize));
}

win::LSTATUS Win32Platform::RegEnumKeyExW(win::HKEY key, win::DWORD index, char16_t* name,
                                          win::DWORD* nameLength, win::DWORD* reserved,
                                          char16_t* className, win::DWORD* classLength,
                                          win::FILETIME* lastWriteTime) {
  return ::RegEnumKeyExW(ToNative<::HKEY>(key), index, Wide(name),
                         reinterpret_cast<::DWORD*>(nameLength),
                         reinterpret_cast<::DWORD*>(reserved), Wide(className),
                         reinterpret_cast<::DWORD*>(classLength), NativeFileTime(lastWriteTime));
}

win::LSTATUS Win32Platform::RegEnumValueW(win::HKEY key, win::DWORD index, char16_t* name,
                                          win::DWORD* nameLength, win::DWORD* reserved,
                                          win::DWORD* type, win::BYTE* data,
                                          win::DWORD* dataSize) {
  return ::RegEnumValueW(ToNative<::HKEY>(key), index, Wide(name),
                         reinterpret_cast<::DWORD*>(nameLength),
                         reinterpret_cast<::DWORD*>(reserved), reinterpret_cast<::DWORD*>(type),
                         data, reinterpret_cast<::DWORD*>(dataSize));
}

win::LSTATUS Win32Platform::RegCreateKeyExW(win::HKEY key, const char16_t* subKey,
                                            win::DWORD reserved, char16_t* className,
                                            win::DWORD options, win::REGSAM access,
                                            const void* security, win::HKEY* result,
                                            win::DWORD* disposition) {
  OutKey out(result);
  // The security attributes are only read; the Win32 prototype is not const.
  auto* attributes =
      const_cast<::SECURITY_ATTRIBUTES*>(static_cast<const ::SECURITY_ATTRIBUTES*>(security));
  return ::RegCreateKeyExW(ToNative<::HKEY>(key), Wide(subKey), reserved, Wide(className),
                           options, access, attributes, out.get(),
                           reinterpret_cast<::DWORD*>(disposition));
}

win::LSTATUS Win32Platform::RegSetValueExW(win::HKEY key, const char16_t* valueName,
                                           win::DWORD reserved, win::DWORD type,
                                           const win::BYTE* data, win::DWORD dataSize) {
  return ::RegSetValueExW(ToNative<::HKEY>(key), Wide(valueName), reserved, type, data, dataSize);
}

win::LSTATUS Win32Platform::RegDeleteKeyW(win::HKEY key, const char16_t* subKey) {
  return ::RegDeleteKeyW(ToNative<::HKEY>(key), Wide(subKey));
}

win::LSTATUS Win32Platform::RegDeleteValueW(win::HKEY key, const char16_t* valueName) {
  return ::RegDeleteValueW(ToNative<::HKEY>(key), Wide(valueName));
}

win::LSTATUS Win32Platform::RegCloseKey(win::HKEY key) {
  return ::RegCloseKey(ToNative<::HKEY>(key));
}

}  // namespace quenwick
