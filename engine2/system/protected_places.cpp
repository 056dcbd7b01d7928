#include "system/protected_places.h"

#include <array>
#include <cstddef>

#include "engine/text.h"
#include "platform/platform.h"

namespace quenwick {
namespace {

constexpr std::size_t kMaxPath = win::MAX_PATH;
constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";

// Shell folders whose paths are protected: those of the path macros and the
// machine-wide folders beside them.
constexpr std::array<int, 24> kProtectedShellFolders = {
    win::CSIDL_DESKTOP, win::CSIDL_PROGRAMS, win::CSIDL_PERSONAL, win::CSIDL_STARTUP,
    win::CSIDL_STARTMENU, win::CSIDL_DESKTOPDIRECTORY, win::CSIDL_COMMON_STARTMENU,
    win::CSIDL_COMMON_PROGRAMS, win::CSIDL_COMMON_STARTUP, win::CSIDL_COMMON_DESKTOPDIRECTORY,
    win::CSIDL_APPDATA, win::CSIDL_LOCAL_APPDATA, win::CSIDL_COMMON_APPDATA, win::CSIDL_WINDOWS,
    win::CSIDL_SYSTEM, win::CSIDL_PROGRAM_FILES, win::CSIDL_PROFILE, win::CSIDL_PROGRAM_FILESX86,
    win::CSIDL_PROGRAM_FILES_COMMON, win::CSIDL_COMMON_DOCUMENTS,
    41,  // CSIDL_SYSTEMX86
    44,  // CSIDL_PROGRAM_FILES_COMMONX86
    39,  // CSIDL_MYPICTURES
    13,  // CSIDL_MYMUSIC
};

constexpr char16_t kProfileListKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER (relative, lower case)
// that hold other programs' entries or the system's settings. Their ancestors
// are protected too.
constexpr std::u16string_view kProtectedKeys[] = {
    u"software\\microsoft\\windows\\currentversion\\run",
    u"software\\microsoft\\windows\\currentversion\\runonce",
    u"software\\microsoft\\windows\\currentversion\\runonceex",
    u"software\\microsoft\\windows\\currentversion\\runservices",
    u"software\\microsoft\\windows\\currentversion\\runservicesonce",
    u"software\\microsoft\\windows\\currentversion\\uninstall",
    u"software\\microsoft\\windows\\currentversion\\policies",
    u"software\\microsoft\\windows\\currentversion\\policies\\explorer",
    u"software\\microsoft\\windows\\currentversion\\policies\\system",
    u"software\\microsoft\\windows\\currentversion\\explorer",
    u"software\\microsoft\\windows\\currentversion\\explorer\\browser helper objects",
    u"software\\microsoft\\windows\\currentversion\\explorer\\shellexecutehooks",
    u"software\\microsoft\\windows\\currentversion\\explorer\\sharedtaskscheduler",
    u"software\\microsoft\\windows\\currentversion\\app paths",
    u"software\\microsoft\\windows\\currentversion\\shell extensions",
    u"software\\microsoft\\windows nt\\currentversion\\winlogon",
    u"software\\microsoft\\windows nt\\currentversion\\winlogon\\notify",
    u"software\\microsoft\\windows nt\\currentversion\\image file execution options",
    u"software\\microsoft\\windows nt\\currentversion\\profilelist",
    u"software\\microsoft\\windows nt\\currentversion\\windows",
    u"software\\microsoft\\internet explorer",
    u"software\\microsoft\\security center",
    u"software\\microsoft\\windows defender",
    u"software\\policies",
    u"software\\policies\\microsoft",
    u"software\\classes",
    u"software\\clients",
    u"software\\wow6432node\\microsoft\\windows\\currentversion\\run",
    u"software\\wow6432node\\microsoft\\windows\\currentversion\\runonce",
    u"software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall",
    u"software\\wow6432node\\microsoft\\windows\\currentversion\\policies",
    u"software\\wow6432node\\microsoft\\windows\\currentversion\\explorer",
    u"software\\wow6432node\\microsoft\\windows nt\\currentversion\\winlogon",
    u"software\\wow6432node\\classes",
    u"system\\currentcontrolset\\services",
    u"system\\currentcontrolset\\control",
    u"system\\controlset001\\services",
    u"system\\controlset001\\control",
    u"system\\controlset002\\services",
    u"system\\controlset002\\control",
};

// Shared registration keys directly under HKEY_CLASSES_ROOT (lower case). A
// rogue's own class key there stays deletable.
constexpr std::u16string_view kSharedClassKeys[] = {
    u"*", u".exe", u".com", u".bat", u".cmd", u".pif", u".scr", u".lnk", u".dll", u".hta",
    u".reg", u".txt", u".htm", u".html", u".url", u".msi", u".vbs", u".js", u"appid",
    u"clsid", u"interface", u"typelib", u"exefile", u"comfile", u"batfile", u"cmdfile",
    u"piffile", u"scrfile", u"lnkfile", u"htafile", u"regfile", u"txtfile", u"htmlfile",
    u"urlfile", u"secfile", u"msifile", u"dllfile", u"vbsfile", u"jsfile", u"directory",
    u"drive", u"folder", u"allfilesystemobjects", u"http", u"https", u"ftp", u"mailto",
    u"protocols", u"mime", u"applications", u"systemfileassociations", u"wow6432node",
    u"installer", u"component categories", u"unknown", u"network",
};

// The keys that HKEY_CLASSES_ROOT is merged from, under HKEY_LOCAL_MACHINE
// and HKEY_CURRENT_USER.
constexpr std::u16string_view kClassesKeys[] = {u"software\\classes", u"software\\wow6432node\\classes"};

// A key directly under HKEY_CLASSES_ROOT that every program shares (`key`
// relative to it, normalised); the class keys of single programs are not.
bool IsSharedClassKey(std::u16string_view key) {
  if (key.find(u'\\') != std::u16string_view::npos) return false;
  for (std::u16string_view shared : kSharedClassKeys) {
    if (key == shared) return true;
  }
  return false;
}

// Critical system programs, by file name, when they run from the system folder.
constexpr std::u16string_view kCriticalPrograms[] = {
    u"csrss.exe", u"smss.exe", u"wininit.exe", u"winlogon.exe", u"lsass.exe", u"services.exe",
};

// Resolves "." and ".." and collapses separators. Keeps the drive or the UNC
// server and share as the root that ".." cannot climb above.
std::u16string ResolveDots(std::u16string_view path) {
  std::u16string root;
  std::size_t pos = 0;
  if (path.size() >= 2 && path[1] == u':') {
    root = path.substr(0, 2);
    root += u'\\';
    pos = 2;
  } else if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    root = u"\\\\";
    pos = 2;
  } else if (!path.empty() && path[0] == u'\\') {
    root = u"\\";
    pos = 1;
  }
  std::vector<std::u16string_view> parts;
  while (pos <= path.size()) {
    std::size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view part = path.substr(pos, end - pos);
    if (part.empty() || part == u".") {
      // nothing
    } else if (part == u"..") {
      // For a UNC path the server and share stay as the root.
      if (!parts.empty() && !(root == u"\\\\" && parts.size() <= 2)) parts.pop_back();
    } else {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::u16string out = root;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += u'\\';
    out += parts[i];
  }
  return out;
}

// The path without a "\\?\" prefix and with "/" as "\".
std::u16string WithBackslashes(std::u16string_view path) {
  std::u16string text(path.starts_with(kLongPathPrefix) ? path.substr(kLongPathPrefix.size()) : path);
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

std::u16string LongForm(const std::u16string& path) {
  std::u16string buffer(32768, u'\0');
  const win::DWORD length =
      Sys().GetLongPathNameW(path.c_str(), buffer.data(), static_cast<win::DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return path;
  buffer.resize(length);
  return buffer;
}

std::u16string ShellFolder(int csidl) {
  char16_t buffer[kMaxPath + 1] = {};
  if (!Sys().SHGetSpecialFolderPathW(win::HWND{}, buffer, csidl, 0)) return {};
  return buffer;
}

std::u16string ExpandEnvironment(const std::u16string& text) {
  const win::DWORD needed = Sys().ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::u16string buffer(needed + 1, u'\0');
  const win::DWORD written =
      Sys().ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed + 1);
  if (written == 0 || written > needed + 1) return text;
  buffer.resize(written - 1);
  return buffer;
}

// Reads a string value under HKEY_LOCAL_MACHINE with read access only.
std::u16string ReadMachineString(const std::u16string& subkey, const char16_t* name) {
  Platform& os = Sys();
  win::HKEY key{};
  if (os.RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, subkey.c_str(), 0, win::KEY_READ, &key) != 0) {
    return {};
  }
  std::u16string text;
  win::DWORD type = 0;
  win::DWORD size = 0;
  if (os.RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == 0 &&
      (type == win::REG_SZ || type == win::REG_EXPAND_SZ) && size >= 2 && size < 65536) {
    std::vector<win::BYTE> data(size);
    if (os.RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == 0) {
      for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text += c;
      }
    }
  }
  os.RegCloseKey(key);
  return type == win::REG_EXPAND_SZ ? ExpandEnvironment(text) : text;
}

void AddProfileFolders(std::vector<std::u16string>& out) {
  out.push_back(ReadMachineString(kProfileListKey, u"ProfilesDirectory"));
  out.push_back(ReadMachineString(kProfileListKey, u"Public"));
  out.push_back(ReadMachineString(kProfileListKey, u"Default"));
  out.push_back(ReadMachineString(kProfileListKey, u"AllUsersProfile"));

  Platform& os = Sys();
  win::HKEY list{};
  if (os.RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kProfileListKey, 0, win::KEY_READ, &list) != 0) {
    return;
  }
  char16_t name[256];
  for (win::DWORD index = 0;; ++index) {
    win::DWORD length = 256;
    const win::LSTATUS status =
        os.RegEnumKeyExW(list, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == win::ERROR_NO_MORE_ITEMS) break;
    if (status != 0) continue;
    out.push_back(ReadMachineString(std::u16string(kProfileListKey) + u"\\" + name,
                                    u"ProfileImagePath"));
  }
  os.RegCloseKey(list);
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
  std::u16string resolved = ToLowerAscii(ResolveDots(WithBackslashes(path)));
  if (resolved.size() == 2 && resolved[1] == u':') resolved += u'\\';
  return resolved;
}

