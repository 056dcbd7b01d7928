// What the program never deletes or ends, whatever a Definition says.
//
// The program runs as an administrator and takes most of its paths from the
// infected machine itself (autostart values, uninstall strings, key names),
// so a hostile or damaged text must not turn a cleaning step into the
// deletion of a drive, of Windows, of another program's registration or into
// the end of a system process. Every deletion, registration for deletion at
// the next start and termination passes one of these checks. The places are
// resolved on the running machine at the moment of the check.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace quenwick {

// A path in the form used for comparisons: "\\?\" dropped, "/" as "\", runs
// of "\" collapsed, "." and ".." resolved, the long form of what exists, A-Z
// in lower case, no trailing backslash except after a drive ("c:\").
std::u16string NormalizePathForComparison(std::u16string_view path);

// The same without asking the file system for the long form: for paths built
// from one that was normalised in full and names read from the file system.
std::u16string NormalizePathLexically(std::u16string_view path);

// True when a normalised path is rooted (a drive or a network share), so that
// it names one place whatever the current folder is.
bool IsRootedNormalPath(std::u16string_view normal);

// True when `ancestor` is `path` or a folder that holds it (both normalised).
bool IsSameOrAncestorPath(std::u16string_view ancestor, std::u16string_view path);

// The running program's own executable, normalised (empty when unknown).
std::u16string OwnExecutablePath();

// The protected folders of this machine, normalised: drive roots, the Windows
// and system folders, the program-files and common-files folders, the common
// application-data folder, the users folder, the public and default profiles
// and every profile root, and every folder a path macro names.
std::vector<std::u16string> ProtectedFolders();

// True when `folder` is a protected folder or contains one.
bool IsProtectedFolder(std::u16string_view folder);

// True when `file` is covered by Windows Resource Protection, is the running
// program's own executable, or names a protected folder.
bool IsProtectedFile(std::u16string_view file);

// True for the roots, every key of depth one under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, the shared registration keys under HKEY_CLASSES_ROOT,
// and the well-known keys that hold other programs' entries or the system's
// settings (Run, RunOnce, Uninstall, Winlogon, Policies, Explorer, Classes,
// Services, ...) together with their ancestors.
bool IsProtectedKey(win::HKEY root, std::u16string_view subkeyPath);

// True for the program itself, the system's critical processes (csrss, smss,
// wininit, winlogon, lsass, services in the system folder) and any process
// Windows marks critical. `process` is an open handle to it (may be null).
bool IsProtectedProcess(win::DWORD processId, std::u16string_view imagePath, win::HANDLE process);

}  // namespace quenwick
