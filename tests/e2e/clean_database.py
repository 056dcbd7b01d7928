#!/usr/bin/env python3
"""Writes the database of the cleaning end-to-end tests.

    clean_database.py OUTPUT_DIR

Writes OUTPUT_DIR/clean.db, a decompressed database (the build compresses
it, DATABASE of quenwick_add_executable), with one Definition, "Rogue
Defender 2009", that test_clean.py plants on a fresh machine: its autostart
value, running processes, uninstallers, files, folders, keys and values.
Its actions, in order:

  1  KillProcess of the autostart command line (quoted program, arguments)
  2  KillProcess of the guard program, a plain path with arguments
  3  InnoSetupUninstall of "RogueDefender_is1"
  4  Uninstall of uninst\\remove.exe with "/S /quiet"
  5  Uninstall of the slow uninstaller, which outlives the wait
  6  FileDelete of the desktop shortcut
  7  FileDelete of the program folder (a folder: left alone)
  8  FolderDelete of the program folder (one file held open by another program)
  9  FolderDelete of the data folder (holds the still running slow uninstaller)
 10  FolderDelete of the roaming folder (holds links to places outside it)
 11  RegKeyDelete of the program's key tree under HKEY_LOCAL_MACHINE
 12  RegKeyDelete of its key under HKEY_CURRENT_USER
 13  RegKeyDelete of its uninstall entry
 14  RegValueDelete of its autostart value
 15  RegValueDelete of its tray autostart value under HKEY_CURRENT_USER
 16  RegKeyDelete of "HKEY_CURRENT_USER\\" (a whole root: must touch nothing)
"""

import os
import struct
import sys

# Element types.
FOLDER_EXIST = 1
REG_VALUE_DELETE, REG_KEY_DELETE, FILE_DELETE, FOLDER_DELETE = 4, 5, 6, 7
GET_REG_VALUE, UNINSTALL, INNO_SETUP_UNINSTALL, KILL_PROCESS = 9, 10, 13, 14

NAME = "Rogue Defender 2009"
RUN_KEY_HKLM = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_KEY_HKCU = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
UNINSTALL_PREFIX = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
PROGRAM_FOLDER = "%CSIDL_PROGRAM_FILES%\\Rogue Defender"


def u32(value):
    return struct.pack("<I", value)


def text(value):
    """A zero-terminated UTF-16LE text."""
    return value.encode("utf-16-le") + b"\0\0"


def lit(value):
    return u32(1) + text(value)


def var(slot):
    return u32(0) + u32(slot)


def one_operand(kind, operand):
    return u32(kind) + operand


def two_operands(kind, first, second):
    return u32(kind) + first + second


def get_reg_value(key, name, target):
    return u32(GET_REG_VALUE) + key + name + u32(target)


def inno_setup_uninstall(application_key):
    return (u32(INNO_SETUP_UNINSTALL) + text(UNINSTALL_PREFIX) + text("UninstallString")
            + text(" /SILENT /NORESTART") + application_key)


def definition(name, ident, variables, preconditions, actions):
    return (u32(variables) + text(name) + text(ident)
            + u32(len(preconditions)) + b"".join(preconditions)
            + u32(len(actions)) + b"".join(actions))


PRECONDITIONS = [
    get_reg_value(lit(RUN_KEY_HKLM), lit("Rogue Defender"), 0),
    one_operand(FOLDER_EXIST, lit(PROGRAM_FOLDER)),
]

ACTIONS = [
    one_operand(KILL_PROCESS, var(0)),
    one_operand(KILL_PROCESS, lit(PROGRAM_FOLDER + "\\guard.exe -watch")),
    inno_setup_uninstall(lit("RogueDefender_is1")),
    two_operands(UNINSTALL, lit(PROGRAM_FOLDER + "\\uninst\\remove.exe"), lit("/S /quiet")),
    two_operands(UNINSTALL, lit("%CSIDL_COMMON_APPDATA%\\Rogue Defender\\slowuninst.exe"), lit("")),
    one_operand(FILE_DELETE, lit("%CSIDL_DESKTOPDIRECTORY%\\Rogue Defender.lnk")),
    one_operand(FILE_DELETE, lit(PROGRAM_FOLDER)),
    one_operand(FOLDER_DELETE, lit(PROGRAM_FOLDER)),
    one_operand(FOLDER_DELETE, lit("%CSIDL_COMMON_APPDATA%\\Rogue Defender")),
    one_operand(FOLDER_DELETE, lit("%CSIDL_APPDATA%\\Rogue Defender")),
    one_operand(REG_KEY_DELETE, lit("HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue Defender")),
    one_operand(REG_KEY_DELETE, lit("HKEY_CURRENT_USER\\Software\\Rogue Defender")),
    one_operand(REG_KEY_DELETE, lit(UNINSTALL_PREFIX + "RogueDefender_is1")),
    two_operands(REG_VALUE_DELETE, lit(RUN_KEY_HKLM), lit("Rogue Defender")),
    two_operands(REG_VALUE_DELETE, lit(RUN_KEY_HKCU), lit("Rogue Defender Tray")),
    one_operand(REG_KEY_DELETE, lit("HKEY_CURRENT_USER\\")),
]


def database():
    record = definition(NAME, "901", 1, PRECONDITIONS, ACTIONS)
    return u32(1) + record


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    os.makedirs(argv[1], exist_ok=True)
    with open(os.path.join(argv[1], "clean.db"), "wb") as handle:
        handle.write(database())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
