#!/usr/bin/env python3
"""Writes the database of the scan end-to-end tests.

    scan_database.py OUTPUT_DIR

Writes OUTPUT_DIR/scan.db (a decompressed database; the build compresses it,
DATABASE of quenwick_add_executable) and OUTPUT_DIR/scan.json, which lists
the Definitions that the traces planted by test_scan.py must make found and
those that must stay absent.

Every Definition only looks (preconditions, no actions), so a clean pass
changes nothing and prints "<name> found... cleaned" for each found one.
"""

import json
import os
import struct
import sys

# Element types.
FILE_EXIST, FOLDER_EXIST, REG_KEY_EXIST, REG_VALUE_EXIST = 0, 1, 2, 3
STR_CONCAT, GET_REG_VALUE, EXTRACT_PATH = 8, 9, 12

ROGUE_KEY_HKCU = "HKEY_CURRENT_USER\\Software\\QuenwickRogue"
ROGUE_KEY_HKLM = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuenwickRogue"
RUN_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"


def u32(value):
    return struct.pack("<I", value)


def text(value):
    """A zero-terminated UTF-16LE text."""
    return value.encode("utf-16-le") + b"\0\0"


def lit(value):
    return u32(1) + text(value)


def var(slot):
    return u32(0) + u32(slot)


def file_exist(path):
    return u32(FILE_EXIST) + path


def folder_exist(path):
    return u32(FOLDER_EXIST) + path


def reg_key_exist(key):
    return u32(REG_KEY_EXIST) + key


def reg_value_exist(key, name):
    return u32(REG_VALUE_EXIST) + key + name


def str_concat(first, second, target):
    return u32(STR_CONCAT) + first + second + u32(target)


def get_reg_value(key, name, target):
    return u32(GET_REG_VALUE) + key + name + u32(target)


def extract_path(command, target):
    return u32(EXTRACT_PATH) + u32(target) + command


def definition(name, ident, variables, preconditions):
    return (u32(variables) + text(name) + text(ident) + u32(len(preconditions)) + b"".join(preconditions)
            + u32(0))


# (name, variables, preconditions, found once the traces are planted)
DEFINITIONS = [
    # Found.
    ("Scan File In Program Files", 0,
     [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\rogue.exe"))], True),
    ("Scan Folder In AppData", 0, [folder_exist(lit("%AppData%\\QuenwickRogue"))], True),
    ("Scan Key In HKCU", 0, [reg_key_exist(lit(ROGUE_KEY_HKCU))], True),
    ("Scan Key Lower Case Root", 0, [reg_key_exist(lit("hkey_current_user\\software\\quenwickrogue"))], True),
    ("Scan String Value In HKLM", 0, [reg_value_exist(lit(ROGUE_KEY_HKLM), lit("Version"))], True),
    ("Scan Default Value", 0, [reg_value_exist(lit(ROGUE_KEY_HKCU), lit(""))], True),
    ("Scan Empty Binary Value", 0, [reg_value_exist(lit(ROGUE_KEY_HKCU), lit("NoData"))], True),
    ("Scan Dword Value", 1, [get_reg_value(lit(ROGUE_KEY_HKCU), lit("Installed"), 0)], True),
    ("Scan Expand Value Path", 1,
     [get_reg_value(lit(ROGUE_KEY_HKCU), lit("Helper"), 0), file_exist(var(0))], True),
    # The chain of an autostart value: the program from the command line,
    # then the data folder two levels above it.
    ("Scan Run Value Chain", 2,
     [get_reg_value(lit(RUN_KEY), lit("QuenwickRogue Agent"), 0),
      extract_path(var(0), 0),
      str_concat(var(0), lit("\\..\\.."), 1),
      str_concat(var(1), lit("\\QuenwickRogue Data"), 1),
      file_exist(var(0)),
      folder_exist(var(1))], True),
    ("Scan Two Traces", 0,
     [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\rogue.exe")),
      reg_key_exist(lit(ROGUE_KEY_HKLM))], True),
    # Absent.
    ("Scan Missing File", 0, [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\missing.exe"))], False),
    ("Scan Folder As File", 0, [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue"))], False),
    ("Scan File As Folder", 0, [folder_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\rogue.exe"))], False),
    # A text that begins with a quote is not expanded: the macro stays.
    ("Scan Quoted Slashed File", 0,
     [file_exist(lit("\"%csidl_program_files%/QuenwickRogue//rogue.exe\""))], False),
    ("Scan Wildcard File", 0, [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\*.exe"))], False),
    ("Scan Wildcard Folder", 0, [folder_exist(lit("%CSIDL_PROGRAM_FILES%\\Quenwick?ogue"))], False),
    ("Scan Misspelt Variable", 0, [file_exist(lit("%SystemRooot%\\quenwick_rogue.exe"))], False),
    ("Scan Quick Launch Macro", 0, [file_exist(lit("%CSIDL_QUICKLAUNCH%\\QuenwickRogue.lnk"))], False),
    ("Scan Short Root Name", 0, [reg_key_exist(lit("HKLM\\SOFTWARE\\QuenwickRogue"))], False),
    ("Scan Truncated Root Name", 0, [reg_key_exist(lit("KEY_LOCAL_MACHINE\\SOFTWARE\\QuenwickRogue"))], False),
    ("Scan Short Root Value", 1, [get_reg_value(lit("HKLM\\SOFTWARE\\QuenwickRogue"), lit("Version"), 0)], False),
    ("Scan Bare Root", 0, [reg_key_exist(lit("HKEY_LOCAL_MACHINE"))], False),
    ("Scan Missing Key", 0, [reg_key_exist(lit("HKEY_CURRENT_USER\\Software\\QuenwickAbsent"))], False),
    ("Scan Missing Value", 0, [reg_value_exist(lit(ROGUE_KEY_HKLM), lit("Missing"))], False),
    ("Scan Unset Default", 0, [reg_value_exist(lit(ROGUE_KEY_HKLM), lit(""))], False),
    ("Scan Missing Run Value", 1,
     [get_reg_value(lit(RUN_KEY), lit("QuenwickAbsent Agent"), 0), file_exist(var(0))], False),
    ("Scan Second Trace Missing", 0,
     [file_exist(lit("%CSIDL_PROGRAM_FILES%\\QuenwickRogue\\rogue.exe")),
      reg_key_exist(lit("HKEY_LOCAL_MACHINE\\SOFTWARE\\QuenwickAbsent"))], False),
]

def database():
    records = [definition(name, str(500 + i), variables, preconditions)
               for i, (name, variables, preconditions, _) in enumerate(DEFINITIONS)]
    return u32(len(records)) + b"".join(records)


def expectations():
    return {
        "found": [name for name, _, _, found in DEFINITIONS if found],
        "absent": [name for name, _, _, found in DEFINITIONS if not found],
    }


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    os.makedirs(argv[1], exist_ok=True)
    with open(os.path.join(argv[1], "scan.db"), "wb") as handle:
        handle.write(database())
    with open(os.path.join(argv[1], "scan.json"), "w", encoding="utf-8") as handle:
        json.dump(expectations(), handle, indent=2)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
