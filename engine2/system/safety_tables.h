// The places and programs the program never deletes or ends, and the folder
// macros a path may begin with: one table of each, read by the program's
// guard, its path expansion and the database tool's linter alike, so that a
// Definition the linter accepts is one the program carries out and the
// reverse.
#pragma once

#include <array>
#include <string_view>

#include "platform/win_types.h"

namespace quenwick::safety {

// Shell-folder values that win_types.h does not name because no macro uses
// them; their folders are protected all the same.
inline constexpr int kCsidlMyMusic = 13;
inline constexpr int kCsidlMyPictures = 39;
inline constexpr int kCsidlSystemX86 = 41;
inline constexpr int kCsidlProgramFilesCommonX86 = 44;

struct FolderMacro {
  std::u16string_view name;  // upper case, without the percent signs
  int csidl;
};

// The shell-folder macros a path may begin with. "%CSIDL_MYDOCUMENTS%" is the
// user's documents folder, which the shell knows as CSIDL_PERSONAL; the
// CSIDL_MYDOCUMENTS constant is a virtual folder without a file-system path.
inline constexpr std::array<FolderMacro, 21> kFolderMacros{{
    {u"CSIDL_DESKTOP", win::CSIDL_DESKTOP},
    {u"CSIDL_PROGRAMS", win::CSIDL_PROGRAMS},
    {u"CSIDL_PERSONAL", win::CSIDL_PERSONAL},
    {u"CSIDL_STARTUP", win::CSIDL_STARTUP},
    {u"CSIDL_STARTMENU", win::CSIDL_STARTMENU},
    {u"CSIDL_MYDOCUMENTS", win::CSIDL_PERSONAL},
    {u"CSIDL_DESKTOPDIRECTORY", win::CSIDL_DESKTOPDIRECTORY},
    {u"CSIDL_COMMON_STARTMENU", win::CSIDL_COMMON_STARTMENU},
    {u"CSIDL_COMMON_PROGRAMS", win::CSIDL_COMMON_PROGRAMS},
    {u"CSIDL_COMMON_STARTUP", win::CSIDL_COMMON_STARTUP},
    {u"CSIDL_COMMON_DESKTOPDIRECTORY", win::CSIDL_COMMON_DESKTOPDIRECTORY},
    {u"CSIDL_APPDATA", win::CSIDL_APPDATA},
    {u"CSIDL_LOCAL_APPDATA", win::CSIDL_LOCAL_APPDATA},
    {u"CSIDL_COMMON_APPDATA", win::CSIDL_COMMON_APPDATA},
    {u"CSIDL_WINDOWS", win::CSIDL_WINDOWS},
    {u"CSIDL_SYSTEM", win::CSIDL_SYSTEM},
    {u"CSIDL_PROGRAM_FILES", win::CSIDL_PROGRAM_FILES},
    {u"CSIDL_PROFILE", win::CSIDL_PROFILE},
    {u"CSIDL_PROGRAM_FILESX86", win::CSIDL_PROGRAM_FILESX86},
    {u"CSIDL_PROGRAM_FILES_COMMON", win::CSIDL_PROGRAM_FILES_COMMON},
    {u"CSIDL_COMMON_DOCUMENTS", win::CSIDL_COMMON_DOCUMENTS},
}};

// Shell folders protected besides those of the macros.
inline constexpr std::array<int, 4> kOtherProtectedShellFolders = {
    kCsidlSystemX86, kCsidlProgramFilesCommonX86, kCsidlMyPictures, kCsidlMyMusic};

// Folders inside a shell folder that Windows needs whole. They are protected
// as folders: a rogue's file inside one (a driver in System32\drivers) stays
// removable, the folder itself and what holds it do not.
struct ProtectedSubfolder {
  int csidl;
  std::u16string_view relative;
};
inline constexpr std::array<ProtectedSubfolder, 24> kProtectedSubfolders{{
    {win::CSIDL_WINDOWS, u"assembly"},      {win::CSIDL_WINDOWS, u"Boot"},      {win::CSIDL_WINDOWS, u"Fonts"},
    {win::CSIDL_WINDOWS, u"Globalization"}, {win::CSIDL_WINDOWS, u"inf"},       {win::CSIDL_WINDOWS, u"Installer"},
    {win::CSIDL_WINDOWS, u"Microsoft.NET"}, {win::CSIDL_WINDOWS, u"servicing"}, {win::CSIDL_WINDOWS, u"SysWOW64"},
    {win::CSIDL_WINDOWS, u"system"},        {win::CSIDL_WINDOWS, u"Tasks"},     {win::CSIDL_WINDOWS, u"Temp"},
    {win::CSIDL_WINDOWS, u"WinSxS"},        {win::CSIDL_SYSTEM, u"catroot"},    {win::CSIDL_SYSTEM, u"catroot2"},
    {win::CSIDL_SYSTEM, u"config"},         {win::CSIDL_SYSTEM, u"drivers"},    {win::CSIDL_SYSTEM, u"drivers\\etc"},
    {win::CSIDL_SYSTEM, u"DriverStore"},    {win::CSIDL_SYSTEM, u"GroupPolicy"}, {win::CSIDL_SYSTEM, u"spool"},
    {win::CSIDL_SYSTEM, u"Tasks"},          {win::CSIDL_SYSTEM, u"wbem"},       {win::CSIDL_SYSTEM, u"WindowsPowerShell"},
}};

// Keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER (relative, lower case)
// that hold other programs' entries or the system's settings. Their
// ancestors are protected too, and so is every key of depth one. The 32-bit
// view (software\wow6432node\...) holds the same keys and is compared as
// software\...
inline constexpr std::array<std::u16string_view, 36> kProtectedKeys = {
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
    u"software\\microsoft\\windows\\currentversion\\explorer\\shell folders",
    u"software\\microsoft\\windows\\currentversion\\explorer\\user shell folders",
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
    u"system\\currentcontrolset\\services",
    u"system\\currentcontrolset\\control",
    u"system\\controlset001\\services",
    u"system\\controlset001\\control",
    u"system\\controlset002\\services",
    u"system\\controlset002\\control",
    u"system\\select",
};

// The keys HKEY_CLASSES_ROOT is merged from, under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER.
inline constexpr std::array<std::u16string_view, 2> kClassesKeys = {
    u"software\\classes", u"software\\wow6432node\\classes"};

// Shared registration keys directly under HKEY_CLASSES_ROOT (lower case). A
// rogue's own class key there stays deletable.
inline constexpr std::array<std::u16string_view, 56> kSharedClassKeys = {
    u"*", u".exe", u".com", u".bat", u".cmd", u".pif", u".scr", u".lnk", u".dll", u".hta",
    u".reg", u".txt", u".htm", u".html", u".url", u".msi", u".vbs", u".js", u"appid",
    u"clsid", u"interface", u"typelib", u"exefile", u"comfile", u"batfile", u"cmdfile",
    u"piffile", u"scrfile", u"lnkfile", u"htafile", u"regfile", u"txtfile", u"htmlfile",
    u"urlfile", u"secfile", u"msifile", u"dllfile", u"vbsfile", u"jsfile", u"directory",
    u"drive", u"folder", u"allfilesystemobjects", u"http", u"https", u"ftp", u"mailto",
    u"protocols", u"mime", u"applications", u"systemfileassociations", u"wow6432node",
    u"installer", u"component categories", u"unknown", u"network",
};

// Windows' own processes that must never be ended, by file name (lower
// case), when they run from the folder Windows keeps them in. A program of
// the same name elsewhere is not Windows'.
struct CriticalProcess {
  std::u16string_view name;
  int csidl;
};
inline constexpr std::array<CriticalProcess, 14> kCriticalProcesses{{
    {u"smss.exe", win::CSIDL_SYSTEM},     {u"csrss.exe", win::CSIDL_SYSTEM},   {u"wininit.exe", win::CSIDL_SYSTEM},
    {u"winlogon.exe", win::CSIDL_SYSTEM}, {u"services.exe", win::CSIDL_SYSTEM}, {u"lsass.exe", win::CSIDL_SYSTEM},
    {u"lsm.exe", win::CSIDL_SYSTEM},      {u"svchost.exe", win::CSIDL_SYSTEM}, {u"dwm.exe", win::CSIDL_SYSTEM},
    {u"spoolsv.exe", win::CSIDL_SYSTEM},  {u"taskhost.exe", win::CSIDL_SYSTEM}, {u"conhost.exe", win::CSIDL_SYSTEM},
    {u"userinit.exe", win::CSIDL_SYSTEM}, {u"explorer.exe", win::CSIDL_WINDOWS},
}};

}  // namespace quenwick::safety
