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

// The same form without asking the file system for the long form (built on
// ResolvePathDots): for paths built from one that was normalised in full and
// names read from the file system.
std::u16string NormalizePathLexically(std::u16string_view path);

// True when a normalised path is rooted (a drive or a network share), so that
// it names one place whatever the current folder is.
bool IsRootedNormalPath(std::u16string_view normal);

// True when `ancestor` is `path` or a folder that holds it (both normalised).
bool IsSameOrAncestorPath(std::u16string_view ancestor, std::u16string_view path);

// The running program's own executable, normalised (empty when unknown).
std::u16string OwnExecutablePath();

// The protected folders of this machine, normalised: drive roots, every
// folder a path macro names and the other shell folders of safety_tables.h,
// Windows' own subfolders listed there, the users folder, the public and
// default profiles and every profile root. The removal guard refuses these
// and every folder that holds one.
std::vector<std::u16string> ProtectedFolders();

// True for the roots, every key of depth one under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, the shared registration keys under HKEY_CLASSES_ROOT,
// and the well-known keys that hold other programs' entries or the system's
// settings (Run, RunOnce, Uninstall, Winlogon, Policies, Explorer, Classes,
// Services, ...) together with their ancestors.
bool IsProtectedKey(win::HKEY root, std::u16string_view subkeyPath);

// True for the program itself, Windows' critical processes of
// safety_tables.h run from Windows' own folder, and any process Windows marks
// critical. `process` is an open handle to it (may be null).
bool IsProtectedProcess(win::DWORD processId, std::u16string_view imagePath, win::HANDLE process);

}  // namespace quenwick
