// Compile-time proof that win_types.h mirrors <windows.h>: every constant has
// the Windows value and every structure the Windows layout, so the forwarding
// calls can pass our values and structures to Windows as they are.
//
// Our constants are captured under other names first: once <windows.h> is in,
// its macros would rewrite quenwick::win::ERROR_SUCCESS into nonsense.
#include <cstddef>

#include "platform/win_types.h"

// One line per constant of win_types.h (root keys and INVALID_HANDLE_VALUE
// are pointer casts in <windows.h>; a Windows-only test compares those).
#define QUENWICK_MIRRORED_CONSTANTS(X)                                                       \
  X(ERROR_SUCCESS) X(ERROR_INVALID_FUNCTION) X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND)  \
  X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE) X(ERROR_NOT_ENOUGH_MEMORY)                   \
  X(ERROR_NO_MORE_FILES) X(ERROR_WRITE_PROTECT) X(ERROR_SHARING_VIOLATION)                    \
  X(ERROR_INVALID_PARAMETER) X(ERROR_INSUFFICIENT_BUFFER) X(ERROR_INVALID_NAME)               \
  X(ERROR_DIR_NOT_EMPTY) X(ERROR_ALREADY_EXISTS) X(ERROR_FILENAME_EXCED_RANGE)                \
  X(ERROR_MORE_DATA) X(ERROR_NO_MORE_ITEMS) X(ERROR_NOT_ALL_ASSIGNED)                         \
  X(ERROR_NO_SUCH_PRIVILEGE) X(ERROR_KEY_DELETED) X(ERROR_RESOURCE_DATA_NOT_FOUND)            \
  X(ERROR_RESOURCE_TYPE_NOT_FOUND) X(ERROR_RESOURCE_NAME_NOT_FOUND)                           \
  X(REG_NONE) X(REG_SZ) X(REG_EXPAND_SZ) X(REG_BINARY) X(REG_DWORD) X(REG_LINK)               \
  X(REG_MULTI_SZ) X(REG_QWORD)                                                                \
  X(KEY_QUERY_VALUE) X(KEY_SET_VALUE) X(KEY_CREATE_SUB_KEY) X(KEY_ENUMERATE_SUB_KEYS)         \
  X(KEY_NOTIFY) X(KEY_CREATE_LINK) X(KEY_WOW64_64KEY) X(KEY_WOW64_32KEY) X(DELETE)            \
  X(READ_CONTROL) X(KEY_READ) X(KEY_WRITE) X(KEY_ALL_ACCESS)                                  \
  X(REG_OPTION_NON_VOLATILE) X(REG_OPTION_CREATE_LINK) X(REG_OPTION_OPEN_LINK)                \
  X(REG_CREATED_NEW_KEY) X(REG_OPENED_EXISTING_KEY)                                           \
  X(INVALID_FILE_ATTRIBUTES) X(FILE_ATTRIBUTE_READONLY) X(FILE_ATTRIBUTE_HIDDEN)              \
  X(FILE_ATTRIBUTE_SYSTEM) X(FILE_ATTRIBUTE_DIRECTORY) X(FILE_ATTRIBUTE_ARCHIVE)              \
  X(FILE_ATTRIBUTE_NORMAL) X(FILE_ATTRIBUTE_REPARSE_POINT) X(MOVEFILE_REPLACE_EXISTING)       \
  X(MOVEFILE_DELAY_UNTIL_REBOOT) X(IO_REPARSE_TAG_MOUNT_POINT) X(IO_REPARSE_TAG_SYMLINK)      \
  X(MAX_PATH)                                                                                 \
  X(TH32CS_SNAPPROCESS) X(PROCESS_TERMINATE) X(PROCESS_VM_READ) X(PROCESS_QUERY_INFORMATION)  \
  X(PROCESS_QUERY_LIMITED_INFORMATION) X(SYNCHRONIZE) X(WAIT_OBJECT_0) X(WAIT_TIMEOUT)        \
  X(WAIT_FAILED) X(INFINITE)                                                                  \
  X(TOKEN_ADJUST_PRIVILEGES) X(TOKEN_QUERY) X(SE_PRIVILEGE_ENABLED) X(EWX_REBOOT)             \
  X(EWX_FORCE) X(SHTDN_REASON_MAJOR_APPLICATION)                                              \
  X(MB_OK) X(MB_YESNO) X(IDOK) X(IDCANCEL) X(IDYES) X(IDNO) X(CP_ACP) X(CP_UTF8)              \
  X(CSIDL_DESKTOP) X(CSIDL_PROGRAMS) X(CSIDL_PERSONAL) X(CSIDL_STARTUP) X(CSIDL_STARTMENU)    \
  X(CSIDL_MYDOCUMENTS) X(CSIDL_DESKTOPDIRECTORY) X(CSIDL_COMMON_STARTMENU)                    \
  X(CSIDL_COMMON_PROGRAMS) X(CSIDL_COMMON_STARTUP) X(CSIDL_COMMON_DESKTOPDIRECTORY)           \
  X(CSIDL_APPDATA) X(CSIDL_LOCAL_APPDATA) X(CSIDL_COMMON_APPDATA) X(CSIDL_WINDOWS)            \
  X(CSIDL_SYSTEM) X(CSIDL_PROGRAM_FILES) X(CSIDL_PROFILE) X(CSIDL_PROGRAM_FILESX86)           \
  X(CSIDL_PROGRAM_FILES_COMMON) X(CSIDL_COMMON_DOCUMENTS)

