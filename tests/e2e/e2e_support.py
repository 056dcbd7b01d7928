"""What every end-to-end test shares: the Wine session of the run, the
executables of the build, and the program's texts as they reach a pipe."""

import json
import os

import winehelper

_session = None


def session():
    """The run's Wine session (template prefix and virtual display), made on
    first use; run_tests.py closes it."""
    global _session
    if _session is None:
        _session = winehelper.WineSession(display=True)
    return _session


def close_session():
    global _session
    if _session is not None:
        _session.close()
        _session = None


def _manifest():
    path = os.environ.get("QUENWICK_E2E_MANIFEST")
    if not path:
        raise RuntimeError("QUENWICK_E2E_MANIFEST is not set; run the tests through run.sh")
    with open(path, encoding="utf-8") as handle:
        return json.load(handle)


def executable(variant):
    """The path of quenwick.exe built with the given database or resource
    (see make_resources.py)."""
    return _manifest()["executables"][variant]


def has_executable(variant):
    return variant in _manifest()["executables"]


def definitions_dir():
    """The source tree's definitions/, which the shipped executable embeds."""
    return _manifest()["definitions_dir"]


def definition_names(database):
    """The Definition names of one.db or three.db, in database order."""
    with open(os.path.join(_manifest()["data_dir"], "definitions.json"), encoding="utf-8") as f:
        return json.load(f)[database]


def build_year():
    return _manifest()["build_year"]


# --- Console texts ---------------------------------------------------------------
# The program writes "\n"; the C runtime's text mode turns it into "\r\n" on
# a pipe. Wide texts (Definition names) reach the pipe as UTF-8.

def console(text):
    return text.replace("\n", "\r\n").encode("utf-8")


FRAME_WIDTH = 72


def banner():
    stars = "*" * FRAME_WIDTH
    title = "***    Quenwick".ljust(FRAME_WIDTH - 3) + "***"
    rights = "***    Copyright (C) %s The Quenwick developers. Free software.    ***" % build_year()
    return console("\n".join([stars, title, rights, stars, "", ""]))


SCANNING = console("Scanning...\n")
NOTHING_FOUND = console("done, nothing found\n")
CORRUPTED = console("Error: exe file corrupted, program will terminate now.\n")
USAGE = console(
    "\nUsage: Quenwick [/silent [/norestart]]\n\n"
    "\t/silent    scan, eventually clean and restart pc without any user interaction.\n"
    "\t/silent /norestart    scan and clean pc without user interaction but don't restart the pc.\n")


def summary(found, cleaned):
    return console("\n%d rogue applcation(s) found, %d cleaned.\n" % (found, cleaned))


def found_lines(names):
    """The scan pass's lines for the names found."""
    return b"".join(console("%s found.\n" % name) for name in names)


def cleaned_lines(names):
    """The clean pass's lines for Definitions that were found and cleaned."""
    return b"".join(console("%s found... cleaned\n" % name) for name in names)


# --- Message boxes: (caption, text) -----------------------------------------------

SCAN_QUESTION = ("Quenwick", "Do you want to scan your computer for rogue software?")
DONE_NOTICE = ("Done", "Done, nothing found.")
RESTART_QUESTION = (
    "Reboot required",
    "Please restart your computer to complete the cleaning process. "
    "Do you want to restart your computer now?")


def removal_question(found):
    if found == 1:
        text = "%d rogue application found. Would you like to remove it from computer?"
    else:
        text = "%d rogue applications found. Would you like to remove them from computer?"
    return ("Rogue application found", text % found)