std::u16string NormalizePathForComparison(std::u16string_view path) {
  // Dots are resolved before the long form is asked for, so that it is the
  // long form of the place the path really names.
  const std::u16string resolved = ResolveDots(WithBackslashes(path));
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
  std::vector<std::u16string> raw;
  AddDriveRoots(raw);
  for (int csidl : kProtectedShellFolders) raw.push_back(ShellFolder(csidl));
  AddProfileFolders(raw);

  std::vector<std::u16string> out;
  for (const auto& folder : raw) {
    if (folder.empty()) continue;
    std::u16string normal = NormalizePathForComparison(folder);
    if (!normal.empty()) out.push_back(std::move(normal));
  }
  // The folders that hold protected folders are protected by IsProtectedFolder
  // itself (a folder that contains a protected one is refused).
  return out;
}

bool IsProtectedFolder(std::u16string_view folder) {
  const std::u16string normal = NormalizePathForComparison(folder);
  if (normal.empty()) return false;
  // A bare drive or a relative path has nothing to protect against but is not
  // a deletion target either: refuse anything without a root.
  if (normal.size() < 3 || (normal[1] != u':' && normal.substr(0, 2) != u"\\\\")) return true;
  for (const auto& place : ProtectedFolders()) {
    if (IsSameOrAncestorPath(normal, place)) return true;
  }
  return false;
}

