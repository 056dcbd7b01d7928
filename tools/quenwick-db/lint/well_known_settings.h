// Windows settings that rogues overwrite to start themselves, with the text a
// healthy Windows holds there. A RegValueRepair of one of them must write
// exactly this text: anything else leaves the machine as broken as the rogue
// did, or worse (no program starts when the .exe open command is wrong).
#pragma once

#include <array>
#include <string_view>

namespace quenwick::dbtool::lint {

struct WellKnownSetting {
  std::u16string_view key;        // as a Definition writes it; compared A-Z folded
  std::u16string_view valueName;  // "" is the key's default value
  std::u16string_view text;       // what Windows holds there (REG_SZ)
};

// The open commands hold "%1" (the file opened) and %* (its arguments).
inline constexpr std::u16string_view kRunItself = u"\"%1\" %*";
inline constexpr std::u16string_view kRunScreenSaver = u"\"%1\" /S";

// HKEY_CLASSES_ROOT shows the keys of HKEY_LOCAL_MACHINE\SOFTWARE\Classes:
// both names are listed, as Definitions may use either.
inline constexpr std::array<WellKnownSetting, 15> kWellKnownSettings = {{
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\comfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\batfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\cmdfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\piffile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\scrfile\\shell\\open\\command", u"", kRunScreenSaver},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.exe", u"", u"exefile"},
    {u"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_CLASSES_ROOT\\comfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_CLASSES_ROOT\\batfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_CLASSES_ROOT\\cmdfile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_CLASSES_ROOT\\piffile\\shell\\open\\command", u"", kRunItself},
    {u"HKEY_CLASSES_ROOT\\scrfile\\shell\\open\\command", u"", kRunScreenSaver},
    {u"HKEY_CLASSES_ROOT\\.exe", u"", u"exefile"},
    {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", u"Shell", u"explorer.exe"},
}};

}  // namespace quenwick::dbtool::lint