// The argument next to ## is not macro-expanded, so kMirrored_DELETE is
// always our name, while the plain use below is the Windows macro.
#define QUENWICK_CAPTURE(name) constexpr auto kMirrored_##name = quenwick::win::name;
namespace {
QUENWICK_MIRRORED_CONSTANTS(QUENWICK_CAPTURE)
}  // namespace
#undef QUENWICK_CAPTURE

#include "platform/win32/native.h"

// Compared as wide signed integers: every value fits, so a difference in
// value or in sign shows.
#define QUENWICK_CHECK(name)                                                            \
  static_assert(static_cast<long long>(kMirrored_##name) == static_cast<long long>(name), \
                "win_types.h disagrees with <windows.h> on " #name);
QUENWICK_MIRRORED_CONSTANTS(QUENWICK_CHECK)
#undef QUENWICK_CHECK
#undef QUENWICK_MIRRORED_CONSTANTS

namespace {

namespace ours = quenwick::win;

template <class Ours, class Native>
constexpr bool kSameSize = sizeof(Ours) == sizeof(Native) && alignof(Ours) == alignof(Native);

#define QUENWICK_SAME_OFFSET(type, field) \
  static_assert(offsetof(ours::type, field) == offsetof(::type, field), #type "::" #field)

static_assert(kSameSize<ours::FILETIME, ::FILETIME>);
QUENWICK_SAME_OFFSET(FILETIME, dwHighDateTime);

static_assert(kSameSize<ours::WIN32_FIND_DATAW, ::WIN32_FIND_DATAW>);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, dwFileAttributes);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, ftCreationTime);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, ftLastAccessTime);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, ftLastWriteTime);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, nFileSizeHigh);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, nFileSizeLow);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, dwReserved0);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, dwReserved1);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, cFileName);
QUENWICK_SAME_OFFSET(WIN32_FIND_DATAW, cAlternateFileName);

static_assert(kSameSize<ours::PROCESSENTRY32W, ::PROCESSENTRY32W>);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, dwSize);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, cntUsage);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, th32ProcessID);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, th32DefaultHeapID);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, th32ModuleID);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, cntThreads);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, th32ParentProcessID);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, pcPriClassBase);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, dwFlags);
QUENWICK_SAME_OFFSET(PROCESSENTRY32W, szExeFile);

static_assert(kSameSize<ours::STARTUPINFOW, ::STARTUPINFOW>);
QUENWICK_SAME_OFFSET(STARTUPINFOW, cb);
QUENWICK_SAME_OFFSET(STARTUPINFOW, lpReserved);
QUENWICK_SAME_OFFSET(STARTUPINFOW, lpDesktop);
QUENWICK_SAME_OFFSET(STARTUPINFOW, lpTitle);
QUENWICK_SAME_OFFSET(STARTUPINFOW, dwX);
QUENWICK_SAME_OFFSET(STARTUPINFOW, dwFillAttribute);
QUENWICK_SAME_OFFSET(STARTUPINFOW, dwFlags);
QUENWICK_SAME_OFFSET(STARTUPINFOW, wShowWindow);
QUENWICK_SAME_OFFSET(STARTUPINFOW, cbReserved2);
QUENWICK_SAME_OFFSET(STARTUPINFOW, lpReserved2);
QUENWICK_SAME_OFFSET(STARTUPINFOW, hStdInput);
QUENWICK_SAME_OFFSET(STARTUPINFOW, hStdOutput);
QUENWICK_SAME_OFFSET(STARTUPINFOW, hStdError);

static_assert(kSameSize<ours::PROCESS_INFORMATION, ::PROCESS_INFORMATION>);
QUENWICK_SAME_OFFSET(PROCESS_INFORMATION, hProcess);
QUENWICK_SAME_OFFSET(PROCESS_INFORMATION, hThread);
QUENWICK_SAME_OFFSET(PROCESS_INFORMATION, dwProcessId);
QUENWICK_SAME_OFFSET(PROCESS_INFORMATION, dwThreadId);

static_assert(kSameSize<ours::LUID, ::LUID>);
QUENWICK_SAME_OFFSET(LUID, HighPart);
static_assert(kSameSize<ours::LUID_AND_ATTRIBUTES, ::LUID_AND_ATTRIBUTES>);
QUENWICK_SAME_OFFSET(LUID_AND_ATTRIBUTES, Attributes);
static_assert(kSameSize<ours::TOKEN_PRIVILEGES, ::TOKEN_PRIVILEGES>);
QUENWICK_SAME_OFFSET(TOKEN_PRIVILEGES, Privileges);

#undef QUENWICK_SAME_OFFSET

// Handles are passed by value as pointer-sized integers.
static_assert(sizeof(ours::HANDLE) == sizeof(::HANDLE));
static_assert(sizeof(ours::HKEY) == sizeof(::HKEY));
static_assert(sizeof(ours::DWORD) == sizeof(::DWORD));
static_assert(sizeof(ours::LONG) == sizeof(::LONG));
static_assert(sizeof(ours::BOOL) == sizeof(::BOOL));
static_assert(sizeof(ours::ULONG_PTR) == sizeof(::ULONG_PTR));

}  // namespace
