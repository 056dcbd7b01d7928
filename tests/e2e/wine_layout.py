"""How the simulated Windows 7 machine of the fixtures appears in a Wine 8
prefix: its folders (the profile, Temp, the shell folders) at the prefix's
places, and registry paths and values as Wine's registry files show them.

    simulated Windows 7                       Wine 8 prefix (read from the prefix)
    C:\\Users\\User                              C:\\users\\<login>        (USERPROFILE)
    C:\\Users\\User\\AppData\\Local\\Temp          C:\\users\\<login>\\Temp   (TEMP)
    C:\\Users\\User\\AppData\\Roaming, ...\\Local  the "AppData", "Local AppData" shell folders
    C:\\Users\\User\\Desktop, Documents, Start Menu, Programs, Startup: their shell folders
    C:\\Users\\Public, C:\\ProgramData (and their Desktop, Documents, Start Menu ...)
    C:\\Program Files, C:\\Program Files (x86), Common Files: ProgramFilesDir ...

Standard library only.
"""

import os
import re
import struct

import winehelper
from fixture_file import (REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_MULTI_SZ, REG_SZ, FixtureError,
                          RegValue)

HIVES = {"hkey_local_machine": "HKLM", "hkey_current_user": "HKCU"}
SHORT_HIVE_NAMES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


# The standard simulated machine's shell folders (engine2/platform/sim/
# sim_standard.cpp), by the name of their path macro.
SIM_SHELL_FOLDERS = {
    "CSIDL_DESKTOP": "C:\\Users\\User\\Desktop",
    "CSIDL_DESKTOPDIRECTORY": "C:\\Users\\User\\Desktop",
    "CSIDL_PROGRAMS": "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
    "CSIDL_PERSONAL": "C:\\Users\\User\\Documents",
    "CSIDL_MYDOCUMENTS": "C:\\Users\\User\\Documents",
    "CSIDL_STARTUP": "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    "CSIDL_STARTMENU": "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
    "CSIDL_COMMON_STARTMENU": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu",
    "CSIDL_COMMON_PROGRAMS": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
    "CSIDL_COMMON_STARTUP": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
    "CSIDL_COMMON_DESKTOPDIRECTORY": "C:\\Users\\Public\\Desktop",
    "CSIDL_APPDATA": "C:\\Users\\User\\AppData\\Roaming",
    "CSIDL_LOCAL_APPDATA": "C:\\Users\\User\\AppData\\Local",
    "CSIDL_COMMON_APPDATA": "C:\\ProgramData",
    "CSIDL_WINDOWS": "C:\\Windows",
    "CSIDL_SYSTEM": "C:\\Windows\\system32",
    "CSIDL_PROGRAM_FILES": "C:\\Program Files",
    "CSIDL_PROFILE": "C:\\Users\\User",
    "CSIDL_PROGRAM_FILESX86": "C:\\Program Files (x86)",
    "CSIDL_PROGRAM_FILES_COMMON": "C:\\Program Files\\Common Files",
    "CSIDL_COMMON_DOCUMENTS": "C:\\Users\\Public\\Documents",
}
SIM_TEMP = "C:\\Users\\User\\AppData\\Local\\Temp"
SIM_PUBLIC = "C:\\Users\\Public"

# Where Wine keeps each shell folder: (hive, key, value name). The folders
# Windows fixes have no entry.
_USER_SHELL = ("HKCU", r"software\microsoft\windows\currentversion\explorer\shell folders")
USER_SHELL_KEY = _USER_SHELL[1]
_COMMON_SHELL = ("HKLM", r"software\microsoft\windows\currentversion\explorer\shell folders")
_CURRENT_VERSION = ("HKLM", r"software\microsoft\windows\currentversion")
WINE_SHELL_FOLDER_VALUES = {
    "CSIDL_DESKTOP": _USER_SHELL + ("Desktop",),
    "CSIDL_DESKTOPDIRECTORY": _USER_SHELL + ("Desktop",),
    "CSIDL_PROGRAMS": _USER_SHELL + ("Programs",),
    "CSIDL_PERSONAL": _USER_SHELL + ("Personal",),
    "CSIDL_MYDOCUMENTS": _USER_SHELL + ("Personal",),
    "CSIDL_STARTUP": _USER_SHELL + ("StartUp",),
    "CSIDL_STARTMENU": _USER_SHELL + ("Start Menu",),
    "CSIDL_COMMON_STARTMENU": _COMMON_SHELL + ("Common Start Menu",),
    "CSIDL_COMMON_PROGRAMS": _COMMON_SHELL + ("Common Programs",),
    "CSIDL_COMMON_STARTUP": _COMMON_SHELL + ("Common StartUp",),
    "CSIDL_COMMON_DESKTOPDIRECTORY": _COMMON_SHELL + ("Common Desktop",),
    "CSIDL_APPDATA": _USER_SHELL + ("AppData",),
    "CSIDL_LOCAL_APPDATA": _USER_SHELL + ("Local AppData",),
    "CSIDL_COMMON_APPDATA": _COMMON_SHELL + ("Common AppData",),
    "CSIDL_COMMON_DOCUMENTS": _COMMON_SHELL + ("Common Documents",),
    "CSIDL_PROGRAM_FILES": _CURRENT_VERSION + ("ProgramFilesDir",),
    "CSIDL_PROGRAM_FILESX86": _CURRENT_VERSION + ("ProgramFilesDir (x86)",),
    "CSIDL_PROGRAM_FILES_COMMON": _CURRENT_VERSION + ("CommonFilesDir",),
}
# Shell folders Windows fixes: a fixture cannot move them under Wine.
FIXED_SHELL_FOLDERS = ("CSIDL_WINDOWS", "CSIDL_SYSTEM", "CSIDL_PROFILE")
# Environment variables Wine sets itself in every process from its own
# registry and profile (a value in HKCU\Environment does not change them):
# a fixture cannot give them another value.
WINE_OWN_VARIABLES = frozenset(name.lower() for name in (
    "ALLUSERSPROFILE", "APPDATA", "CommonProgramFiles", "CommonProgramFiles(x86)",
    "CommonProgramW6432", "COMPUTERNAME", "HOMEDRIVE", "HOMEPATH", "LOCALAPPDATA", "ProgramData",
    "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "PUBLIC", "SystemDrive", "SystemRoot",
    "USERDOMAIN", "USERNAME", "USERPROFILE", "windir"))
