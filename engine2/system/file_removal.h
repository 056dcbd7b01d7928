// Removing files and folder trees, with deletion at the next start as the
// fallback for whatever is locked, in use or protected.
//
// Every operation returns 1 when the object is gone, was already gone, or is
// registered for deletion at the next start; 0 otherwise. Paths have had
// their macros expanded; a text path is resolved and judged by the guard
// where it enters (removal_calls.h CheckNamed), and left alone when refused.
//
// The folders given here are made by hostile software. A junction or symbolic
// link, found inside a tree or named directly, is removed as the link and
// never followed, so nothing outside the named object is deleted or
// registered for deletion. Paths of any length are handled.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"
#include "system/removal_calls.h"

namespace quenwick {

[[nodiscard]] std::int32_t RemovePath(const std::u16string& path);
[[nodiscard]] std::int32_t DeleteFileOrSchedule(const std::u16string& path);
[[nodiscard]] std::int32_t RemoveFolderTree(const std::u16string& folder);
[[nodiscard]] std::int32_t RemoveDirectoryOrSchedule(const std::u16string& folder);
[[nodiscard]] std::int32_t ScheduleDeleteAtRestart(const std::u16string& path);

// The same for a path already checked (the folder walk's entries).
[[nodiscard]] std::int32_t RemovePath(const removal::CheckedPath& path);
[[nodiscard]] std::int32_t DeleteFileOrSchedule(const removal::CheckedPath& path);
[[nodiscard]] std::int32_t RemoveFolderTree(const removal::CheckedPath& folder);
[[nodiscard]] std::int32_t RemoveDirectoryOrSchedule(const removal::CheckedPath& folder);
[[nodiscard]] std::int32_t ScheduleDeleteAtRestart(const removal::CheckedPath& path);

// GetFileAttributesW of what the path names (named_path.h), in the form the
// removal calls use: detection finds exactly what deletion removes.
win::DWORD PathAttributes(const std::u16string& path);

}  // namespace quenwick
