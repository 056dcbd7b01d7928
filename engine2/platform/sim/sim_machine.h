// A simulated Windows machine held in memory.
//
// It answers every Platform call the way Windows does for the facts the
// program relies on (error codes, enumeration order, access rules, delayed
// deletion), and offers a setup and inspection API for tests, benchmarks and
// the database fixture runner. Nothing here touches the host.
//
// Paths are Windows paths ("C:\Program Files\X"), compared without regard to
// the case of A-Z; the "\\?\" long-path prefix is accepted and stripped.
// Registry paths begin with a full root name ("HKEY_LOCAL_MACHINE\SOFTWARE").
//
// Every Platform call is counted and logged (CallCount, CallLog), so tests can
// check that an operation makes exactly the calls it should. Setup and
// inspection methods are not Platform calls and are neither counted nor
// logged.
//
// As on Windows, HKEY_CURRENT_USER is the user's hive under HKEY_USERS
// (HKEY_USERS\S-1-5-21-...-1000) and HKEY_CLASSES_ROOT is
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes (the per-user overlay is not
// simulated); these keys exist on every machine.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quenwick::sim {

struct RegistryValueData {
  win::DWORD type = win::REG_NONE;
  std::vector<std::uint8_t> bytes;
};

// What a key lets the program do. A key that is readable but not writable
// opens with KEY_READ and refuses KEY_ALL_ACCESS (and KEY_WRITE) with 5.
struct KeyAccess {
  bool readable = true;   // opens with KEY_READ
  bool writable = true;   // opens with KEY_ALL_ACCESS / KEY_WRITE / KEY_SET_VALUE
  bool deletable = true;  // RegDeleteKeyW on it succeeds (when it has no subkeys)
};

enum class LinkKind { Junction, DirectorySymlink, FileSymlink };

struct ProcessOptions {
  bool openable = true;    // OpenProcess succeeds
  bool terminable = true;  // TerminateProcess succeeds
  bool critical = false;   // IsProcessCritical reports TRUE
  bool imageReadable = true;  // GetModuleFileNameExW succeeds
};

// How a program started with CreateProcessW behaves.
struct ProgramBehaviour {
  bool failsToStart = false;   // CreateProcessW fails (with ERROR_ACCESS_DENIED)
  bool outlivesWait = false;   // WaitForSingleObject times out instead of signalling
};

struct StartedProgram {
  std::u16string applicationName;
  std::u16string commandLine;
  win::DWORD waitedMilliseconds = 0;  // the timeout the program was waited with (0: not waited)
  bool waited = false;
};

struct MessageBoxRecord {
  std::u16string text;
  std::u16string caption;
  win::UINT type = 0;
  int answer = 0;
};

struct SimProcess {
  win::DWORD pid = 0;
  std::u16string imagePath;
  ProcessOptions options;
  bool running = true;
};

class SimMachine final : public Platform {
 public:
  // An empty machine: no drives, keys, folders, processes or variables.
  SimMachine();
  ~SimMachine() override;
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // A machine laid out like a fresh Windows 7 installation with one user
  // "User": drive C:, C:\Windows, C:\Windows\System32 (with its well-known
  // programs), C:\Program Files, C:\Program Files (x86), C:\ProgramData,
  // C:\Users\User and C:\Users\Public with their shell folders, the
  // environment (SystemRoot, windir, SystemDrive, USERPROFILE, ALLUSERSPROFILE,
  // APPDATA, LOCALAPPDATA, PROGRAMFILES, ProgramFiles(x86), CommonProgramFiles,
  // HOMEDRIVE, HOMEPATH, TEMP, TMP, ComSpec), all 21 shell folders of the path
  // macros, the registry's usual keys (Run, RunOnce, Uninstall, Winlogon with
  // "Userinit" = "C:\Windows\system32\userinit.exe,", ProfileList, Classes)
  // and the system processes (System, smss.exe, csrss.exe, wininit.exe,
  // winlogon.exe, services.exe, lsass.exe, svchost.exe, explorer.exe).
  static std::unique_ptr<SimMachine> Standard();

  // --- Registry setup and inspection ----------------------------------------
  void AddKey(std::u16string_view path);  // creates missing ancestors
  void SetValue(std::u16string_view keyPath, std::u16string_view name, win::DWORD type,
                std::vector<std::uint8_t> bytes);  // creates the key
  // REG_SZ / REG_EXPAND_SZ data with its terminating zero.
  void SetString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view text,
                 win::DWORD type = win::REG_SZ);
  void SetDword(std::u16string_view keyPath, std::u16string_view name, win::DWORD value);
  void SetKeyAccess(std::u16string_view keyPath, KeyAccess access);
  // RegSetValueExW of this value fails with `error`.
  void RefuseValueWrite(std::u16string_view keyPath, std::u16string_view name,
                        win::DWORD error = win::ERROR_ACCESS_DENIED);
  // A registry symbolic link at `linkPath` that points to `targetPath`.
  // Opening it with options 0 follows the link; REG_OPTION_OPEN_LINK opens the
  // link key itself.
  void AddRegistryLink(std::u16string_view linkPath, std::u16string_view targetPath);
  bool KeyExists(std::u16string_view path) const;
  std::optional<RegistryValueData> GetValue(std::u16string_view keyPath,
                                            std::u16string_view name) const;
  // The value's text (REG_SZ/REG_EXPAND_SZ), up to its first zero.
  std::optional<std::u16string> GetString(std::u16string_view keyPath,
                                          std::u16string_view name) const;
  std::vector<std::u16string> SubkeyNames(std::u16string_view path) const;  // enumeration order
  std::vector<std::u16string> ValueNames(std::u16string_view path) const;   // enumeration order

  // --- File system setup and inspection -------------------------------------
  void AddDrive(char16_t letter);  // "X:\" exists afterwards
  // Creates the file (and missing parent folders) with these attributes.
  void AddFile(std::u16string_view path, win::DWORD attributes = win::FILE_ATTRIBUTE_ARCHIVE);
  void AddFolder(std::u16string_view path, win::DWORD attributes = win::FILE_ATTRIBUTE_DIRECTORY);
  // A reparse point at `path` that refers to `target`. A junction or directory
  // link is a folder entry with FILE_ATTRIBUTE_REPARSE_POINT; a file link is a
  // file entry with it. Paths through a link resolve to its target; the link
  // itself is removed by RemoveDirectoryW (folder links) or DeleteFileW (file
  // links), leaving the target alone.
  void AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind);
  // The file is held open without sharing by another process: DeleteFileW
  // fails with ERROR_SHARING_VIOLATION until UnlockFile or a restart.
  void LockFile(std::u16string_view path);
  void UnlockFile(std::u16string_view path);
  // The program may not delete this file or folder: DeleteFileW /
  // RemoveDirectoryW and SetFileAttributesW fail with ERROR_ACCESS_DENIED.
  void DenyDelete(std::u16string_view path);
  // DeleteFileW / RemoveDirectoryW of this path fail with `error`.
  void FailDelete(std::u16string_view path, win::DWORD error);
  // MoveFileExW of this path fails with `error`.
  void FailMove(std::u16string_view path, win::DWORD error);
  // The 8.3 short form of a long name, for GetLongPathNameW.
  void SetShortName(std::u16string_view longPath, std::u16string_view shortPath);
  // Windows Resource Protection covers this file.
  void ProtectSystemFile(std::u16string_view path);
  bool PathExists(std::u16string_view path) const;
  win::DWORD Attributes(std::u16string_view path) const;  // INVALID_FILE_ATTRIBUTES if absent
  // Deletions registered with MoveFileExW(..., MOVEFILE_DELAY_UNTIL_REBOOT),
  // in registration order, paths as registered.
  std::vector<std::u16string> PendingDeletions() const;
  // Every file and folder, one line each, sorted: "C:\Windows\ [D]" style.
  std::string DescribeFiles() const;

  // --- Processes and programs -----------------------------------------------
  win::DWORD AddProcess(std::u16string_view imagePath, ProcessOptions options = {});
  bool IsRunning(win::DWORD pid) const;
  std::vector<SimProcess> Processes() const;
  // The program itself: its pid and executable path.
  void SetSelf(win::DWORD pid, std::u16string_view imagePath);
  void SetProgramBehaviour(std::u16string_view applicationPath, ProgramBehaviour behaviour);
  const std::vector<StartedProgram>& StartedPrograms() const;
  const std::vector<win::DWORD>& Sleeps() const;

  // --- Environment and shell folders ----------------------------------------
  void SetEnvironment(std::u16string_view name, std::u16string_view value);
  void UnsetEnvironment(std::u16string_view name);
  void SetShellFolder(int csidl, std::u16string_view path);
  void FailShellFolder(int csidl);  // SHGetSpecialFolderPathW returns FALSE for it

  // --- Module resources -------------------------------------------------------
  void SetResource(std::u16string_view name, std::u16string_view type,
                   std::vector<std::uint8_t> bytes);
  // A resource filed under a numeric type (10 is the predefined RCDATA).
  void SetResourceWithNumericType(std::u16string_view name, int type,
                                  std::vector<std::uint8_t> bytes);
  void FailLoadResource();
  void FailLockResource();

  // --- Dialogue and console ---------------------------------------------------
  // Answers for the next message boxes, in order. When none is queued, a box
  // returns `0` (as a box that cannot be shown does).
  void QueueAnswers(std::vector<int> answers);
  const std::vector<MessageBoxRecord>& MessageBoxes() const;
  // Everything written to standard output, wide text as UTF-8.
  const std::string& ConsoleTranscript() const;
  // What the console shows: the transcript after the last "cls".
  std::string ConsoleScreen() const;
  // Commands handed to the command interpreter, in order ("pause", "cls").
  const std::vector<std::string>& Commands() const;

  // --- Privileges and restart -----------------------------------------------
  // Privileges the token holds (all of them by default, as for an administrator;
  // SeChangeNotifyPrivilege, SeImpersonatePrivilege and SeCreateGlobalPrivilege
  // are enabled from the start, as in an elevated token).
  void SetTokenPrivilege(std::u16string_view name, bool held);
  void FailOpenProcessToken();
  std::vector<std::u16string> EnabledPrivileges() const;
  // Restart requests Windows accepted (ExitWindowsEx with SeShutdownPrivilege
  // enabled); refused ones show only in the call log.
  struct RestartRequest {
    win::UINT flags;
    win::DWORD reason;
  };
  const std::vector<RestartRequest>& RestartRequests() const;
  // The error mode the program set (0 until it sets one).
  win::UINT ErrorMode() const;
  // Carries out the registered deletions in order (a folder only if empty by
  // then), clears the list, releases file locks and ends every process except
  // the system's.
  void Restart();

  // --- Call accounting -------------------------------------------------------
  std::size_t CallCount(std::string_view function) const;  // 0 for unknown names
  std::size_t TotalCalls() const;
  // One line per call: the function name and its main arguments, e.g.
  // "RegOpenKeyExW(HKEY_LOCAL_MACHINE, SOFTWARE\X, 0, 0x20019) = 0".
  const std::vector<std::string>& CallLog() const;
  void ResetCallLog();  // clears the log and every count
  void SetCallLogging(bool enabled);  // counting continues when logging is off

  // --- Platform ----------------------------------------------------------------
  win::DWORD GetLastError() override;
  win::HRSRC FindResourceW(win::HMODULE module, const char16_t* name,
                           const char16_t* type) override;
  win::DWORD SizeofResource(win::HMODULE module, win::HRSRC resource) override;
  win::HGLOBAL LoadResource(win::HMODULE module, win::HRSRC resource) override;
  const void* LockResource(win::HGLOBAL data) override;
  win::DWORD GetModuleFileNameW(win::HMODULE module, char16_t* buffer, win::DWORD size) override;
  int MessageBoxW(win::HWND owner, const char16_t* text, const char16_t* caption,
                  win::UINT type) override;
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
  win::BOOL IsProcessCritical(win::HANDLE process, win::BOOL* critical) override;
  win::DWORD GetCurrentProcessId() override;
  win::UINT SetErrorMode(win::UINT mode) override;
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
  int MultiByteToWideChar(win::UINT codePage, win::DWORD flags, const char* multiByte,
                          int multiByteLength, char16_t* wide, int wideLength) override;

  // Number of handles (keys, processes, snapshots, finds, tokens) not yet closed.
  std::size_t OpenHandleCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Installs a machine as the platform for the lifetime of the object and
// restores the previous one afterwards.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& platform) : previous_(InstallPlatform(&platform)) {}
  ~ScopedPlatform() { InstallPlatform(previous_); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

}  // namespace quenwick::sim
