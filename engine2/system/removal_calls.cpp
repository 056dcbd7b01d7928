#include "system/removal_calls.h"

#include <optional>

#include "platform/platform.h"
#include "system/protected_places.h"
#include "system/removal_guard.h"

namespace quenwick::removal {
namespace {

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";
constexpr std::u16string_view kLongUncPrefix = u"\\\\?\\UNC\\";
constexpr std::u16string_view kDevicePrefix = u"\\\\.\\";

bool IsDriveAbsolute(std::u16string_view path) {
  return path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                              (path[0] >= u'a' && path[0] <= u'z')) &&
         path[1] == u':' && path[2] == u'\\';
}

bool IsNetworkPath(std::u16string_view path) {
  return path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'\\';
}

// The error of the last call when it was not made (0 when it was).
win::DWORD lastOwnError = 0;

// The path to hand to the call, or nothing when the guard refuses `path` or
// it is too long for any call; LastError() tells which.
std::optional<std::u16string> Callable(const std::u16string& path, bool refused) {
  if (refused) {
    lastOwnError = win::ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  std::u16string call = CallPath(path);
  if (call.size() >= kMaxLongPath) {
    lastOwnError = win::ERROR_FILENAME_EXCED_RANGE;
    return std::nullopt;
  }
  lastOwnError = 0;
  return call;
}

}  // namespace

bool HasNameThatClassicRulesChange(std::u16string_view path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const bool endOfName = i + 1 == path.size() || path[i + 1] == u'\\';
    if (!endOfName) continue;
    if (path[i] == u' ') return true;
    // "." and ".." are relative names, not names that end in a dot.
    if (path[i] == u'.') {
      const std::size_t start = path.rfind(u'\\', i);
      const std::size_t from = start == std::u16string_view::npos ? 0 : start + 1;
      const std::u16string_view name = path.substr(from, i + 1 - from);
      if (name != u"." && name != u"..") return true;
    }
  }
  return false;
}

std::u16string CallPath(std::u16string_view path) {
  if (path.starts_with(kLongPrefix) || path.starts_with(kDevicePrefix)) return std::u16string(path);
  const bool drive = IsDriveAbsolute(path);
  const bool network = IsNetworkPath(path);
  if (!drive && !network) return std::u16string(path);
  if (path.size() < kMaxPath && !HasNameThatClassicRulesChange(path)) return std::u16string(path);
  std::u16string out;
  if (drive) {
    out.reserve(kLongPrefix.size() + path.size());
    out.append(kLongPrefix).append(path);
  } else {
    out.reserve(kLongUncPrefix.size() + path.size());
    out.append(kLongUncPrefix).append(path.substr(2));
  }
  return out;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string out;
  out.reserve(folder.size() + 1 + name.size());
  out.append(folder);
  if (!out.empty() && out.back() != u'\\') out.push_back(u'\\');
  out.append(name);
  return out;
}

win::DWORD LastError() { return lastOwnError != 0 ? lastOwnError : Sys().GetLastError(); }

win::DWORD ReadAttributes(const std::u16string& path) {
  const auto call = Callable(path, false);
  return call ? Sys().GetFileAttributesW(call->c_str()) : win::INVALID_FILE_ATTRIBUTES;
}

bool WriteAttributes(const std::u16string& path, win::DWORD attributes) {
  const auto call = Callable(path, RefusesEntry(path));
  return call && Sys().SetFileAttributesW(call->c_str(), attributes) != 0;
}

bool DeleteFileEntry(const std::u16string& path) {
  const auto call = Callable(path, RefusesEntry(path));
  return call && Sys().DeleteFileW(call->c_str()) != 0;
}

bool RemoveFolderEntry(const std::u16string& path) {
  const auto call = Callable(path, RefusesEntry(path));
  return call && Sys().RemoveDirectoryW(call->c_str()) != 0;
}

bool RegisterDeletionAtRestart(const std::u16string& path) {
  const auto call = Callable(path, RefusesNamedPath(path));
  if (!call) return false;
  if (GuardScope::AlreadyRegistered(path)) return true;
  constexpr win::DWORD kDeleteAtRestart =
      win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT;
  if (Sys().MoveFileExW(call->c_str(), nullptr, kDeleteAtRestart) == 0) return false;
  GuardScope::RememberRegistered(path);
  return true;
}

win::HFIND OpenSearch(const std::u16string& pattern, win::WIN32_FIND_DATAW* data) {
  const auto call = Callable(pattern, false);
  return call ? Sys().FindFirstFileW(call->c_str(), data) : win::INVALID_FIND_HANDLE;
}

}  // namespace quenwick::removal
