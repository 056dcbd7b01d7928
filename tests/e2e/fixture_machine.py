#!/usr/bin/env python3
"""Plants the machine of a Definition fixture (definitions/fixtures/**.toml)
into a Wine prefix, and checks the fixture's expectations there after a run
of quenwick.exe.

A fixture describes a simulated 64-bit Windows 7 machine with one user,
"User" (docs/definition-format.md). A Wine 8 prefix is laid out a little
differently, so every path of a fixture is translated before it is used, in
file lists and inside registry data and command lines alike:

    simulated Windows 7                       Wine 8 prefix (read from the prefix)
    C:\\Users\\User                              C:\\users\\<login>        (USERPROFILE)
    C:\\Users\\User\\AppData\\Local\\Temp          C:\\users\\<login>\\Temp   (TEMP)
    C:\\Users\\User\\AppData\\Roaming, ...\\Local  the "AppData", "Local AppData" shell folders
    C:\\Users\\User\\Desktop, Documents, Start Menu, Programs, Startup: their shell folders
    C:\\Users\\Public, C:\\ProgramData (and their Desktop, Documents, Start Menu ...)
    C:\\Program Files, C:\\Program Files (x86), Common Files: ProgramFilesDir ...
    D:\\..., E:\\...                            <prefix>/drive_d, ... (a drive letter is added)

What is planted:
- files, with a short text as contents; a file that a fixture process runs
  from is a copy of the test program rogue.exe (programs/rogue.c), and a
  program the fixture expects to be started (`started`) is a copy of the
  uninstaller program (programs/uninstaller.c), which records its command
  line in C:\\e2e-records; attributes: read-only through the file mode,
  hidden and system through Wine's DOS attribute (user.DOSATTRIB);
- folders, with their attributes;
- registry keys and values of every type (a .reg file imported with
  regedit), the environment variables (HKCU\\Environment) and shell folders
  (the Shell Folders keys, ProgramFilesDir ...) a fixture changes;
- processes: rogue.exe copies started at their image paths;
- locked files: held open without sharing by another copy of rogue.exe that
  runs from C:\\quenwick-fixture-state (not a path any Definition names).
- What the standard simulated machine has and a new prefix lacks: the
  Winlogon "Userinit" value and the user's RunOnce key.

What Wine cannot host (`limitations()` names it for a fixture): processes
that cannot be ended (terminable = false; a Wine process of the same user can
always be ended), files that may not be deleted (deny_delete; the tests run
as root, which no file mode stops), read-only registry keys, a locked file
that is also a process image (its own process could not start), shell
folders Windows fixes (CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROFILE) and
process images that are Wine's own programs.

The checks (`Result` lines): found (the console lines of the clean pass),
gone, present, untouched, values_gone, values, pending_deletion (read from
PendingFileRenameOperations in system.reg), ended and running (for the
processes planted), started (the uninstaller's records), and that nothing
else on the machine changed: every file and folder of the prefix's drives
and every key and value of HKLM and HKCU is compared before and after.
`running` for an image no fixture process runs (Wine's own explorer.exe,
svchost.exe) is not checked.

Standard library only (Python 3.11 for tomllib). As a script, for
scripts/demo.sh (WINEPREFIX and HOME set as for the prefix):
    fixture_machine.py plant --rogue EXE [--uninstaller EXE] FIXTURE...
    fixture_machine.py check [--output CONSOLE_OUTPUT_FILE]
    fixture_machine.py left
"""

import argparse
import os
import pickle
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import tomllib
from dataclasses import dataclass, field

import winehelper

# --- Registry types and file attributes ----------------------------------------

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 7, 11
FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM = 0x1, 0x2, 0x4
ATTRIBUTE_NAMES = {"readonly": FILE_ATTRIBUTE_READONLY, "hidden": FILE_ATTRIBUTE_HIDDEN,
                   "system": FILE_ATTRIBUTE_SYSTEM, "archive": 0x20, "normal": 0x80}
# Wine keeps these two attributes in an extended attribute of the Unix file.
WINE_DOS_ATTRIBUTE = "user.DOSATTRIB"
WINE_XATTR_MASK = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM

MAX_DWORD = 0xFFFFFFFF
MAX_QWORD = 0x7FFFFFFFFFFFFFFF

# Where the planted programs keep their markers, and the image the holders of
# locked files run from; left out of every comparison.
STATE_FOLDER = "C:\\quenwick-fixture-state"
# Where the uninstaller program writes what it was started with (fixed in
# programs/uninstaller.c).
RECORDS_FOLDER = "C:\\e2e-records"
IMPORT_FILE = "C:\\quenwick-fixture.reg"
# The state of a planting made by the command line, beside the prefix.
STATE_FILE_NAME = "quenwick-fixtures.pickle"

START_TIMEOUT_S = 30
END_TIMEOUT_S = 15
WINE_TIMEOUT_S = 120

# Keys that Wine itself rewrites whenever a session starts (device classes
# with their driver dates, network cards) or a program first draws (the
# Linux machine's fonts, registered again when the Z: drive is gone): left
# out of the comparison.
VOLATILE_KEYS = (
    ("HKLM", r"system\currentcontrolset\control\class"),
    ("HKLM", r"software\microsoft\windows nt\currentversion\networkcards"),
    ("HKLM", r"software\microsoft\windows\currentversion\fonts"),
    ("HKLM", r"software\microsoft\windows nt\currentversion\fonts"),
    ("HKCU", r"software\wine\fonts"),
)
SESSION_MANAGER = ("HKLM", r"system\currentcontrolset\control\session manager")
PENDING_VALUE = "pendingfilerenameoperations"

HIVES = {"hkey_local_machine": "HKLM", "hkey_current_user": "HKCU"}
SHORT_HIVE_NAMES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


class FixtureError(Exception):
    """A fixture that does not follow the format."""


# --- Reading a fixture ------------------------------------------------------------

@dataclass
class PlantedFile:
    path: str
    attributes: int = 0
    locked: bool = False
    deny_delete: bool = False


