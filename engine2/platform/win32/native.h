// <windows.h> and the conversions between our mirror types and the native
// ones. For win32/ sources only, included after every header of ours: the
// Windows macros (DELETE, INFINITE, WriteConsole, ...) would otherwise rewrite
// the names in platform.h and win_types.h.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// psapi.dll's GetModuleFileNameExW exists on every Windows version; the
// kernel32 K32 variant that version 2 maps it to does not.
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 1
#endif
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

// WriteConsole is one of our Platform methods; here it would become
// WriteConsoleW.
#undef WriteConsole

namespace quenwick::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

// Our handles carry the native value unchanged.
template <class Native, class Tag>
Native ToNative(win::Handle<Tag> handle) {
  return reinterpret_cast<Native>(handle.value);
}
template <class Ours, class Native>
Ours FromNative(Native handle) {
  return Ours{reinterpret_cast<std::uintptr_t>(handle)};
}

}  // namespace quenwick::win32
