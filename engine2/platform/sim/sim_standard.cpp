// SimMachine::Standard(): a fresh 64-bit Windows 7 installation with one
// user, "User". Kept small, since tests build many of them.
#include "platform/sim/sim_state.h"

namespace quenwick::sim {
namespace {

constexpr std::u16string_view kProfile = u"C:\\Users\\User";
constexpr std::u16string_view kSelfImage = u"C:\\Users\\User\\Downloads\\quenwick.exe";
constexpr win::DWORD kSelfPid = 2000;

struct ShellFolder {
  int csidl;
  std::u16string_view path;
};

// CSIDL_MYDOCUMENTS (12) names the virtual "Documents" folder, which has no
// path of its own on Windows 7; the path macro for it uses CSIDL_PERSONAL.
constexpr ShellFolder kShellFolders[] = {
    {win::CSIDL_DESKTOP, u"C:\\Users\\User\\Desktop"},
    {win::CSIDL_PROGRAMS, u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {win::CSIDL_PERSONAL, u"C:\\Users\\User\\Documents"},
    {win::CSIDL_STARTUP,
     u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {win::CSIDL_STARTMENU, u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {win::CSIDL_DESKTOPDIRECTORY, u"C:\\Users\\User\\Desktop"},
    {win::CSIDL_COMMON_STARTMENU, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu"},
    {win::CSIDL_COMMON_PROGRAMS, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
    {win::CSIDL_COMMON_STARTUP,
     u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {win::CSIDL_COMMON_DESKTOPDIRECTORY, u"C:\\Users\\Public\\Desktop"},
    {win::CSIDL_APPDATA, u"C:\\Users\\User\\AppData\\Roaming"},
    {win::CSIDL_LOCAL_APPDATA, u"C:\\Users\\User\\AppData\\Local"},
    {win::CSIDL_COMMON_APPDATA, u"C:\\ProgramData"},
    {win::CSIDL_WINDOWS, u"C:\\Windows"},
    {win::CSIDL_SYSTEM, u"C:\\Windows\\system32"},
    {win::CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
    {win::CSIDL_PROFILE, u"C:\\Users\\User"},
    {win::CSIDL_PROGRAM_FILESX86, u"C:\\Program Files (x86)"},
    {win::CSIDL_PROGRAM_FILES_COMMON, u"C:\\Program Files\\Common Files"},
    {win::CSIDL_COMMON_DOCUMENTS, u"C:\\Users\\Public\\Documents"},
};

struct Variable {
  std::u16string_view name, value;
};

constexpr Variable kEnvironment[] = {
    {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
    {u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming"},
    {u"CommonProgramFiles", u"C:\\Program Files\\Common Files"},
    {u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"},
    {u"COMPUTERNAME", u"USER-PC"},
    {u"ComSpec", u"C:\\Windows\\system32\\cmd.exe"},
    {u"HOMEDRIVE", u"C:"},
    {u"HOMEPATH", u"\\Users\\User"},
    {u"LOCALAPPDATA", u"C:\\Users\\User\\AppData\\Local"},
    {u"OS", u"Windows_NT"},
    {u"Path", u"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
    {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
    {u"ProgramData", u"C:\\ProgramData"},
    {u"ProgramFiles", u"C:\\Program Files"},
    {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
    {u"PUBLIC", u"C:\\Users\\Public"},
    {u"SystemDrive", u"C:"},
    {u"SystemRoot", u"C:\\Windows"},
    {u"TEMP", u"C:\\Users\\User\\AppData\\Local\\Temp"},
    {u"TMP", u"C:\\Users\\User\\AppData\\Local\\Temp"},
    {u"USERNAME", u"User"},
    {u"USERPROFILE", u"C:\\Users\\User"},
    {u"windir", u"C:\\Windows"},
};

constexpr std::u16string_view kFolders[] = {
    u"C:\\Program Files\\Common Files",
    u"C:\\Program Files\\Internet Explorer",
    u"C:\\Program Files (x86)\\Common Files",
    u"C:\\Users\\User\\AppData\\Local\\Temp",
    u"C:\\Users\\User\\Documents",
    u"C:\\Users\\User\\Favorites",
    u"C:\\Users\\User\\Music",
    u"C:\\Users\\User\\Pictures",
    u"C:\\Users\\User\\Videos",
    u"C:\\Windows\\SysWOW64",
    u"C:\\Windows\\Temp",
    u"C:\\Windows\\System32\\drivers\\etc",
};

constexpr std::u16string_view kFiles[] = {
    u"C:\\Windows\\explorer.exe",
    u"C:\\Windows\\regedit.exe",
    u"C:\\Windows\\notepad.exe",
    u"C:\\Windows\\System32\\cmd.exe",
    u"C:\\Windows\\System32\\csrss.exe",
    u"C:\\Windows\\System32\\lsass.exe",
    u"C:\\Windows\\System32\\msiexec.exe",
    u"C:\\Windows\\System32\\notepad.exe",
    u"C:\\Windows\\System32\\ntoskrnl.exe",
    u"C:\\Windows\\System32\\rundll32.exe",
    u"C:\\Windows\\System32\\services.exe",
    u"C:\\Windows\\System32\\smss.exe",
    u"C:\\Windows\\System32\\svchost.exe",
    u"C:\\Windows\\System32\\taskmgr.exe",
    u"C:\\Windows\\System32\\userinit.exe",
    u"C:\\Windows\\System32\\wininit.exe",
    u"C:\\Windows\\System32\\winlogon.exe",
    u"C:\\Windows\\System32\\kernel32.dll",
    u"C:\\Windows\\System32\\ntdll.dll",
    u"C:\\Windows\\System32\\shell32.dll",
    u"C:\\Windows\\System32\\user32.dll",
    u"C:\\Windows\\System32\\drivers\\etc\\hosts",
    u"C:\\Program Files\\Internet Explorer\\iexplore.exe",
    kSelfImage,
};

// Files Windows Resource Protection keeps.
constexpr std::u16string_view kProtected[] = {
    u"C:\\Windows\\explorer.exe",          u"C:\\Windows\\regedit.exe",
    u"C:\\Windows\\System32\\cmd.exe",     u"C:\\Windows\\System32\\csrss.exe",
    u"C:\\Windows\\System32\\lsass.exe",   u"C:\\Windows\\System32\\ntoskrnl.exe",
    u"C:\\Windows\\System32\\services.exe", u"C:\\Windows\\System32\\smss.exe",
    u"C:\\Windows\\System32\\svchost.exe", u"C:\\Windows\\System32\\userinit.exe",
    u"C:\\Windows\\System32\\wininit.exe", u"C:\\Windows\\System32\\winlogon.exe",
    u"C:\\Windows\\System32\\kernel32.dll", u"C:\\Windows\\System32\\ntdll.dll",
};

struct SystemProcess {
  win::DWORD pid;
  win::DWORD parent;
  std::u16string_view image;
  ProcessOptions options;
};

constexpr ProcessOptions kCritical{true, true, true, true};
constexpr ProcessOptions kService{true, true, false, true};

constexpr SystemProcess kProcesses[] = {
    // The kernel's own process: no image file, and not openable for reading.
    {4, 0, u"System", {false, false, false, false}},
    {268, 4, u"C:\\Windows\\System32\\smss.exe", kCritical},
    {352, 340, u"C:\\Windows\\System32\\csrss.exe", kCritical},
    {404, 340, u"C:\\Windows\\System32\\wininit.exe", kCritical},
    {416, 396, u"C:\\Windows\\System32\\csrss.exe", kCritical},
    {452, 396, u"C:\\Windows\\System32\\winlogon.exe", kCritical},
    {500, 404, u"C:\\Windows\\System32\\services.exe", kCritical},
    {516, 404, u"C:\\Windows\\System32\\lsass.exe", kCritical},
    {620, 500, u"C:\\Windows\\System32\\svchost.exe", kService},
    {704, 500, u"C:\\Windows\\System32\\svchost.exe", kService},
    {1460, 1440, u"C:\\Windows\\explorer.exe", kService},
};

}  // namespace

std::unique_ptr<SimMachine> SimMachine::Standard() {
  auto machine = std::make_unique<SimMachine>();
  SimMachine& m = *machine;
  m.AddDrive(u'C');
  for (std::u16string_view folder : kFolders) m.AddFolder(folder);
  for (std::u16string_view file : kFiles) m.AddFile(file);
  for (const ShellFolder& f : kShellFolders) {
    m.AddFolder(f.path);
    m.SetShellFolder(f.csidl, f.path);
  }
  m.AddFolder(u"C:\\ProgramData", win::FILE_ATTRIBUTE_HIDDEN);
  m.AddFolder(u"C:\\Users\\User\\AppData", win::FILE_ATTRIBUTE_HIDDEN);
  for (std::u16string_view file : kProtected) m.ProtectSystemFile(file);
  for (const Variable& v : kEnvironment) m.SetEnvironment(v.name, v.value);

  const std::u16string sid = m.state_->hkcu->name;
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  m.SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir",
              u"C:\\Program Files");
  const std::u16string winlogon =
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  m.SetString(winlogon, u"Shell", u"explorer.exe");
  m.SetString(winlogon, u"Userinit", u"C:\\Windows\\system32\\userinit.exe,");
  const std::u16string profiles =
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  m.SetString(profiles, u"ProfilesDirectory", u"%SystemDrive%\\Users", win::REG_EXPAND_SZ);
  m.SetString(profiles + u"\\S-1-5-18", u"ProfileImagePath",
              u"%systemroot%\\system32\\config\\systemprofile", win::REG_EXPAND_SZ);
  m.SetString(profiles + u"\\" + sid, u"ProfileImagePath", kProfile, win::REG_EXPAND_SZ);
  m.SetString(u"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command", u"", u"\"%1\" %*");
  m.SetString(u"HKEY_CLASSES_ROOT\\.exe", u"", u"exefile");
  m.AddKey(u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  m.AddKey(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  m.AddKey(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  m.AddKey(u"HKEY_CURRENT_USER\\Software\\Classes");
  m.AddKey(u"HKEY_CURRENT_USER\\Environment");

  for (const SystemProcess& p : kProcesses) {
    m.state_->AddProcessRecord(p.image, p.options, true, p.pid);
    m.state_->Process(p.pid)->parentPid = p.parent;
  }
  m.SetSelf(kSelfPid, kSelfImage);
  return machine;
}

}  // namespace quenwick::sim