# The per-user ones also have an entry in "User Shell Folders", which Wine
# reads first.
USER_SHELL_FOLDERS_KEY = (r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer"
                          r"\User Shell Folders")


def _wine_defaults(login):
    """Wine 8's folders in a new prefix, used where its registry says nothing."""
    profile = "C:\\users\\" + login
    roaming = profile + "\\AppData\\Roaming"
    start_menu = roaming + "\\Microsoft\\Windows\\Start Menu"
    common_menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu"
    return {
        "CSIDL_DESKTOP": profile + "\\Desktop", "CSIDL_DESKTOPDIRECTORY": profile + "\\Desktop",
        "CSIDL_PROGRAMS": start_menu + "\\Programs", "CSIDL_PERSONAL": profile + "\\Documents",
        "CSIDL_MYDOCUMENTS": profile + "\\Documents",
        "CSIDL_STARTUP": start_menu + "\\Programs\\StartUp", "CSIDL_STARTMENU": start_menu,
        "CSIDL_COMMON_STARTMENU": common_menu, "CSIDL_COMMON_PROGRAMS": common_menu + "\\Programs",
        "CSIDL_COMMON_STARTUP": common_menu + "\\Programs\\StartUp",
        "CSIDL_COMMON_DESKTOPDIRECTORY": "C:\\users\\Public\\Desktop",
        "CSIDL_APPDATA": roaming, "CSIDL_LOCAL_APPDATA": profile + "\\AppData\\Local",
        "CSIDL_COMMON_APPDATA": "C:\\ProgramData", "CSIDL_WINDOWS": "C:\\windows",
        "CSIDL_SYSTEM": "C:\\windows\\system32", "CSIDL_PROGRAM_FILES": "C:\\Program Files",
        "CSIDL_PROFILE": profile, "CSIDL_PROGRAM_FILESX86": "C:\\Program Files (x86)",
        "CSIDL_PROGRAM_FILES_COMMON": "C:\\Program Files\\Common Files",
        "CSIDL_COMMON_DOCUMENTS": "C:\\users\\Public\\Documents",
    }


