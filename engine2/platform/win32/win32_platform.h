// The real machine: every Platform method forwards to the Win32 call of the
// same name with the same arguments, and reports what that call reports.
//
// This header stays free of <windows.h> so that the entry point and the tests
// can install the platform without pulling the Windows macros into their
// code. The few calls that are not in every Windows version (IsProcessCritical,
// NtDeleteKey, SfcIsFileProtected) are looked up at run time.
#pragma once

#include "platform/platform.h"

namespace quenwick {

class Win32Platform final : public Platform {
 public:
  win::DWORD GetLastError() override;

  win::HRSRC FindResourceW(win::HMODULE module, const char16_t* name,
                           const char16_t* type) override;
  win::DWORD SizeofResource(win::HMODULE module, win::HRSRC resource) override;
  win::HGLOBAL LoadResource(win::HMODULE module, win::HRSRC resource) override;
  const void* LockResource(win::HGLOBAL data) override;
  win::DWORD GetModuleFileNameW(win::HMODULE module, char16_t* buffer, win::DWORD size) override;

  int MessageBoxW(win::HWND owner, const char16_t* text, const char16_t* caption,
                  win::UINT type) override;
  // Standard output: a console gets UTF-16 through WriteConsoleW; a pipe or a
  // file gets bytes (narrow text as it is, wide text as UTF-8) with "\n"
  // written as "\r\n", as the C runtime's text mode writes it. Nothing is
  // buffered, so the text is out before "pause" or "cls" runs.
  void WriteConsole(std::string_view text) override;
  void WriteConsoleWide(std::u16string_view text) override;
  int RunCommandInterpreter(const char* command) override;

  win::LSTATUS RegOpenKeyExW(win::HKEY key, const char16_t* subKey, win::DWORD options,
                             win::REGSAM access, win::HKEY* result) override;
  win::LSTATUS RegQueryValueExW(win::HKEY key, const char16_t* valueName, win::DWORD* reserved,
                                win::DWORD* type, win::BYTE* data,
                                win::DWORD* dataSize) override;
  win::LSTATUS RegEnumKeyExW(win::HKEY key, win::DWORD index, char16_t* name,
                             win::DWORD* nameLength, win::DWORD* reserved, char16_t* className,
                             win::DWORD* classLength, win::FILETIME* lastWriteTime) override;
  win::LSTATUS RegEnumValueW(win::HKEY key, win::DWORD index, char16_t* name,
                             win::DWORD* nameLength, win::DWORD* reserved, win::DWORD* type,
                             win::BYTE* data, win::DWORD* dataSize) override;
  win::LSTATUS RegCreateKeyExW(win::HKEY key, const char16_t* subKey, win::DWORD reserved,
                               char16_t* className, win::DWORD options, win::REGSAM access,
                               const void* security, win::HKEY* result,
                               win::DWORD* disposition) override;
  win::LSTATUS RegSetValueExW(win::HKEY key, const char16_t* valueName, win::DWORD reserved,
                              win::DWORD type, const win::BYTE* data,
                              win::DWORD dataSize) override;
  win::LSTATUS RegDeleteKeyW(win::HKEY key, const char16_t* subKey) override;
  win::LSTATUS RegDeleteValueW(win::HKEY key, const char16_t* valueName) override;
  win::LSTATUS RegCloseKey(win::HKEY key) override;
  win::LSTATUS DeleteKeyByHandle(win::HKEY key) override;

  win::DWORD GetFileAttributesW(const char16_t* path) override;
  win::BOOL SetFileAttributesW(const char16_t* path, win::DWORD attributes) override;
  win::BOOL DeleteFileW(const char16_t* path) override;
  win::BOOL RemoveDirectoryW(const char16_t* path) override;
  win::BOOL MoveFileExW(const char16_t* existing, const char16_t* newName,
                        win::DWORD flags) override;
  win::HFIND FindFirstFileW(const char16_t* pattern, win::WIN32_FIND_DATAW* data) override;
  win::BOOL FindNextFileW(win::HFIND find, win::WIN32_FIND_DATAW* data) override;
  win::BOOL FindClose(win::HFIND find) override;
  win::DWORD GetLongPathNameW(const char16_t* path, char16_t* buffer, win::DWORD size) override;
  win::DWORD GetFullPathNameW(const char16_t* path, win::DWORD size, char16_t* buffer,
                              char16_t** filePart) override;
  win::BOOL SfcIsFileProtected(win::HANDLE rpc, const char16_t* path) override;
  win::DWORD GetLogicalDriveStringsW(win::DWORD size, char16_t* buffer) override;

  win::BOOL SHGetSpecialFolderPathW(win::HWND owner, char16_t* path, int folder,
                                    win::BOOL create) override;
  win::DWORD ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination,
                                       win::DWORD size) override;

  win::HANDLE CreateToolhelp32Snapshot(win::DWORD flags, win::DWORD processId) override;
  win::BOOL Process32FirstW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) override;
  win::BOOL Process32NextW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) override;
  win::HANDLE OpenProcess(win::DWORD access, win::BOOL inheritHandle,
                          win::DWORD processId) override;
  win::DWORD GetModuleFileNameExW(win::HANDLE process, win::HMODULE module, char16_t* buffer,
                                  win::DWORD size) override;
  win::BOOL TerminateProcess(win::HANDLE process, win::UINT exitCode) override;
  // Windows versions before 8.1 cannot say; a process is then reported as not
  // critical (the call succeeds with FALSE).
  win::BOOL IsProcessCritical(win::HANDLE process, win::BOOL* critical) override;
  win::DWORD GetCurrentProcessId() override;
  win::HANDLE GetCurrentProcess() override;
  void Sleep(win::DWORD milliseconds) override;
  win::BOOL CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                           const void* processAttributes, const void* threadAttributes,
                           win::BOOL inheritHandles, win::DWORD creationFlags,
                           const void* environment, const char16_t* currentDirectory,
                           win::STARTUPINFOW* startupInfo,
                           win::PROCESS_INFORMATION* processInformation) override;
  win::DWORD WaitForSingleObject(win::HANDLE handle, win::DWORD milliseconds) override;
  win::BOOL CloseHandle(win::HANDLE handle) override;

  win::BOOL OpenProcessToken(win::HANDLE process, win::DWORD access,
                             win::HANDLE* token) override;
  win::BOOL LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name,
                                  win::LUID* luid) override;
  win::BOOL AdjustTokenPrivileges(win::HANDLE token, win::BOOL disableAll,
                                  win::TOKEN_PRIVILEGES* newState, win::DWORD bufferLength,
                                  win::TOKEN_PRIVILEGES* previousState,
                                  win::DWORD* returnLength) override;
  win::BOOL ExitWindowsEx(win::UINT flags, win::DWORD reason) override;
  win::UINT SetErrorMode(win::UINT mode) override;

  int MultiByteToWideChar(win::UINT codePage, win::DWORD flags, const char* multiByte,
                          int multiByteLength, char16_t* wide, int wideLength) override;
};

}  // namespace quenwick