@dataclass
class RegValue:
    name: str
    type: int
    data: bytes


@dataclass
class RegKey:
    path: str
    values: list
    read_only: bool = False


@dataclass
class Process:
    image: str
    terminable: bool = True


@dataclass
class Expectations:
    found: list = field(default_factory=list)
    gone: list = field(default_factory=list)
    present: list = field(default_factory=list)
    untouched: list = field(default_factory=list)
    values_gone: list = field(default_factory=list)   # (key, name)
    values: list = field(default_factory=list)        # (key, RegValue)
    pending_deletion: list = None                     # exact set when given
    ended: list = field(default_factory=list)
    running: list = field(default_factory=list)
    started: list = None                              # command lines when given


@dataclass
class Fixture:
    file: str
    family: str        # the Definition file name the fixture belongs to
    case: str
    description: str
    files: list
    folders: list
    keys: list
    processes: list
    environment: dict
    shell_folders: dict
    expect: Expectations

    @property
    def label(self):
        return "%s/%s" % (self.family, self.case)


def _text(node, what):
    """A fixture text: a string, or { utf16 = [code units] }."""
    if isinstance(node, str):
        return node
    if isinstance(node, dict) and set(node) == {"utf16"} and isinstance(node["utf16"], list):
        units = node["utf16"]
        if not all(isinstance(u, int) and 1 <= u <= 0xFFFF for u in units):
            raise FixtureError("%s: a UTF-16 code unit is a number from 1 to 65535" % what)
        return struct.pack("<%dH" % len(units), *units).decode("utf-16-le", "surrogatepass")
    raise FixtureError("%s must be a string or { utf16 = [...] }" % what)


def _texts(table, key):
    items = table.get(key, [])
    if not isinstance(items, list):
        raise FixtureError("'%s' must be an array" % key)
    return [_text(item, key) for item in items]


def _check_keys(table, allowed, where):
    unknown = sorted(set(table) - set(allowed))
    if unknown:
        raise FixtureError("%s has no field %s" % (where, ", ".join(repr(k) for k in unknown)))


def _flag(table, key):
    value = table.get(key, False)
    if not isinstance(value, bool):
        raise FixtureError("'%s' must be true or false" % key)
    return value


def _number(node, limit, what):
    if not isinstance(node, int) or isinstance(node, bool) or not 0 <= node <= limit:
        raise FixtureError("%s must be a number from 0 to %d" % (what, limit))
    return node


def _entry(node, folder):
    if isinstance(node, str) or (isinstance(node, dict) and "utf16" in node):
        return PlantedFile(_text(node, "path"))
    if not isinstance(node, dict) or "path" not in node:
        raise FixtureError("an entry is a path or { path = '...', attributes = [...] }")
    _check_keys(node, ("path", "attributes", "locked", "deny_delete"), "a folder" if folder else "a file")
    attributes = 0
    for name in node.get("attributes", []):
        if name not in ATTRIBUTE_NAMES:
            raise FixtureError("attributes are readonly, hidden, system, archive and normal")
        attributes |= ATTRIBUTE_NAMES[name]
    return PlantedFile(_text(node["path"], "path"), attributes, _flag(node, "locked"),
                       _flag(node, "deny_delete"))


def _string_bytes(text):
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def _value(node, name, extra_keys=()):
    """A registry value as the fixture reader builds it: its type and bytes."""
    if isinstance(node, str):
        return RegValue(name, REG_SZ, _string_bytes(node))
    if not isinstance(node, dict):
        raise FixtureError("a registry value is a string or a table such as { dword = 1 }")
    kinds = ("sz", "expand_sz", "multi_sz", "dword", "qword", "binary")
    _check_keys(node, kinds + ("type",) + tuple(extra_keys), "a registry value")
    given = [k for k in kinds if k in node]
    if len(given) != 1:
        raise FixtureError("a registry value needs exactly one of " + ", ".join(kinds))
    kind = given[0]
    data = node[kind]
    if kind == "sz":
        value = RegValue(name, REG_SZ, _string_bytes(_text(data, "sz")))
    elif kind == "expand_sz":
        value = RegValue(name, REG_EXPAND_SZ, _string_bytes(_text(data, "expand_sz")))
    elif kind == "multi_sz":
        if not isinstance(data, list):
            raise FixtureError("'multi_sz' must be an array of strings")
        value = RegValue(name, REG_MULTI_SZ,
                         b"".join(_string_bytes(_text(t, "multi_sz")) for t in data) + b"\0\0")
    elif kind == "dword":
        value = RegValue(name, REG_DWORD, struct.pack("<I", _number(data, MAX_DWORD, "dword")))
    elif kind == "qword":
        value = RegValue(name, REG_QWORD, struct.pack("<Q", _number(data, MAX_QWORD, "qword")))
    else:
        if not isinstance(data, list):
            raise FixtureError("'binary' must be an array of byte values")
        value = RegValue(name, REG_BINARY, bytes(_number(b, 255, "binary") for b in data))
    if "type" in node:
        value.type = _number(node["type"], MAX_DWORD, "type")
    return value


def read_fixture(path):
    """Reads a fixture file; raises FixtureError when it does not follow the
    format (the same rules as `quenwick-db test`)."""
    with open(path, "rb") as handle:
        try:
            root = tomllib.load(handle)
        except tomllib.TOMLDecodeError as error:
            raise FixtureError("%s: %s" % (path, error)) from None
    try:
        return _fixture(path, root)
    except FixtureError as error:
        raise FixtureError("%s: %s" % (path, error)) from None