class PathMap:
    """Translates the simulated machine's paths to the prefix's: the longest
    simulated folder a path starts with is replaced by the prefix's folder of
    the same meaning (a shell folder, the temporary folder, the profile)."""

    def __init__(self, pairs):
        # Longest first, so that ...\AppData\Local\Temp wins over ...\AppData\Local.
        self.pairs = sorted({(s.lower(), w) for s, w in pairs if s.lower() != w.lower()},
                            key=lambda pair: -len(pair[0]))
        self._pattern = None
        if self.pairs:
            alternatives = [r"[\\/]".join(re.escape(part) for part in re.split(r"[\\/]", sim))
                            for sim, _ in self.pairs]
            # A folder starts a path (not inside a longer name) and ends at a
            # separator, a quote, a blank, a list separator or the text's end.
            self._pattern = re.compile(
                r"(?<![\w.])(%s)(?=[\\/\"\s,;]|$)" % "|".join(alternatives), re.IGNORECASE)
        self._targets = {re.sub(r"[\\/]", "\\\\", sim): wine for sim, wine in self.pairs}

    @classmethod
    def for_prefix(cls, prefix):
        """The map for a prefix, from its registry files (falls back to Wine
        8's layout for what they do not say)."""
        users = os.path.join(prefix, "drive_c", "users")
        logins = sorted(u for u in os.listdir(users) if u.lower() != "public")
        login = logins[0]
        wine = _wine_defaults(login)
        hives = {}
        for hive, name in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
            path = os.path.join(prefix, name)
            hives[hive] = winehelper.parse_registry_file(path) if os.path.exists(path) else {}
        for csidl, (hive, key, value) in WINE_SHELL_FOLDER_VALUES.items():
            kind, data = hives[hive].get(key, {}).get(value.lower(), (None, None))
            if kind == "str" and re.match(r"^[A-Za-z]:\\", data):
                wine[csidl] = data
        temp = "C:\\users\\%s\\Temp" % login
        kind, data = hives["HKCU"].get("environment", {}).get("temp", (None, None))
        if kind in ("str", "str(2)"):
            temp = data.replace("%USERPROFILE%", wine["CSIDL_PROFILE"])
        pairs = [(SIM_SHELL_FOLDERS[c], wine[c]) for c in SIM_SHELL_FOLDERS]
        pairs += [(SIM_TEMP, temp),
                  (SIM_PUBLIC, os.path.dirname(wine["CSIDL_COMMON_DOCUMENTS"].replace("\\", "/"))
                   .replace("/", "\\"))]
        return cls(pairs)

    def text(self, text):
        """The text with every simulated folder in it replaced; the separator
        the text uses is kept."""
        if self._pattern is None or not text:
            return text

        def replace(match):
            found = match.group(1)
            wine = self._targets[re.sub(r"[\\/]", "\\\\", found.lower())]
            return wine.replace("\\", "/") if "/" in found and "\\" not in found else wine
        return self._pattern.sub(replace, text)

    def value(self, value):
        """A registry value with the paths in its strings translated."""
        if value.type in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and len(value.data) % 2 == 0:
            text = value.data.decode("utf-16-le", "surrogatepass")
            return RegValue(value.name, value.type,
                            self.text(text).encode("utf-16-le", "surrogatepass"))
        return value


# --- Registry paths and values as Wine's registry files show them --------------------

def split_key(path):
    """("HKLM" or "HKCU", lower-case path below the root) of a registry path;
    HKEY_CLASSES_ROOT is the machine's classes, where new keys go."""
    root, _, rest = path.replace("/", "\\").partition("\\")
    root = root.lower()
    rest = "\\".join(part for part in rest.split("\\") if part).lower()
    if root == "hkey_classes_root":
        return "HKLM", ("software\\classes\\" + rest).rstrip("\\")
    if root not in HIVES:
        raise FixtureError("unknown registry root in %r" % path)
    return HIVES[root], rest


def is_registry_path(path):
    return path[:5].upper() == "HKEY_"


def registry_form(value):
    """The (kind, data) that winehelper.parse_registry_file gives for the
    value once Wine has saved it."""
    data, kind = value.data, value.type
    if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and len(data) >= 2 and len(data) % 2 == 0 \
            and data[-2:] == b"\0\0":
        text = data[:-2].decode("utf-16-le", "surrogatepass")
        if kind == REG_MULTI_SZ:
            parts = text.split("\0")
            while parts and parts[-1] == "":
                parts.pop()
            return ("str(7)", parts)
        return ("str", text) if kind == REG_SZ else ("str(2)", text)
    if kind == REG_DWORD and len(data) == 4:
        return ("dword", struct.unpack("<I", data)[0])
    return ("hex" if kind == REG_BINARY else "hex(%x)" % kind, data)


def describe_value(form):
    """A value as a person reads it: its type as the fixtures name it, then
    its data."""
    kind, data = form
    if kind == "str":
        return 'sz "%s"' % data
    if kind == "str(2)":
        return 'expand_sz "%s"' % data
    if kind == "str(7)":
        return "multi_sz [%s]" % ", ".join('"%s"' % part for part in data)
    if kind == "dword":
        return "dword 0x%08x" % data
    if kind == "hex(b)" and len(data) == 8:
        return "qword 0x%016x" % struct.unpack("<Q", data)[0]
    return "%s %s" % ("binary" if kind == "hex" else "type 0x%s" % kind[4:-1], data.hex(",") or "(empty)")


def _reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def _printable(text):
    return all(0x20 <= ord(c) and not 0xD800 <= ord(c) <= 0xDFFF for c in text)


def reg_line(value):
    """One value line of a .reg file; every type is written exactly (strings
    that a quoted form cannot carry as hex of their type)."""
    if value.name == "":
        name = "@"
    elif _printable(value.name):
        name = '"%s"' % _reg_escape(value.name)
    else:
        raise FixtureError("a value name with control characters cannot be planted: %r" % value.name)
    data = value.data
    if value.type == REG_SZ and len(data) >= 2 and len(data) % 2 == 0 and data[-2:] == b"\0\0":
        text = data[:-2].decode("utf-16-le", "surrogatepass")
        if _printable(text):
            return '%s="%s"' % (name, _reg_escape(text))
    if value.type == REG_DWORD and len(data) == 4:
        return "%s=dword:%08x" % (name, struct.unpack("<I", data)[0])
    kind = "hex" if value.type == REG_BINARY else "hex(%x)" % value.type
    return "%s=%s:%s" % (name, kind, ",".join("%02x" % b for b in data))
