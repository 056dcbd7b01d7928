// Last error, module resources, message boxes, shell folders, environment and
// code pages.
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::FromNative;
using win32::ToNative;
using win32::Wide;

win::DWORD Win32Platform::GetLastError() { return ::GetLastError(); }

win::HRSRC Win32Platform::FindResourceW(win::HMODULE module, const char16_t* name,
                                        const char16_t* type) {
  return FromNative<win::HRSRC>(
      ::FindResourceW(ToNative<::HMODULE>(module), Wide(name), Wide(type)));
}

win::DWORD Win32Platform::SizeofResource(win::HMODULE module, win::HRSRC resource) {
  return ::SizeofResource(ToNative<::HMODULE>(module), ToNative<::HRSRC>(resource));
}

win::HGLOBAL Win32Platform::LoadResource(win::HMODULE module, win::HRSRC resource) {
  return FromNative<win::HGLOBAL>(
      ::LoadResource(ToNative<::HMODULE>(module), ToNative<::HRSRC>(resource)));
}

const void* Win32Platform::LockResource(win::HGLOBAL data) {
  return ::LockResource(ToNative<::HGLOBAL>(data));
}

win::DWORD Win32Platform::GetModuleFileNameW(win::HMODULE module, char16_t* buffer,
                                             win::DWORD size) {
  return ::GetModuleFileNameW(ToNative<::HMODULE>(module), Wide(buffer), size);
}

int Win32Platform::MessageBoxW(win::HWND owner, const char16_t* text, const char16_t* caption,
                               win::UINT type) {
  return ::MessageBoxW(ToNative<::HWND>(owner), Wide(text), Wide(caption), type);
}

win::BOOL Win32Platform::SHGetSpecialFolderPathW(win::HWND owner, char16_t* path, int folder,
                                                 win::BOOL create) {
  return ::SHGetSpecialFolderPathW(ToNative<::HWND>(owner), Wide(path), folder, create);
}

win::DWORD Win32Platform::ExpandEnvironmentStringsW(const char16_t* source,
                                                    char16_t* destination, win::DWORD size) {
  return ::ExpandEnvironmentStringsW(Wide(source), Wide(destination), size);
}

int Win32Platform::MultiByteToWideChar(win::UINT codePage, win::DWORD flags,
                                       const char* multiByte, int multiByteLength,
                                       char16_t* wide, int wideLength) {
  return ::MultiByteToWideChar(codePage, flags, multiByte, multiByteLength, Wide(wide),
                               wideLength);
}

}  // namespace quenwick