def _fixture(path, root):
    _check_keys(root, ("description", "machine", "expect"), "a fixture")
    machine = root.get("machine", {})
    _check_keys(machine, ("files", "folders", "registry", "processes", "environment", "shell_folders"),
                "[machine]")
    files = [_entry(item, False) for item in machine.get("files", [])]
    folders = [_entry(item, True) for item in machine.get("folders", [])]
    keys = []
    for item in machine.get("registry", []):
        if not isinstance(item, dict) or "key" not in item:
            raise FixtureError("a registry entry needs key = 'HKEY_...\\...'")
        _check_keys(item, ("key", "values", "read_only"), "a registry entry")
        values = [_value(data, name) for name, data in item.get("values", {}).items()]
        keys.append(RegKey(_text(item["key"], "key"), values, _flag(item, "read_only")))
    processes = []
    for item in machine.get("processes", []):
        if isinstance(item, dict) and "image" in item:
            _check_keys(item, ("image", "terminable"), "a process")
            processes.append(Process(_text(item["image"], "image"), item.get("terminable", True)))
        else:
            processes.append(Process(_text(item, "image")))
    environment = {name: _text(v, "environment value")
                   for name, v in machine.get("environment", {}).items()}
    shell_folders = {name: _text(v, "shell folder") for name, v in machine.get("shell_folders", {}).items()}
    for name in shell_folders:
        if name not in SIM_SHELL_FOLDERS:
            raise FixtureError("'%s' is not a shell folder the program knows" % name)

    if not isinstance(root.get("expect"), dict):
        raise FixtureError("a fixture needs an [expect] table")
    table = root["expect"]
    _check_keys(table, ("found", "gone", "present", "untouched", "values_gone", "values",
                        "pending_deletion", "ended", "running", "started"), "[expect]")
    expect = Expectations(
        found=[str(stem) for stem in table.get("found", [])],
        gone=_texts(table, "gone"), present=_texts(table, "present"),
        untouched=_texts(table, "untouched"), ended=_texts(table, "ended"),
        running=_texts(table, "running"),
        pending_deletion=_texts(table, "pending_deletion") if "pending_deletion" in table else None,
        started=_texts(table, "started") if "started" in table else None)
    for ref in table.get("values_gone", []):
        if not isinstance(ref, dict) or "key" not in ref or "name" not in ref:
            raise FixtureError("a gone value is { key = '...', name = '...' }")
        _check_keys(ref, ("key", "name"), "a gone value")
        expect.values_gone.append((_text(ref["key"], "key"), _text(ref["name"], "name")))
    for item in table.get("values", []):
        if not isinstance(item, dict) or "key" not in item or "name" not in item:
            raise FixtureError("an expected value is { key = '...', name = '...', sz = '...' }")
        name = _text(item["name"], "name")
        expect.values.append((_text(item["key"], "key"), _value(item, name, ("key", "name"))))

    folder = os.path.dirname(os.path.abspath(path))
    return Fixture(file=path, family=os.path.basename(folder),
                   case=os.path.splitext(os.path.basename(path))[0],
                   description=root.get("description", ""), files=files, folders=folders,
                   keys=keys, processes=processes, environment=environment,
                   shell_folders=shell_folders, expect=expect)


def definition_name(fixture_or_stem, definitions_dir):
    """The name a Definition prints, from definitions/<stem>.toml."""
    stem = fixture_or_stem.family if isinstance(fixture_or_stem, Fixture) else fixture_or_stem
    with open(os.path.join(definitions_dir, stem + ".toml"), "rb") as handle:
        return tomllib.load(handle)["name"]


def definitions_dir_of(fixture):
    """definitions/ of a fixture at definitions/fixtures/<stem>/<case>.toml."""
    return os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(fixture.file))))


# --- Paths: the simulated machine's and the prefix's ---------------------------------

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
# The per-user ones also have an entry in "User Shell Folders", which Wine
# reads first.
_USER_SHELL_FOLDERS_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


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
    kind, data = form
    if kind.startswith("str"):
        return "%s %r" % (kind, data)
    if kind == "dword":
        return "dword 0x%08x" % data
    return "%s %s" % (kind, data.hex(","))


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


# --- Snapshots of a prefix -------------------------------------------------------------

def _windows_key(path):
    """The comparison key of a Windows path: lower case, backslashes, no
    trailing separator."""
    return re.sub(r"[\\/]+", "\\\\", path).rstrip("\\").lower()


def _under(path, root):
    return path == root or path.startswith(root + "\\")


def _registry_entries(prefix):
    """{(hive, key): {value name: (kind, data)}} of HKLM and HKCU, with every
    key's ancestors (Wine's files list only keys with values or without
    subkeys), volatile keys left out."""
    entries = {}
    for hive, name in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
        for key, values in winehelper.parse_registry_file(os.path.join(prefix, name)).items():
            if any(hive == h and _under(key, k) for h, k in VOLATILE_KEYS):
                continue
            entries[(hive, key)] = values
            parts = key.split("\\")
            for i in range(1, len(parts)):
                entries.setdefault((hive, "\\".join(parts[:i])), {})
    return entries


@dataclass
class Snapshot:
    files: dict     # {windows key: (kind, size, mode, mtime, dos attributes)}
    registry: dict  # {(hive, key): {name: (kind, data)}}


# --- A planted machine -------------------------------------------------------------------

@dataclass
class Started:
    """A program the planting started: a fixture process or a holder."""
    image: str        # Windows path, as mapped
    pid: int          # of its Unix process
    role: str         # "process" or "holder"
    popen: object = None

    def alive(self):
        if self.popen is not None:
            return self.popen.poll() is None
        try:
            with open("/proc/%d/stat" % self.pid) as handle:
                return handle.read().rsplit(")", 1)[1].split()[0] != "Z"
        except (OSError, IndexError):
            return False


@dataclass
class Result:
    ok: bool
    kind: str      # found, gone, present, untouched, value, pending, ended, running, started, machine
    text: str
    fixture: str = ""  # the label of the fixture it belongs to; "" for the whole machine

    def __str__(self):
        return "%-9s %s%s" % (self.kind, self.text, "" if self.ok else "   <-- FAILED")


