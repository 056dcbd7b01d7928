// Call accounting for the simulated machine: one counter per Platform method
// (an array slot, cheap enough for benchmarks of millions of calls) and the
// formatting of call-log lines, which runs only while logging is on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace quenwick::sim::detail {

#define QUENWICK_SIM_CALLS(X)                                                                  \
  X(GetLastError)                                                                              \
  X(FindResourceW) X(SizeofResource) X(LoadResource) X(LockResource) X(GetModuleFileNameW)     \
  X(MessageBoxW) X(WriteConsole) X(WriteConsoleWide) X(RunCommandInterpreter)                 \
  X(RegOpenKeyExW) X(RegQueryValueExW) X(RegEnumKeyExW) X(RegEnumValueW) X(RegCreateKeyExW)    \
  X(RegSetValueExW) X(RegDeleteKeyW) X(RegDeleteValueW) X(RegCloseKey) X(DeleteKeyByHandle)    \
  X(GetFileAttributesW) X(SetFileAttributesW) X(DeleteFileW) X(RemoveDirectoryW)               \
  X(MoveFileExW) X(FindFirstFileW) X(FindNextFileW) X(FindClose) X(GetLongPathNameW)           \
  X(GetFullPathNameW) X(SfcIsFileProtected) X(GetLogicalDriveStringsW)                         \
  X(SHGetSpecialFolderPathW) X(ExpandEnvironmentStringsW)                                      \
  X(CreateToolhelp32Snapshot) X(Process32FirstW) X(Process32NextW) X(OpenProcess)              \
  X(GetModuleFileNameExW) X(TerminateProcess) X(IsProcessCritical) X(GetCurrentProcessId)      \
  X(GetCurrentProcess) X(Sleep) X(CreateProcessW) X(WaitForSingleObject) X(CloseHandle)        \
  X(OpenProcessToken) X(LookupPrivilegeValueW) X(AdjustTokenPrivileges) X(ExitWindowsEx)       \
  X(SetErrorMode)                                                                              \
  X(MultiByteToWideChar)

enum class Call : std::uint8_t {
#define QUENWICK_SIM_CALL_ENUM(name) name,
  QUENWICK_SIM_CALLS(QUENWICK_SIM_CALL_ENUM)
#undef QUENWICK_SIM_CALL_ENUM
      kCount
};

inline constexpr std::size_t kCallCount = static_cast<std::size_t>(Call::kCount);

std::string_view CallName(Call call);
std::optional<Call> CallByName(std::string_view name);

// Pieces of a log line.
std::string Text(const char16_t* text);  // UTF-8, or "NULL"
std::string Text(std::u16string_view text);
std::string Hex(std::uint64_t value);
std::string Dec(std::int64_t value);
std::string KeyName(win::HKEY key);  // root name, or the handle in hex
std::string Pointer(const void* p);  // "NULL" or "ptr"

// "Name(a, b, c) = result".
std::string FormatCall(Call call, std::initializer_list<std::string> arguments,
                       const std::string& result);

}  // namespace quenwick::sim::detail
