// Process calls: the snapshot walk, opening, naming, ending, starting and
// waiting.
#include "platform/win32/win32_platform.h"

#include "platform/win32/native.h"

namespace quenwick {

using win32::FromNative;
using win32::ToNative;
using win32::Wide;

namespace {
::PROCESSENTRY32W* NativeEntry(win::PROCESSENTRY32W* entry) {
  return reinterpret_cast<::PROCESSENTRY32W*>(entry);
}
// Only read by CreateProcessW; its prototype is not const.
::SECURITY_ATTRIBUTES* NativeAttributes(const void* attributes) {
  return const_cast<::SECURITY_ATTRIBUTES*>(
      static_cast<const ::SECURITY_ATTRIBUTES*>(attributes));
}
}  // namespace

win::HANDLE Win32Platform::CreateToolhelp32Snapshot(win::DWORD flags, win::DWORD processId) {
  return FromNative<win::HANDLE>(::CreateToolhelp32Snapshot(flags, processId));
}

win::BOOL Win32Platform::Process32FirstW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) {
  return ::Process32FirstW(ToNative<::HANDLE>(snapshot), NativeEntry(entry));
}

win::BOOL Win32Platform::Process32NextW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) {
  return ::Process32NextW(ToNative<::HANDLE>(snapshot), NativeEntry(entry));
}

win::HANDLE Win32Platform::OpenProcess(win::DWORD access, win::BOOL inheritHandle,
                                       win::DWORD processId) {
  return FromNative<win::HANDLE>(::OpenProcess(access, inheritHandle, processId));
}

win::DWORD Win32Platform::GetModuleFileNameExW(win::HANDLE process, win::HMODULE module,
                                               char16_t* buffer, win::DWORD size) {
  return ::GetModuleFileNameExW(ToNative<::HANDLE>(process), ToNative<::HMODULE>(module),
                                Wide(buffer), size);
}

win::BOOL Win32Platform::TerminateProcess(win::HANDLE process, win::UINT exitCode) {
  return ::TerminateProcess(ToNative<::HANDLE>(process), exitCode);
}

win::DWORD Win32Platform::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

win::HANDLE Win32Platform::GetCurrentProcess() {
  return FromNative<win::HANDLE>(::GetCurrentProcess());
}

void Win32Platform::Sleep(win::DWORD milliseconds) { ::Sleep(milliseconds); }

win::BOOL Win32Platform::CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                                        const void* processAttributes,
                                        const void* threadAttributes, win::BOOL inheritHandles,
                                        win::DWORD creationFlags, const void* environment,
                                        const char16_t* currentDirectory,
                                        win::STARTUPINFOW* startupInfo,
                                        win::PROCESS_INFORMATION* processInformation) {
  ::PROCESS_INFORMATION nativeInformation{};
  const ::BOOL started = ::CreateProcessW(
      Wide(applicationName), Wide(commandLine), NativeAttributes(processAttributes),
      NativeAttributes(threadAttributes), inheritHandles, creationFlags,
      const_cast<void*>(environment), Wide(currentDirectory),
      reinterpret_cast<::STARTUPINFOW*>(startupInfo),
      processInformation != nullptr ? &nativeInformation : nullptr);
  if (started && processInformation != nullptr) {
    processInformation->hProcess = FromNative<win::HANDLE>(nativeInformation.hProcess);
    processInformation->hThread = FromNative<win::HANDLE>(nativeInformation.hThread);
    processInformation->dwProcessId = nativeInformation.dwProcessId;
    processInformation->dwThreadId = nativeInformation.dwThreadId;
  }
  return started;
}

win::DWORD Win32Platform::WaitForSingleObject(win::HANDLE handle, win::DWORD milliseconds) {
  return ::WaitForSingleObject(ToNative<::HANDLE>(handle), milliseconds);
}

win::BOOL Win32Platform::CloseHandle(win::HANDLE handle) {
  return ::CloseHandle(ToNative<::HANDLE>(handle));
}

}  // namespace quenwick
