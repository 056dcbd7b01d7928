// Calls that not every Windows version exports, or that live outside the
// documented API: looked up once at run time so that the program starts
// everywhere and imports only what every system has.
#include <string>

#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::ToNative;
using win32::Wide;

namespace {

using IsProcessCriticalFunction = ::BOOL(WINAPI*)(::HANDLE, ::BOOL*);
using NtDeleteKeyFunction = ::LONG(NTAPI*)(::HANDLE);
using RtlNtStatusToDosErrorFunction = ::ULONG(NTAPI*)(::LONG);
using SfcIsFileProtectedFunction = ::BOOL(WINAPI*)(::HANDLE, const wchar_t*);

// GetProcAddress gives a generic function pointer; going through void(*)()
// states that the real type is known here.
template <class Function>
Function Lookup(::HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// sfc.dll is loaded by its full path in the system folder, never through the
// search path, so that a planted copy next to the program is not picked up.
::HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  wchar_t folder[MAX_PATH];
  const ::UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += fileName;
  return ::LoadLibraryW(path.c_str());
}

}  // namespace

win::BOOL Win32Platform::IsProcessCritical(win::HANDLE process, win::BOOL* critical) {
  static const auto isProcessCritical = Lookup<IsProcessCriticalFunction>(
      ::GetModuleHandleW(L"kernel32.dll"), "IsProcessCritical");
  if (isProcessCritical == nullptr) {
    // Before Windows 8.1 nothing can be asked; such a process counts as not
    // critical.
    if (critical != nullptr) *critical = FALSE;
    return TRUE;
  }
  ::BOOL nativeCritical = critical != nullptr ? *critical : FALSE;
  const ::BOOL answered = isProcessCritical(ToNative<::HANDLE>(process), &nativeCritical);
  if (critical != nullptr) *critical = nativeCritical;
  return answered;
}

win::LSTATUS Win32Platform::DeleteKeyByHandle(win::HKEY key) {
  static const ::HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  static const auto ntDeleteKey = Lookup<NtDeleteKeyFunction>(ntdll, "NtDeleteKey");
  static const auto toDosError =
      Lookup<RtlNtStatusToDosErrorFunction>(ntdll, "RtlNtStatusToDosError");
  if (ntDeleteKey == nullptr || toDosError == nullptr) return ERROR_INVALID_FUNCTION;
  const ::LONG status = ntDeleteKey(ToNative<::HANDLE>(key));
  if (status >= 0) return ERROR_SUCCESS;  // NT_SUCCESS
  return static_cast<win::LSTATUS>(toDosError(status));
}

win::BOOL Win32Platform::SfcIsFileProtected(win::HANDLE rpc, const char16_t* path) {
  static const auto sfcIsFileProtected =
      Lookup<SfcIsFileProtectedFunction>(LoadSystemLibrary(L"sfc.dll"), "SfcIsFileProtected");
  if (sfcIsFileProtected == nullptr) return FALSE;  // no Windows Resource Protection
  return sfcIsFileProtected(ToNative<::HANDLE>(rpc), Wide(path));
}

}  // namespace quenwick
