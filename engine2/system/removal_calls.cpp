#include "system/removal_calls.h"

#include "platform/platform.h"
#include "system/named_path.h"
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

// The result of a call that was made.
CallResult Made(bool succeeded) {
  if (succeeded) return {true, 0};
  return {false, Sys().GetLastError()};
}

// The form a call takes, or nothing when the path is too long for any call.
std::optional<std::u16string> CallForm(std::u16string_view path) {
  std::u16string call = CallPath(path);
  if (call.size() >= kMaxLongPath) return std::nullopt;
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

std::optional<CheckedPath> CheckNamed(std::u16string_view path) {
  std::u16string resolved = ResolveNamedPath(path);
  if (RefusesNamedPath(resolved)) return std::nullopt;
  std::optional<std::u16string> call = CallForm(resolved);
  if (!call) return std::nullopt;
  return CheckedPath(std::move(resolved), std::move(*call), true);
}

std::optional<CheckedPath> CheckEntry(const CheckedPath& folder, std::u16string_view name) {
  std::u16string path = JoinPath(folder.text(), name);
  if (RefusesEntry(path)) return std::nullopt;
  std::optional<std::u16string> call = CallForm(path);
  if (!call) return std::nullopt;
  return CheckedPath(std::move(path), std::move(*call), false);
}

win::DWORD ReadAttributes(std::u16string_view path) {
  const std::optional<std::u16string> call = CallForm(ResolveNamedPath(path));
  return call ? Sys().GetFileAttributesW(call->c_str()) : win::INVALID_FILE_ATTRIBUTES;
}

win::DWORD ReadAttributes(const CheckedPath& path) { return Sys().GetFileAttributesW(path.call().c_str()); }

CallResult WriteAttributes(const CheckedPath& path, win::DWORD attributes) {
  return Made(Sys().SetFileAttributesW(path.call().c_str(), attributes) != 0);
}

CallResult DeleteFileEntry(const CheckedPath& path) { return Made(Sys().DeleteFileW(path.call().c_str()) != 0); }

CallResult RemoveFolderEntry(const CheckedPath& path) {
  return Made(Sys().RemoveDirectoryW(path.call().c_str()) != 0);
}

CallResult RegisterDeletionAtRestart(const CheckedPath& path) {
  if (!path.named() && RefusesNamedPath(path.text())) return {false, win::ERROR_ACCESS_DENIED};
  if (GuardScope::AlreadyRegistered(path.text())) return {true, 0};
  constexpr win::DWORD kDeleteAtRestart =
      win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_DELAY_UNTIL_REBOOT;
  const CallResult result = Made(Sys().MoveFileExW(path.call().c_str(), nullptr, kDeleteAtRestart) != 0);
  if (result.done) GuardScope::RememberRegistered(path.text());
  return result;
}

win::HFIND OpenSearch(const CheckedPath& folder, win::WIN32_FIND_DATAW* data) {
  const std::optional<std::u16string> pattern = CallForm(JoinPath(folder.text(), u"*.*"));
  return pattern ? Sys().FindFirstFileW(pattern->c_str(), data) : win::INVALID_FIND_HANDLE;
}

}  // namespace quenwick::removal
