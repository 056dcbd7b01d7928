// Token privileges and the restart request.
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::FromNative;
using win32::ToNative;
using win32::Wide;

namespace {
::TOKEN_PRIVILEGES* NativePrivileges(win::TOKEN_PRIVILEGES* privileges) {
  return reinterpret_cast<::TOKEN_PRIVILEGES*>(privileges);
}
}  // namespace

win::BOOL Win32Platform::OpenProcessToken(win::HANDLE process, win::DWORD access,
                                          win::HANDLE* token) {
  ::HANDLE nativeToken = token != nullptr ? ToNative<::HANDLE>(*token) : nullptr;
  const ::BOOL opened = ::OpenProcessToken(ToNative<::HANDLE>(process), access,
                                           token != nullptr ? &nativeToken : nullptr);
  if (token != nullptr) *token = FromNative<win::HANDLE>(nativeToken);
  return opened;
}

win::BOOL Win32Platform::LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name,
                                               win::LUID* luid) {
  return ::LookupPrivilegeValueW(Wide(systemName), Wide(name), reinterpret_cast<::LUID*>(luid));
}

win::BOOL Win32Platform::AdjustTokenPrivileges(win::HANDLE token, win::BOOL disableAll,
                                               win::TOKEN_PRIVILEGES* newState,
                                               win::DWORD bufferLength,
                                               win::TOKEN_PRIVILEGES* previousState,
                                               win::DWORD* returnLength) {
  return ::AdjustTokenPrivileges(ToNative<::HANDLE>(token), disableAll, NativePrivileges(newState),
                                 bufferLength, NativePrivileges(previousState),
                                 reinterpret_cast<::DWORD*>(returnLength));
}

win::BOOL Win32Platform::ExitWindowsEx(win::UINT flags, win::DWORD reason) {
  return ::ExitWindowsEx(flags, reason);
}

win::UINT Win32Platform::SetErrorMode(win::UINT mode) { return ::SetErrorMode(mode); }

}  // namespace quenwick
