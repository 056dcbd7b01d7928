#include "system/protected_places.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "base/lexical_path.h"
#include "base/text.h"
#include "platform/platform.h"
#include "system/registry_key.h"
#include "system/removal_calls.h"
#include "system/safety_tables.h"
#include "system/system_text.h"

namespace quenwick {
namespace {


constexpr char16_t kProfileListKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kWowSoftware = u"software\\wow6432node";

// A key directly under HKEY_CLASSES_ROOT that every program shares (`key`
// relative to it, normalised); the class keys of single programs are not.
bool IsSharedClassKey(std::u16string_view key) {
  if (key.find(u'\\') != std::u16string_view::npos) return false;
  for (std::u16string_view shared : safety::kSharedClassKeys) {
    if (key == shared) return true;
  }
  return false;
}

// The long form of what `path` names, or `path` itself when it cannot be had.
std::u16string LongForm(const std::u16string& path) { return LongPathName(path).value_or(path); }

std::u16string ShellFolder(int csidl) { return ShellFolderPath(csidl).value_or(std::u16string()); }

std::u16string ReadMachineString(std::u16string_view subkey, std::u16string_view name) {
  return ReadStringValue(win::HKEY_LOCAL_MACHINE, subkey, name).value_or(std::u16string());
}

void AddProfileFolders(std::vector<std::u16string>& out) {
  for (const char16_t* name : {u"ProfilesDirectory", u"Public", u"Default", u"AllUsersProfile"}) {
    out.push_back(ReadMachineString(kProfileListKey, name));
  }
  // A profile's SID is far shorter; a longer name is no profile.
  constexpr std::size_t kMaxProfileKeyName = 255;
  ForEachSubkeyName(win::HKEY_LOCAL_MACHINE, kProfileListKey, kMaxProfileKeyName, [&](std::u16string_view sid) {
    out.push_back(ReadMachineString(std::u16string(kProfileListKey) + u"\\" + std::u16string(sid), u"ProfileImagePath"));
    return true;
  });
}

void AddDriveRoots(std::vector<std::u16string>& out) {
  char16_t buffer[512] = {};
  const win::DWORD length = Sys().GetLogicalDriveStringsW(511, buffer);
  if (length == 0 || length > 511) return;
  for (const char16_t* p = buffer; *p != 0; p += std::u16string_view(p).size() + 1) {
    out.emplace_back(p);
  }
}

std::u16string NormalizeKey(std::u16string_view subkeyPath) {
  std::u16string out;
  for (char16_t c : subkeyPath) {
    if (c == u'\\' && (out.empty() || out.back() == u'\\')) continue;
    out += ToLowerAscii(c);
  }
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

}  // namespace

bool IsSameOrAncestorPath(std::u16string_view ancestor, std::u16string_view path) {
  if (ancestor.empty() || path.size() < ancestor.size()) return false;
  if (path.substr(0, ancestor.size()) != ancestor) return false;
  return path.size() == ancestor.size() || ancestor.back() == u'\\' ||
         path[ancestor.size()] == u'\\';
}

std::u16string NormalizePathLexically(std::u16string_view path) {
  std::u16string resolved = ToLowerAscii(ResolvePathDots(path));
  if (resolved.size() == 2 && resolved[1] == u':') resolved += u'\\';
  return resolved;
}

std::u16string NormalizePathForComparison(std::u16string_view path) {
  // Dots are resolved before the long form is asked for, so that it is the
  // long form of the place the path really names.
  const std::u16string resolved = ResolvePathDots(path);
  if (resolved.empty()) return resolved;
  return NormalizePathLexically(LongForm(resolved));
}

bool IsRootedNormalPath(std::u16string_view normal) {
  return normal.size() >= 3 && ((normal[1] == u':' && normal[2] == u'\\') ||
                                (normal[0] == u'\\' && normal[1] == u'\\'));
}

std::u16string OwnExecutablePath() {
  std::u16string buffer(32768, u'\0');
  const win::DWORD length =
      Sys().GetModuleFileNameW(win::HMODULE{}, buffer.data(), static_cast<win::DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return NormalizePathForComparison(buffer);
}

std::vector<std::u16string> ProtectedFolders() {
  std::vector<std::u16string> out;
  // A drive root is its own normal form once lower-cased: asking the file
  // system for its long form would touch an empty floppy or card slot (a
  // "no disk" box) or wait on a disconnected network drive.
  std::vector<std::u16string> roots;
  AddDriveRoots(roots);
  for (const auto& root : roots) out.push_back(NormalizePathLexically(root));

  std::vector<std::u16string> raw;
  for (const safety::FolderMacro& macro : safety::kFolderMacros) raw.push_back(ShellFolder(macro.csidl));
  for (int csidl : safety::kOtherProtectedShellFolders) raw.push_back(ShellFolder(csidl));
  for (const safety::ProtectedSubfolder& sub : safety::kProtectedSubfolders) {
    const std::u16string base = ShellFolder(sub.csidl);
    if (!base.empty()) raw.push_back(base + u"\\" + std::u16string(sub.relative));
  }
  AddProfileFolders(raw);

  for (const auto& folder : raw) {
    if (folder.empty()) continue;
    std::u16string normal = NormalizePathForComparison(folder);
    if (!normal.empty()) out.push_back(std::move(normal));
  }
  // The folders that hold protected folders are refused by the guard itself
  // (a folder that contains a protected one is refused).
  return out;
}

bool IsProtectedKey(win::HKEY root, std::u16string_view subkeyPath) {
  const std::u16string key = NormalizeKey(subkeyPath);
  if (key.empty()) return true;  // a root itself
  if (root == win::HKEY_CLASSES_ROOT) return IsSharedClassKey(key);
  if (root != win::HKEY_LOCAL_MACHINE && root != win::HKEY_CURRENT_USER) return true;
  if (key.find(u'\\') == std::u16string::npos) return true;  // depth one
  // The 32-bit view holds the same registrations as the native one.
  std::u16string_view native = key;
  std::u16string folded;
  if (IsSameOrAncestorPath(kWowSoftware, key)) {
    folded = u"software" + key.substr(kWowSoftware.size());
    native = folded;
  }
  for (std::u16string_view protectedKey : safety::kProtectedKeys) {
    if (IsSameOrAncestorPath(native, protectedKey)) return true;
  }
  // HKEY_CLASSES_ROOT is made of these keys: the same registrations are
  // shared there.
  for (std::u16string_view classes : safety::kClassesKeys) {
    if (key.size() > classes.size() + 1 && IsSameOrAncestorPath(classes, key) &&
        IsSharedClassKey(std::u16string_view(key).substr(classes.size() + 1))) {
      return true;
    }
  }
  return false;
}

bool IsProtectedProcess(win::DWORD processId, std::u16string_view imagePath, win::HANDLE process) {
  Platform& os = Sys();
  if (processId == os.GetCurrentProcessId()) return true;
  if (process) {
    win::BOOL critical = 0;
    if (os.IsProcessCritical(process, &critical) && critical) return true;
  }
  // The names are compared first, so that Windows' folder is only looked up
  // for a process that bears one of them.
  const std::u16string image = NormalizePathLexically(imagePath);
  const std::size_t slash = image.rfind(u'\\');
  const std::u16string_view name =
      slash == std::u16string::npos ? std::u16string_view(image) : std::u16string_view(image).substr(slash + 1);
  for (const safety::CriticalProcess& program : safety::kCriticalProcesses) {
    if (name != program.name) continue;
    const std::u16string folder = NormalizePathForComparison(ShellFolder(program.csidl));
    return !folder.empty() && NormalizePathForComparison(imagePath) == folder + u"\\" + std::u16string(name);
  }
  return false;
}

}  // namespace quenwick
