// File-system calls.
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::FromNative;
using win32::ToNative;
using win32::Wide;

namespace {
::WIN32_FIND_DATAW* NativeFindData(win::WIN32_FIND_DATAW* data) {
  return reinterpret_cast<::WIN32_FIND_DATAW*>(data);
}
}  // namespace

win::DWORD Win32Platform::GetFileAttributesW(const char16_t* path) {
  return ::GetFileAttributesW(Wide(path));
}

win::BOOL Win32Platform::SetFileAttributesW(const char16_t* path, win::DWORD attributes) {
  return ::SetFileAttributesW(Wide(path), attributes);
}

win::BOOL Win32Platform::DeleteFileW(const char16_t* path) { return ::DeleteFileW(Wide(path)); }

win::BOOL Win32Platform::RemoveDirectoryW(const char16_t* path) {
  return ::RemoveDirectoryW(Wide(path));
}

win::BOOL Win32Platform::MoveFileExW(const char16_t* existing, const char16_t* newName,
                                     win::DWORD flags) {
  return ::MoveFileExW(Wide(existing), Wide(newName), flags);
}

win::HFIND Win32Platform::FindFirstFileW(const char16_t* pattern, win::WIN32_FIND_DATAW* data) {
  return FromNative<win::HFIND>(::FindFirstFileW(Wide(pattern), NativeFindData(data)));
}

win::BOOL Win32Platform::FindNextFileW(win::HFIND find, win::WIN32_FIND_DATAW* data) {
  return ::FindNextFileW(ToNative<::HANDLE>(find), NativeFindData(data));
}

win::BOOL Win32Platform::FindClose(win::HFIND find) {
  return ::FindClose(ToNative<::HANDLE>(find));
}

win::DWORD Win32Platform::GetLongPathNameW(const char16_t* path, char16_t* buffer,
                                           win::DWORD size) {
  return ::GetLongPathNameW(Wide(path), Wide(buffer), size);
}

win::DWORD Win32Platform::GetFullPathNameW(const char16_t* path, win::DWORD size,
                                           char16_t* buffer, char16_t** filePart) {
  wchar_t* nativeFilePart = nullptr;
  const ::DWORD length = ::GetFullPathNameW(Wide(path), size, Wide(buffer),
                                            filePart != nullptr ? &nativeFilePart : nullptr);
  if (filePart != nullptr) *filePart = reinterpret_cast<char16_t*>(nativeFilePart);
  return length;
}

win::DWORD Win32Platform::GetLogicalDriveStringsW(win::DWORD size, char16_t* buffer) {
  return ::GetLogicalDriveStringsW(size, Wide(buffer));
}

}  // namespace quenwick
