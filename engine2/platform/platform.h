// The operating system as the program sees it: one method per Win32 call the
// program makes, with that call's arguments and results (error codes,
// handles, INVALID_FILE_ATTRIBUTES, IDYES, ...).
//
// Two implementations exist: win32/ forwards every method to the real call;
// sim/ is a simulated Windows machine held in memory, used by the unit tests,
// the benchmarks and the database fixture runner. Which one is in use is
// chosen once per process through InstallPlatform(); elements reach it through
// Sys() and never take a platform argument.
//
// Texts are UTF-16 (char16_t); on Windows they are passed to the W calls as
// they are. Pointer arguments that Win32 allows to be null may be null here.
#pragma once

#include <string_view>

#include "platform/win_types.h"

namespace quenwick {

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Last error -----------------------------------------------------------
  // The error code that the most recent failed call left behind, as
  // GetLastError() gives it on Windows.
  virtual win::DWORD GetLastError() = 0;

  // --- Module resources (the program's own module) --------------------------
  virtual win::HRSRC FindResourceW(win::HMODULE module, const char16_t* name,
                                   const char16_t* type) = 0;
  virtual win::DWORD SizeofResource(win::HMODULE module, win::HRSRC resource) = 0;
  virtual win::HGLOBAL LoadResource(win::HMODULE module, win::HRSRC resource) = 0;
  virtual const void* LockResource(win::HGLOBAL data) = 0;
  // The program's own executable path (GetModuleFileNameW with no module).
  virtual win::DWORD GetModuleFileNameW(win::HMODULE module, char16_t* buffer,
                                        win::DWORD size) = 0;

  // --- User dialogue and console --------------------------------------------
  virtual int MessageBoxW(win::HWND owner, const char16_t* text, const char16_t* caption,
                          win::UINT type) = 0;
  // Standard output. Narrow text is the driver's own lines; wide text is
  // Definition names and the lines Clean prints. Both land on one stream in
  // the order written.
  virtual void WriteConsole(std::string_view text) = 0;
  virtual void WriteConsoleWide(std::u16string_view text) = 0;
  // The runtime's command interpreter ("pause", "cls").
  virtual int RunCommandInterpreter(const char* command) = 0;

  // --- Registry -------------------------------------------------------------
  virtual win::LSTATUS RegOpenKeyExW(win::HKEY key, const char16_t* subKey, win::DWORD options,
                                     win::REGSAM access, win::HKEY* result) = 0;
  virtual win::LSTATUS RegQueryValueExW(win::HKEY key, const char16_t* valueName,
                                        win::DWORD* reserved, win::DWORD* type,
                                        win::BYTE* data, win::DWORD* dataSize) = 0;
  virtual win::LSTATUS RegEnumKeyExW(win::HKEY key, win::DWORD index, char16_t* name,
                                     win::DWORD* nameLength, win::DWORD* reserved,
                                     char16_t* className, win::DWORD* classLength,
                                     win::FILETIME* lastWriteTime) = 0;
  virtual win::LSTATUS RegEnumValueW(win::HKEY key, win::DWORD index, char16_t* name,
                                     win::DWORD* nameLength, win::DWORD* reserved,
                                     win::DWORD* type, win::BYTE* data,
                                     win::DWORD* dataSize) = 0;
  virtual win::LSTATUS RegCreateKeyExW(win::HKEY key, const char16_t* subKey,
                                       win::DWORD reserved, char16_t* className,
                                       win::DWORD options, win::REGSAM access,
                                       const void* security, win::HKEY* result,
                                       win::DWORD* disposition) = 0;
  virtual win::LSTATUS RegSetValueExW(win::HKEY key, const char16_t* valueName,
                                      win::DWORD reserved, win::DWORD type,
                                      const win::BYTE* data, win::DWORD dataSize) = 0;
  virtual win::LSTATUS RegDeleteKeyW(win::HKEY key, const char16_t* subKey) = 0;
  virtual win::LSTATUS RegDeleteValueW(win::HKEY key, const char16_t* valueName) = 0;
  virtual win::LSTATUS RegCloseKey(win::HKEY key) = 0;
  // Deletes the key an open handle refers to, as NtDeleteKey does: with a
  // handle opened with REG_OPTION_OPEN_LINK this deletes a registry link
  // itself rather than the key it points to. Needs DELETE access.
  virtual win::LSTATUS DeleteKeyByHandle(win::HKEY key) = 0;

