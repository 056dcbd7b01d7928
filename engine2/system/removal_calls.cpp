#include "system/removal_calls.h"

#include "platform/platform.h"
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

// True when some name in the path ends in a dot or a space. The classic path
// rules drop such endings ("x." names "x"), so a file that a rogue created
// with one could not be reached without the long form.
bool HasNameThatClassicRulesChange(std::u16string_view path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const bool endOfName = i + 1 == path.size() || path[i + 1] == u'\\';
    if (!endOfName) continue;
    if (path[i] == u' ') return true;
    // "." and ".." are relative names, not names that end in a dot.
    if (path[i] == u'.') {
      const std::size_t start = path.rfind(u'\\', i);
      const std::u16string_view name =
          path.substr(start == std::u16string_view::npos ? 0 : start + 1,
                      i + 1 - (start == std::u16string_view::npos ? 0 : start + 1));
      if (name != u"." && name != u"..") return true;
    }
  }
  return false;
}

// Whether the last guarded call was refused rather than made.
bool lastCallRefused = false;

// Records the guard's answer for LastError(); true when the call may be made.
bool Allowed(bool refused) {
  lastCallRefused = refused;
  return !refused;
}

}  // namespace

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

win::DWORD LastError() { return lastCallRefused ? win::ERROR_ACCESS_DENIED : Sys().GetLastError(); }

win::DWORD ReadAttributes(const std::u16string& path) {
  return Sys().GetFileAttributesW(CallPath(path).c_str());
}

bool WriteAttributes(const std::u16string& path, win::DWORD attributes) {
  if (!Allowed(RefusesEntry(path))) return false;
  return Sys().SetFileAttributesW(CallPath(path).c_str(), attributes) != 0;
}

bool DeleteFileEntry(const std::u16string& path) {
  if (!Allowed(RefusesEntry(path))) return false;
  return Sys().DeleteFileW(CallPath(path).c_str()) != 0;
}

bool RemoveFolderEntry(const std::u16string& path) {
  if (!Allowed(RefusesEntry(path))) return false;
  return Sys().RemoveDirectoryW(CallPath(path).c_str()) != 0;
}

bool RegisterDeletionAtRestart(const std::u16string& path) {
  if (!Allowed(RefusesNamedPath(path))) return false;
  constexpr win::DWORD kDeleteAtRestart =
      win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT;
  return Sys().MoveFileExW(CallPath(path).c_str(), nullptr, kDeleteAtRestart) != 0;
}

win::HFIND OpenSearch(const std::u16string& pattern, win::WIN32_FIND_DATAW* data) {
  return Sys().FindFirstFileW(CallPath(pattern).c_str(), data);
}

}  // namespace quenwick::removal
