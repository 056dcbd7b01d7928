"""Scanning under Wine, with scan.db (see scan_database.py): traces planted
in a fresh prefix (files, folders, keys, values of several types, an
autostart value with a quoted command line) are found by the interactive scan
pass and by "/silent"; texts that must not be recognised (short and truncated
root names, a misspelt variable, a shell-folder macro the program does not
know, wildcards, a file where a folder is expected and the reverse) find
nothing, although what they seem to name is there.
"""

import json
import os
import unittest

from e2e_support import (SCAN_QUESTION, SCANNING, banner, cleaned_lines, executable, found_lines,
                         removal_question, session, summary)
from winehelper import NO

EXIT_OK = 0
UNATTENDED = ("/silent", "/norestart")

PROGRAM = r"C:\Program Files\QuenwickRogue\rogue.exe"
AGENT = r"C:\Program Files\QuenwickRogue\bin\agent.exe"
# "<agent>\..\..\QuenwickRogue Data": two levels up from the program file.
AGENT_DATA = r"C:\Program Files\QuenwickRogue\QuenwickRogue Data"


def expectations():
    """The names scan.db must report as found and as absent (scan.json)."""
    with open(os.environ["QUENWICK_E2E_MANIFEST"], encoding="utf-8") as handle:
        data_dir = json.load(handle)["data_dir"]
    with open(os.path.join(data_dir, "scan.json"), encoding="utf-8") as handle:
        return json.load(handle)


def utf16_hex(text):
    """REG_EXPAND_SZ data as a .reg file writes it: hex(2) bytes, terminator included."""
    return ",".join("%02x" % b for b in (text + "\0").encode("utf-16-le"))


class ScanTest(unittest.TestCase):

    def setUp(self):
        self.machine = session().new_machine()
        self.addCleanup(self.machine.close)
        self.expected = expectations()

    def windows_variable(self, name):
        output = self.machine.wine("cmd", "/c", "echo %" + name + "%").stdout
        return output.decode("utf-8", "replace").strip()

    def plant_traces(self):
        machine = self.machine
        machine.plant_file(PROGRAM, b"MZ")
        machine.plant_file(AGENT, b"MZ")
        os.makedirs(machine.host_path(AGENT_DATA))
        windows = self.windows_variable("SystemRoot")
        appdata = self.windows_variable("APPDATA")
        self.assertRegex(appdata, r"^[cC]:\\")
        os.makedirs(machine.host_path(appdata + r"\QuenwickRogue"))
        # What the texts that must not be recognised seem to name.
        machine.plant_file(windows + r"\quenwick_rogue.exe", b"MZ")
        machine.plant_file(appdata + r"\Microsoft\Internet Explorer\Quick Launch\QuenwickRogue.lnk", b"L")
        # The program a REG_EXPAND_SZ value names through %SystemRoot%.
        machine.plant_file(windows + r"\quenwick_helper.exe", b"MZ")
        machine.import_registry("\n".join([
            r"[HKEY_CURRENT_USER\Software\QuenwickRogue]",
            '@="default"',
            '"NoData"=hex:',
            '"Installed"=dword:00000001',
            '"Helper"=hex(2):' + utf16_hex(r"%SystemRoot%\quenwick_helper.exe"),
            "",
            r"[HKEY_LOCAL_MACHINE\SOFTWARE\QuenwickRogue]",
            '"Version"="1.0"',
            "",
            r"[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]",
            r'"QuenwickRogue Agent"="\"C:\\Program Files\\QuenwickRogue\\bin\\agent.exe\" /tray"',
            "",
        ]))

    def test_interactive_scan_pass_finds_exactly_the_planted_traces(self):
        self.plant_traces()
        found = self.expected["found"]
        result = self.machine.run_interactive(
            executable("scan"), answers=[("Quenwick", "y"), ("Rogue application found", NO)])
        self.assertEqual(result.unexpected_boxes, [], "boxes shown: %r" % result.boxes)
        self.assertEqual(result.stdout, banner() + SCANNING + found_lines(found) + summary(len(found), 0))
        self.assertEqual(result.boxes, [SCAN_QUESTION, removal_question(len(found))])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_unattended_run_finds_exactly_the_planted_traces(self):
        self.plant_traces()
        found = self.expected["found"]
        result = self.machine.run(executable("scan"), *UNATTENDED)
        self.assertEqual(result.stdout,
                         banner() + SCANNING + cleaned_lines(found) + summary(len(found), len(found)))
        self.assertEqual(result.exit_code, EXIT_OK)
        # The Definitions only look: every trace is still there.
        self.assertTrue(self.machine.exists(PROGRAM))
        self.machine.wait()
        hkcu = self.machine.registry("HKCU")
        self.assertIn("installed", hkcu[r"software\quenwickrogue"])

    def test_clean_prefix_finds_nothing(self):
        result = self.machine.run(executable("scan"), *UNATTENDED)
        self.assertEqual(result.stdout, banner() + SCANNING + summary(0, 0))
        self.assertEqual(result.exit_code, EXIT_OK)


if __name__ == "__main__":
    unittest.main()