  // --- File system ----------------------------------------------------------
  virtual win::DWORD GetFileAttributesW(const char16_t* path) = 0;
  virtual win::BOOL SetFileAttributesW(const char16_t* path, win::DWORD attributes) = 0;
  virtual win::BOOL DeleteFileW(const char16_t* path) = 0;
  virtual win::BOOL RemoveDirectoryW(const char16_t* path) = 0;
  virtual win::BOOL MoveFileExW(const char16_t* existing, const char16_t* newName,
                                win::DWORD flags) = 0;
  virtual win::HFIND FindFirstFileW(const char16_t* pattern, win::WIN32_FIND_DATAW* data) = 0;
  virtual win::BOOL FindNextFileW(win::HFIND find, win::WIN32_FIND_DATAW* data) = 0;
  virtual win::BOOL FindClose(win::HFIND find) = 0;
  virtual win::DWORD GetLongPathNameW(const char16_t* path, char16_t* buffer,
                                      win::DWORD size) = 0;
  virtual win::DWORD GetFullPathNameW(const char16_t* path, win::DWORD size, char16_t* buffer,
                                      char16_t** filePart) = 0;
  // Windows Resource Protection.
  virtual win::BOOL SfcIsFileProtected(win::HANDLE rpc, const char16_t* path) = 0;
  // Fills `buffer` with "C:\<nul>D:\<nul><nul>"; returns the length without the
  // final terminator, or the size needed when `size` is too small.
  virtual win::DWORD GetLogicalDriveStringsW(win::DWORD size, char16_t* buffer) = 0;

  // --- Shell folders and environment ----------------------------------------
  virtual win::BOOL SHGetSpecialFolderPathW(win::HWND owner, char16_t* path, int folder,
                                            win::BOOL create) = 0;
  virtual win::DWORD ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination,
                                               win::DWORD size) = 0;

  // --- Processes ------------------------------------------------------------
  virtual win::HANDLE CreateToolhelp32Snapshot(win::DWORD flags, win::DWORD processId) = 0;
  virtual win::BOOL Process32FirstW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) = 0;
  virtual win::BOOL Process32NextW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) = 0;
  virtual win::HANDLE OpenProcess(win::DWORD access, win::BOOL inheritHandle,
                                  win::DWORD processId) = 0;
  virtual win::DWORD GetModuleFileNameExW(win::HANDLE process, win::HMODULE module,
                                          char16_t* buffer, win::DWORD size) = 0;
  virtual win::BOOL TerminateProcess(win::HANDLE process, win::UINT exitCode) = 0;
  // Whether Windows marks the process critical (its end stops the system).
  virtual win::BOOL IsProcessCritical(win::HANDLE process, win::BOOL* critical) = 0;
  virtual win::DWORD GetCurrentProcessId() = 0;
  virtual win::HANDLE GetCurrentProcess() = 0;
  virtual void Sleep(win::DWORD milliseconds) = 0;
  virtual win::BOOL CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                                   const void* processAttributes, const void* threadAttributes,
                                   win::BOOL inheritHandles, win::DWORD creationFlags,
                                   const void* environment, const char16_t* currentDirectory,
                                   win::STARTUPINFOW* startupInfo,
                                   win::PROCESS_INFORMATION* processInformation) = 0;
  virtual win::DWORD WaitForSingleObject(win::HANDLE handle, win::DWORD milliseconds) = 0;
  virtual win::BOOL CloseHandle(win::HANDLE handle) = 0;

  // --- Privileges and restart -----------------------------------------------
  virtual win::BOOL OpenProcessToken(win::HANDLE process, win::DWORD access,
                                     win::HANDLE* token) = 0;
  virtual win::BOOL LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name,
                                          win::LUID* luid) = 0;
  virtual win::BOOL AdjustTokenPrivileges(win::HANDLE token, win::BOOL disableAll,
                                          win::TOKEN_PRIVILEGES* newState, win::DWORD bufferLength,
                                          win::TOKEN_PRIVILEGES* previousState,
                                          win::DWORD* returnLength) = 0;
  virtual win::BOOL ExitWindowsEx(win::UINT flags, win::DWORD reason) = 0;
  // The process's error mode; returns the previous one.
  virtual win::UINT SetErrorMode(win::UINT mode) = 0;

  // --- Code pages -----------------------------------------------------------
  virtual int MultiByteToWideChar(win::UINT codePage, win::DWORD flags, const char* multiByte,
                                  int multiByteLength, char16_t* wide, int wideLength) = 0;
};

// The platform in use. InstallPlatform() must have been called first; the
// previous platform (or null) is returned so that tests can restore it.
Platform& Sys();
Platform* InstallPlatform(Platform* platform);

}  // namespace quenwick
