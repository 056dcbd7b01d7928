// Removing files and folder trees, with deletion at the next start as the
// fallback for whatever is locked, in use or protected.
//
// Every operation returns 1 when the object is gone, was already gone, or is
// registered for deletion at the next start; 0 otherwise. Paths are already
// resolved; nothing here expands or normalises them.
#pragma once

#include <cstdint>
#include <string>

namespace quenwick {

std::int32_t RemovePath(const std::u16string& path);
std::int32_t DeleteFileOrSchedule(const std::u16string& path);
std::int32_t RemoveFolderTree(const std::u16string& folder);
std::int32_t RemoveDirectoryOrSchedule(const std::u16string& folder);
std::int32_t ScheduleDeleteAtRestart(const std::u16string& path);

}  // namespace quenwick