class FixtureMachine:
    """One or more fixtures planted into one Wine prefix.

    plant() writes the files, folders and registry; snapshot() reads the
    machine (call it with no Wine program running, after `wineserver -w`);
    start_processes() starts the fixture's processes and the holders of its
    locked files; after the program's run, observe_processes() records which
    of them still run, release() ends the rest, and check() compares the
    machine with the fixtures' expectations."""

    def __init__(self, fixtures, prefix, env, rogue_exe, uninstaller_exe=None):
        self.fixtures = list(fixtures)
        self.prefix = prefix
        self.env = dict(env)
        self.rogue_exe = rogue_exe
        self.uninstaller_exe = uninstaller_exe
        self.paths = PathMap.for_prefix(prefix)
        self.drives = {"c"}
        self.started = []
        self.running_after = None
        self.uninstallers = []   # mapped paths of the planted uninstaller copies

    # --- Paths ----------------------------------------------------------------------

    def map(self, text):
        return self.paths.text(text)

    def host_path(self, windows_path, create_drive=False):
        """The Unix path of a Windows path (mapped already) in the prefix; each
        part takes the letter case of what exists (Windows names ignore case)."""
        match = re.match(r"^([A-Za-z]):(?:[\\/]|$)", windows_path)
        if not match:
            raise FixtureError("not a path with a drive letter: %r" % windows_path)
        letter = match.group(1).lower()
        current = os.path.join(self.prefix, "drive_" + letter)
        if letter != "c" and create_drive:
            self._add_drive(letter)
        for part in re.split(r"[\\/]+", windows_path[3:]):
            if not part or part == ".":
                continue
            if part == "..":
                current = os.path.dirname(current)
                continue
            try:
                names = os.listdir(current)
            except OSError:
                names = []
            current = os.path.join(current, next((n for n in names if n.lower() == part.lower()), part))
        return current

    def _add_drive(self, letter):
        """Gives the prefix a drive letter that is a folder of its own."""
        if letter in self.drives:
            return
        folder = os.path.join(self.prefix, "drive_" + letter)
        os.makedirs(folder, exist_ok=True)
        link = os.path.join(self.prefix, "dosdevices", letter + ":")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink("../drive_" + letter, link)
        self.drives.add(letter)

    # --- What the prefix cannot host ---------------------------------------------

    def limitations(self):
        """Why the fixtures cannot be reproduced faithfully under Wine (empty
        when they can)."""
        reasons = []
        for fixture in self.fixtures:
            images = {_windows_key(self.map(p.image)) for p in fixture.processes}
            for process in fixture.processes:
                if not process.terminable:
                    reasons.append("%s: process %s cannot be ended (Wine ends any process of the user)"
                                   % (fixture.label, process.image))
                if self._is_wine_program(self.map(process.image)):
                    reasons.append("%s: process image %s is one of Wine's own programs"
                                   % (fixture.label, process.image))
            for entry in fixture.files + fixture.folders:
                if entry.deny_delete:
                    reasons.append("%s: %s may not be deleted (no file mode stops root)"
                                   % (fixture.label, entry.path))
                if entry.locked and _windows_key(self.map(entry.path)) in images:
                    reasons.append("%s: %s is locked and runs as a process"
                                   % (fixture.label, entry.path))
            for key in fixture.keys:
                if key.read_only:
                    reasons.append("%s: key %s is read-only" % (fixture.label, key.path))
            for name in fixture.shell_folders:
                if name in FIXED_SHELL_FOLDERS:
                    reasons.append("%s: shell folder %s cannot be moved" % (fixture.label, name))
        return reasons

    def _is_wine_program(self, windows_path):
        if not _windows_key(windows_path).startswith("c:\\windows\\"):
            return False
        path = self.host_path(windows_path)
        return os.path.isfile(path)

    # --- Planting -------------------------------------------------------------------

    def _started_programs(self):
        """The mapped program paths of the command lines a fixture expects to
        be started."""
        programs = []
        for fixture in self.fixtures:
            for command in fixture.expect.started or []:
                programs.append(program_of_command(self.map(command)))
        return programs

    def plant(self):
        """Plants every fixture's files, folders and registry data. Run no
        Wine program in the prefix while this runs."""
        images = {_windows_key(self.map(p.image)): self.map(p.image)
                  for f in self.fixtures for p in f.processes}
        uninstallers = {_windows_key(p): p for p in self._started_programs()} \
            if self.uninstaller_exe else {}
        attributes = []
        for fixture in self.fixtures:
            for folder in fixture.folders:
                path = self.host_path(self.map(folder.path), create_drive=True)
                os.makedirs(path, exist_ok=True)
                attributes.append((path, folder.attributes, True))
            for planted in fixture.files:
                windows = self.map(planted.path)
                path = self.host_path(windows, create_drive=True)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as handle:
                    handle.write(("Planted for %s: %s\r\n" % (fixture.label, windows))
                                 .encode("utf-8", "surrogateescape"))
                attributes.append((path, planted.attributes, False))
        # Every process image is the rogue program and every program expected to
        # be started the uninstaller, whether a file list names it or not (a
        # process may run from a file the prefix has, such as iexplore.exe).
        for key, windows in list(images.items()) + list(uninstallers.items()):
            path = self.host_path(windows, create_drive=True)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if os.path.exists(path):
                os.chmod(path, 0o644)
            shutil.copyfile(self.uninstaller_exe if key in uninstallers else self.rogue_exe, path)
        self.uninstallers = list(uninstallers.values())
        for path, bits, folder in attributes:
            self._set_attributes(path, bits, folder)
        os.makedirs(self.host_path(STATE_FOLDER), exist_ok=True)
        shutil.copyfile(self.rogue_exe, self.host_path(STATE_FOLDER + "\\holder.exe"))
        self._import_registry(self.registry_text())

    @staticmethod
    def _set_attributes(path, bits, folder):
        if bits & FILE_ATTRIBUTE_READONLY and not folder:
            os.chmod(path, 0o444)
        if bits & WINE_XATTR_MASK:
            os.setxattr(path, WINE_DOS_ATTRIBUTE, b"0x%x" % (bits & WINE_XATTR_MASK))

    def registry_text(self):
        """The .reg text (without its header) of what the fixtures plant."""
        blocks = [
            # The standard simulated machine has these; a new prefix does not.
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon]\n"
            + reg_line(RegValue("Userinit", REG_SZ, _string_bytes("C:\\Windows\\system32\\userinit.exe,"))),
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]",
        ]
        for fixture in self.fixtures:
            for key in fixture.keys:
                split_key(key.path)  # refuses unknown roots
                lines = ["[%s]" % key.path.replace("/", "\\")]
                lines += [reg_line(self.paths.value(v)) for v in key.values]
                blocks.append("\n".join(lines))
            if fixture.environment:
                lines = ["[HKEY_CURRENT_USER\\Environment]"]
                lines += [reg_line(RegValue(name, REG_SZ, _string_bytes(self.map(value))))
                          for name, value in fixture.environment.items()]
                blocks.append("\n".join(lines))
            for name, path in fixture.shell_folders.items():
                if name in FIXED_SHELL_FOLDERS:
                    continue
                hive, key, value = WINE_SHELL_FOLDER_VALUES[name]
                line = reg_line(RegValue(value, REG_SZ, _string_bytes(self.map(path))))
                blocks.append("[%s\\%s]\n%s" % (SHORT_HIVE_NAMES[hive], key, line))
                if hive == "HKCU" and key == _USER_SHELL[1]:
                    blocks.append("[%s]\n%s" % (_USER_SHELL_FOLDERS_KEY, line))
        return "\n\n".join(blocks) + "\n"

    def _wine(self, *args):
        result = subprocess.run(["wine", *args], env=self.env, cwd=self.host_path("C:\\"),
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=WINE_TIMEOUT_S)
        if result.returncode != 0:
            raise RuntimeError("wine %s failed (%d): %r" % (" ".join(args), result.returncode,
                                                            result.stderr[-2000:]))
        return result

    def _import_registry(self, text):
        content = "Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\n", "\r\n")
        path = self.host_path(IMPORT_FILE)
        with open(path, "wb") as handle:
            handle.write(b"\xff\xfe" + content.encode("utf-16-le", "surrogatepass"))
        try:
            self._wine("regedit", "/s", IMPORT_FILE)
        finally:
            os.unlink(path)

    def wait_for_wineserver(self):
        """Waits until the prefix's server has written the registry and ended
        (every program of the prefix must have ended first)."""
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=WINE_TIMEOUT_S)

    # --- Processes ------------------------------------------------------------------

    def _start(self, image, held, marker, role):
        popen = subprocess.Popen(
            ["wine", image, held, "%s\\%s.ready" % (STATE_FOLDER, marker), STATE_FOLDER + "\\release"],
            env=self.env, cwd=self.host_path("C:\\"), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.started.append(Started(image, popen.pid, role, popen))
        return marker

    def start_processes(self):
        """Starts the holders of the locked files, then the fixture processes,
        and waits until each of them runs."""
        markers = []
        for fixture in self.fixtures:
            for planted in fixture.files:
                if planted.locked:
                    markers.append(self._start(STATE_FOLDER + "\\holder.exe", self.map(planted.path),
                                               "holder%d" % len(markers), "holder"))
        for fixture in self.fixtures:
            for process in fixture.processes:
                marker = "process%d" % len(markers)
                markers.append(self._start(self.map(process.image),
                                           "%s\\%s.held" % (STATE_FOLDER, marker), marker, "process"))
        deadline = time.monotonic() + START_TIMEOUT_S
        for marker, started in zip(markers, self.started):
            while not os.path.exists(self.host_path("%s\\%s.ready" % (STATE_FOLDER, marker))):
                if time.monotonic() > deadline or not started.alive():
                    raise RuntimeError("%s did not start" % started.image)
                time.sleep(0.1)

    def observe_processes(self, wait_for_ended=True):
        """Records which started programs still run; the processes a fixture
        expects to end get a little time to do so."""
        if wait_for_ended:
            ended = {_windows_key(self.map(i)) for f in self.fixtures for i in f.expect.ended}
            deadline = time.monotonic() + END_TIMEOUT_S
            while time.monotonic() < deadline and any(
                    s.alive() and _windows_key(s.image) in ended for s in self.started):
                time.sleep(0.1)
        self.running_after = [s.alive() for s in self.started]

    def release(self):
        """Tells every started program to end, and waits for them."""
        release = self.host_path(STATE_FOLDER + "\\release")
        with open(release, "wb"):
            pass
        deadline = time.monotonic() + END_TIMEOUT_S
        while time.monotonic() < deadline and any(s.alive() for s in self.started):
            time.sleep(0.1)
        self.stop()

    def stop(self):
        """Kills whatever the planting started that still runs."""
        for started in self.started:
            if started.alive():
                try:
                    os.killpg(started.pid, signal.SIGKILL)
                except (ProcessLookupError, PermissionError):
                    pass
            if started.popen is not None:
                started.popen.wait()

    # --- Reading the machine -------------------------------------------------------

    def _ignored(self, key):
        return any(_under(key, _windows_key(p)) for p in (STATE_FOLDER, RECORDS_FOLDER, IMPORT_FILE)) \
            or re.match(r"^c:\\quenwick[^\\]*\.exe$", key) is not None

    def snapshot(self):
        """Every file and folder of the prefix's drives and every key and value
        of HKLM and HKCU (the registry as last written by wineserver)."""
        files = {}
        for letter in sorted(self.drives):
            root = os.path.join(self.prefix, "drive_" + letter)
            for folder, dirs, names in os.walk(root):
                for name in dirs + names:
                    path = os.path.join(folder, name)
                    key = _windows_key("%s:\\%s" % (letter, os.path.relpath(path, root)))
                    if self._ignored(key):
                        continue
                    info = os.lstat(path)
                    kind = "link" if os.path.islink(path) else ("dir" if name in dirs else "file")
                    try:
                        dos = os.getxattr(path, WINE_DOS_ATTRIBUTE, follow_symlinks=False)
                    except OSError:
                        dos = b""
                    files[key] = (kind, info.st_size if kind == "file" else 0, info.st_mode,
                                  info.st_mtime_ns if kind == "file" else 0, dos)
        return Snapshot(files, _registry_entries(self.prefix))

    def pending_deletions(self):
        """The registered (source, target) pairs; read before any Wine program
        starts in the prefix again."""
        return winehelper.pending_file_renames(self.prefix)

    def uninstaller_records(self):
        """The command lines the planted uninstallers were started with."""
        commands = []
        for program in self.uninstallers:
            name = re.split(r"[\\/]", program)[-1]
            path = self.host_path("%s\\%s.txt" % (RECORDS_FOLDER, name))
            if not os.path.exists(path):
                continue
            with open(path, encoding="utf-8", errors="surrogateescape") as handle:
                lines = handle.read().split("\n")[:-1]
            pairs = [(lines[i], lines[i + 1]) for i in range(0, len(lines) - 1, 2)]
            commands += [command for exe, command in pairs if _windows_key(exe) == _windows_key(program)]
        return commands

    # --- Checks ---------------------------------------------------------------------

    def expected_changes(self, fixture, before, after):
        """(file keys, registry keys, registry values) the fixture expects to
        change, as they appear in the snapshots."""
        files, keys, values = set(), set(), set()
        for path in fixture.expect.gone:
            if is_registry_path(path):
                hive, key = split_key(path)
                keys |= {k for k in set(before.registry) | set(after.registry)
                         if k[0] == hive and _under(k[1], key)}
            else:
                root = _windows_key(self.map(path))
                files |= {k for k in set(before.files) | set(after.files) if _under(k, root)}
        for key, name in fixture.expect.values_gone:
            values.add(split_key(key) + (name.lower(),))
        for key, value in fixture.expect.values:
            values.add(split_key(key) + (value.name.lower(),))
        return files, keys, values

    def check(self, before, after, pending, output_names=None):
        """Compares the machine after the run with every fixture's
        expectations; one Result per expectation, and one per difference
        nobody expected. `output_names` are the Definition names the console
        listed as cleaned, in order (None: not checked)."""
        results = []
        changes = [self.expected_changes(f, before, after) for f in self.fixtures]
        if output_names is not None:
            results += self._check_found(output_names)
        for index, fixture in enumerate(self.fixtures):
            others = [c for i, c in enumerate(changes) if i != index]
            own = self._check_fixture(fixture, before, after, others) + self._check_processes(fixture)
            for result in own:
                result.fixture = fixture.label
            results += own
        results += self._check_pending(pending)
        results += self._check_holders()
        results += self._check_started()
        results += self._check_rest(before, after, changes, pending)
        return results

    def _check_found(self, output_names):
        stems = []
        for fixture in self.fixtures:
            stems += [s for s in fixture.expect.found if s not in stems]
        definitions = definitions_dir_of(self.fixtures[0])
        # The database holds the Definitions in the order of their file names.
        wanted = [definition_name(s, definitions)
                  for s in sorted(stems, key=lambda s: (s + ".toml").encode())]
        if list(output_names) == wanted:
            return [Result(True, "found", "%s (found... cleaned)" % name) for name in wanted] or \
                [Result(True, "found", "nothing")]
        return [Result(False, "found", "listed %r, expected %r" % (list(output_names), wanted))]

    def _exists(self, snapshot, path):
        if is_registry_path(path):
            return split_key(path) in snapshot.registry
        return _windows_key(self.map(path)) in snapshot.files

    def _check_fixture(self, fixture, before, after, others):
        results = []
        expect = fixture.expect
        for path in expect.gone:
            shown = path if is_registry_path(path) else self.map(path)
            results.append(Result(self._exists(before, path) and not self._exists(after, path), "gone",
                                  shown + ("" if self._exists(before, path) else " (was not there)")))
        for path in expect.present:
            shown = path if is_registry_path(path) else self.map(path)
            results.append(Result(self._exists(after, path), "present", shown))
        for path in expect.untouched:
            changed = self._changes_under(path, before, after, others)
            shown = path if is_registry_path(path) else self.map(path)
            results.append(Result(not changed, "untouched",
                                  shown + ("" if not changed else ": " + "; ".join(changed[:5]))))
        for key, name in expect.values_gone:
            hive_key = split_key(key)
            was = name.lower() in before.registry.get(hive_key, {})
            gone = name.lower() not in after.registry.get(hive_key, {})
            results.append(Result(was and gone, "gone", '%s : "%s"%s'
                                  % (key, name, "" if was else " (was not there)")))
        for key, value in expect.values:
            want = registry_form(self.paths.value(value))
            got = after.registry.get(split_key(key), {}).get(value.name.lower())
            results.append(Result(got == want, "value", '%s : "%s" = %s%s' % (
                key, value.name, describe_value(want),
                "" if got == want else " (is %s)" % (describe_value(got) if got else "missing"))))
        return results

    def _changes_under(self, path, before, after, others):
        """What changed under a path, less what other fixtures expect to change."""
        other_files = set().union(*(c[0] for c in others)) if others else set()
        other_keys = set().union(*(c[1] for c in others)) if others else set()
        other_values = set().union(*(c[2] for c in others)) if others else set()
        changed = []
        if is_registry_path(path):
            hive, root = split_key(path)
            for key in sorted(set(before.registry) | set(after.registry)):
                if key[0] != hive or not _under(key[1], root) or key in other_keys:
                    continue
                was, now = before.registry.get(key), after.registry.get(key)
                if was is None or now is None:
                    changed.append("key %s\\%s %s" % (key[0], key[1], "added" if was is None else "deleted"))
                    continue
                for name in sorted(set(was) | set(now)):
                    if was.get(name) != now.get(name) and key + (name,) not in other_values \
                            and not (key == SESSION_MANAGER and name == PENDING_VALUE):
                        changed.append('value %s\\%s : "%s"' % (key[0], key[1], name))
        else:
            root = _windows_key(self.map(path))
            for key in sorted(set(before.files) | set(after.files)):
                if not _under(key, root) or key in other_files:
                    continue
                was, now = before.files.get(key), after.files.get(key)
                if not _same_file(was, now):
                    changed.append("%s %s" % (key, "added" if was is None else
                                              "deleted" if now is None else "changed"))
        return changed

    def _check_pending(self, pending):
        results = []
        deletions = [_windows_key(re.sub(r"^\\\?\?\\", "", source))
                     for source, target in pending if target == ""]
        renames = [(s, t) for s, t in pending if t != ""]
        if renames:
            results.append(Result(False, "pending", "renames registered: %r" % renames))
        wanted = []
        for fixture in self.fixtures:
            if fixture.expect.pending_deletion is None:
                continue
            wanted += [_windows_key(os.path.normpath(self.map(p).replace("\\", "/")).replace("/", "\\"))
                       for p in fixture.expect.pending_deletion]
        exact = any(f.expect.pending_deletion is not None for f in self.fixtures)
        resolved = [_windows_key(os.path.normpath(d.replace("\\", "/")).replace("/", "\\"))
                    for d in deletions]
        if exact and sorted(resolved) != sorted(wanted):
            results.append(Result(False, "pending", "registered %r, expected %r" % (resolved, wanted)))
        else:
            results += [Result(True, "pending", source) for source, target in pending if target == ""]
        return results

    def _check_processes(self, fixture):
        if self.running_after is None:
            return []
        by_image = {}
        for started, running in zip(self.started, self.running_after):
            if started.role == "process":
                by_image.setdefault(_windows_key(started.image), []).append(running)
        results = []
        for image in fixture.expect.ended:
            states = by_image.get(_windows_key(self.map(image)))
            if states is not None:  # else nothing of this image was started
                results.append(Result(not any(states), "ended", self.map(image)))
        for image in fixture.expect.running:
            states = by_image.get(_windows_key(self.map(image)))
            if states is not None:  # else one of Wine's own, or not planted: not checked
                results.append(Result(all(states), "running", self.map(image)))
        return results

    def _check_holders(self):
        if self.running_after is None:
            return []
        holders = [running for s, running in zip(self.started, self.running_after) if s.role == "holder"]
        if holders and not all(holders):
            return [Result(False, "running", "a holder of a locked file was ended")]
        return []

    def _check_started(self):
        wanted = []
        given = False
        for fixture in self.fixtures:
            if fixture.expect.started is not None:
                given = True
                wanted += [self.map(c) for c in fixture.expect.started]
        if not given or self.uninstaller_exe is None:
            return []
        got = self.uninstaller_records()
        # The records keep the order per program only.
        if sorted(got) == sorted(wanted):
            return [Result(True, "started", c) for c in got] or [Result(True, "started", "nothing")]
        return [Result(False, "started", "started %r, expected %r" % (got, wanted))]

    def _check_rest(self, before, after, changes, pending):
        """Everything no fixture expects to change is as it was."""
        files = set().union(*(c[0] for c in changes))
        keys = set().union(*(c[1] for c in changes))
        values = set().union(*(c[2] for c in changes))
        differences = []
        for key in sorted(set(before.files) | set(after.files)):
            if key in files:
                continue
            was, now = before.files.get(key), after.files.get(key)
            if not _same_file(was, now):
                differences.append("%s %s" % (key, "added" if was is None else
                                              "deleted" if now is None else "changed"))
        for key in sorted(set(before.registry) | set(after.registry)):
            if key in keys:
                continue
            was, now = before.registry.get(key), after.registry.get(key)
            if was is None or now is None:
                differences.append("key %s\\%s %s" % (key[0], key[1], "added" if was is None else "deleted"))
                continue
            for name in sorted(set(was) | set(now)):
                if key == SESSION_MANAGER and name == PENDING_VALUE:
                    continue  # checked with the pending deletions
                if was.get(name) != now.get(name) and key + (name,) not in values:
                    differences.append('value %s\\%s : "%s" %s' % (
                        key[0], key[1], name, "added" if name not in was else
                        "deleted" if name not in now else "changed"))
        if not differences:
            return [Result(True, "machine", "everything else is as it was")]
        return [Result(False, "machine", d) for d in differences]


def _same_file(was, now):
    if was is None or now is None:
        return was is now
    if was[0] == "dir":
        return now[0] == "dir" and was[4] == now[4]
    return was == now


def program_of_command(command):
    """The program of a command line: the quoted first part, or what comes
    before the first ".exe" that ends a word, or the first word."""
    command = command.strip()
    if command.startswith('"'):
        end = command.find('"', 1)
        return command[1:end] if end > 0 else command[1:]
    match = re.match(r"^(.*?\.exe)(?=\s|$)", command, re.IGNORECASE)
    return match.group(1) if match else command.split()[0]


def cleaned_names(console_output):
    """The Definition names the clean pass listed ("NAME found... cleaned")."""
    text = console_output.decode("utf-8", "replace").replace("\r\n", "\n")
    return re.findall(r"^(.*) found\.\.\. cleaned$", text, re.MULTILINE)


# --- Command line (scripts/demo.sh) -------------------------------------------------------

def _state_path(prefix):
    return os.path.join(os.path.dirname(os.path.abspath(prefix)), STATE_FILE_NAME)


def _command_plant(args, env):
    fixtures = [read_fixture(path) for path in args.fixtures]
    machine = FixtureMachine(fixtures, env["WINEPREFIX"], env, args.rogue, args.uninstaller)
    limits = machine.limitations()
    if limits:
        print("Wine cannot host these fixtures as written:\n  " + "\n  ".join(limits), file=sys.stderr)
        return 1
    machine.plant()
    machine.wait_for_wineserver()
    before = machine.snapshot()
    machine.start_processes()
    for fixture in fixtures:
        print("  %s (%s)" % (definition_name(fixture, definitions_dir_of(fixture)) if fixture.expect.found
                             else fixture.family, os.path.relpath(fixture.file)))
        for line in planted_summary(machine, fixture):
            print("      " + line)
    state = {"fixtures": args.fixtures, "rogue": args.rogue, "uninstaller": args.uninstaller,
             "drives": machine.drives, "uninstallers": machine.uninstallers,
             "started": [(s.image, s.pid, s.role) for s in machine.started], "before": before}
    with open(_state_path(machine.prefix), "wb") as handle:
        pickle.dump(state, handle)
    return 0


def planted_summary(machine, fixture):
    """Short lines saying what a fixture planted."""
    lines = []
    images = {_windows_key(machine.map(p.image)) for p in fixture.processes}
    for planted in fixture.files:
        path = machine.map(planted.path)
        notes = []
        if _windows_key(path) in images:
            notes.append("running")
        if planted.locked:
            notes.append("held open by another program")
        lines.append("file     %s%s" % (path, " (%s)" % ", ".join(notes) if notes else ""))
    lines += ["folder   %s" % machine.map(f.path) for f in fixture.folders]
    for key in fixture.keys:
        if not key.values:
            lines.append("key      %s" % key.path)
        for value in key.values:
            lines.append('value    %s : "%s"' % (key.path, value.name))
    return lines


def _load_state(env):
    with open(_state_path(env["WINEPREFIX"]), "rb") as handle:
        state = pickle.load(handle)
    fixtures = [read_fixture(path) for path in state["fixtures"]]
    machine = FixtureMachine(fixtures, env["WINEPREFIX"], env, state["rogue"], state["uninstaller"])
    machine.drives = state["drives"]
    machine.uninstallers = state["uninstallers"]
    machine.started = [Started(image, pid, role) for image, pid, role in state["started"]]
    return machine, state


def fixture_title(fixture):
    if fixture.expect.found:
        return definition_name(fixture, definitions_dir_of(fixture))
    return fixture.family


def print_results(machine, results):
    for fixture in machine.fixtures:
        print("  %s (%s):" % (fixture_title(fixture), fixture.label))
        for result in results:
            if result.fixture == fixture.label:
                print("    " + str(result))
    print("  The whole machine:")
    for result in results:
        if not result.fixture:
            print("    " + str(result))


def _command_check(args, env):
    machine, state = _load_state(env)
    machine.observe_processes()
    machine.release()
    machine.wait_for_wineserver()
    after = machine.snapshot()
    pending = machine.pending_deletions()
    names = None
    if args.output:
        with open(args.output, "rb") as handle:
            names = cleaned_names(handle.read())
    results = machine.check(state["before"], after, pending, names)
    print_results(machine, results)
    failed = [r for r in results if not r.ok]
    print("  %s" % ("Every expectation of the fixtures holds." if not failed
                    else "%d expectation(s) do not hold." % len(failed)))
    return 1 if failed else 0


def left_over(machine, snapshot, pending):
    """What is left of each fixture's planted traces: (fixture, state, text)
    with state "kept" (the fixture expects it to stay), "waiting" (registered
    for deletion at the next start) or "LEFT" (it should have gone)."""
    registered = {_windows_key(re.sub(r"^\\\?\?\\", "", source)) for source, target in pending
                  if target == ""}
    lines = []
    for fixture in machine.fixtures:
        gone = [_windows_key(machine.map(p)) for p in fixture.expect.gone if not is_registry_path(p)]
        gone += [_windows_key(machine.map(p)) for p in fixture.expect.pending_deletion or []]
        gone_keys = [split_key(p) for p in fixture.expect.gone if is_registry_path(p)]
        gone_values = {split_key(k) + (n.lower(),) for k, n in fixture.expect.values_gone}
        for entry in fixture.files + fixture.folders:
            path = machine.map(entry.path)
            key = _windows_key(path)
            if key not in snapshot.files:
                continue
            state = "waiting" if key in registered else \
                "LEFT" if any(_under(key, g) for g in gone) else "kept"
            lines.append((fixture, state, path))
        for planted in fixture.keys:
            hive_key = split_key(planted.path)
            if hive_key not in snapshot.registry:
                continue
            doomed = any(hive_key[0] == h and _under(hive_key[1], k) for h, k in gone_keys)
            if not planted.values:
                lines.append((fixture, "LEFT" if doomed else "kept", planted.path))
            for value in planted.values:
                if value.name.lower() in snapshot.registry[hive_key]:
                    wrong = doomed or hive_key + (value.name.lower(),) in gone_values
                    lines.append((fixture, "LEFT" if wrong else "kept",
                                  '%s : "%s"' % (planted.path, value.name)))
    return lines


def _command_left(args, env):
    machine, _ = _load_state(env)
    snapshot = machine.snapshot()
    lines = left_over(machine, snapshot, machine.pending_deletions())
    if not lines:
        print("  nothing")
    for fixture, state, text in lines:
        print("  %-8s %s" % (state, text))
    return 1 if any(state == "LEFT" for _, state, _ in lines) else 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    plant = commands.add_parser("plant", help="plant fixtures into $WINEPREFIX and start their processes")
    plant.add_argument("--rogue", required=True, help="the rogue.exe test program")
    plant.add_argument("--uninstaller", help="the uninstaller.exe test program")
    plant.add_argument("fixtures", nargs="+")
    check = commands.add_parser("check", help="after the run: end the processes, check the fixtures")
    check.add_argument("--output", help="the program's console output, to check what it listed")
    commands.add_parser("left", help="what is left of the planted traces (after `check`)")
    args = parser.parse_args(argv[1:])
    env = dict(os.environ)
    if "WINEPREFIX" not in env:
        print("fixture_machine.py: set WINEPREFIX", file=sys.stderr)
        return 2
    try:
        command = {"plant": _command_plant, "check": _command_check, "left": _command_left}
        return command[args.command](args, env)
    except FixtureError as error:
        print("fixture_machine.py: %s" % error, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