bool IsProtectedFile(std::u16string_view file) {
  const std::u16string text(file);
  if (Sys().SfcIsFileProtected(win::HANDLE{}, text.c_str())) return true;
  const std::u16string normal = NormalizePathForComparison(file);
  const std::u16string self = OwnExecutablePath();
  if (!self.empty() && normal == self) return true;
  for (const auto& place : ProtectedFolders()) {
    if (IsSameOrAncestorPath(normal, place)) return true;
  }
  return false;
}

bool IsProtectedKey(win::HKEY root, std::u16string_view subkeyPath) {
  const std::u16string key = NormalizeKey(subkeyPath);
  if (key.empty()) return true;  // a root itself
  if (root == win::HKEY_CLASSES_ROOT) return IsSharedClassKey(key);
  if (root != win::HKEY_LOCAL_MACHINE && root != win::HKEY_CURRENT_USER) return true;
  if (key.find(u'\\') == std::u16string::npos) return true;  // depth one
  for (std::u16string_view protectedKey : kProtectedKeys) {
    if (IsSameOrAncestorPath(key, protectedKey)) return true;
  }
  // HKEY_CLASSES_ROOT is made of these keys: the same registrations are
  // shared there.
  for (std::u16string_view classes : kClassesKeys) {
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
  // The names are compared first, so that the system folder is only looked
  // up for a process that bears one of them.
  const std::u16string image = NormalizePathLexically(imagePath);
  const std::size_t slash = image.rfind(u'\\');
  const std::u16string_view name =
      slash == std::u16string::npos ? std::u16string_view(image) : std::u16string_view(image).substr(slash + 1);
  bool critical = false;
  for (std::u16string_view program : kCriticalPrograms) critical = critical || name == program;
  if (!critical) return false;
  const std::u16string system = NormalizePathForComparison(ShellFolder(win::CSIDL_SYSTEM));
  return !system.empty() && NormalizePathForComparison(imagePath) == system + u"\\" + std::u16string(name);
}

}  // namespace quenwick
