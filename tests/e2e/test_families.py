"""The two family-specific elements under Wine, with families.db (see
family_databases.py), run unattended ("/silent /norestart"):

- a family key under HKEY_CURRENT_USER\\Software, with an encoded "pPath" in
  its "Options" subkey, is found among decoys; the program running at the
  decoded path is ended, its file, the key and the autorun value deleted,
  and the decoys' files and keys stay;
- a "Userinit" value with the system's program and a rogue entry is written
  back with the system's entry and its comma only; a value of only rogue
  entries becomes the system's own logon program.
"""

import os
import shutil
import subprocess
import time
import unittest

from e2e_support import cleaned_lines, executable, session
from family_databases import ANTIVIRUS_NAME, ASD_NAME, encode_path

EXIT_OK = 0
UNATTENDED = ("/silent", "/norestart")
# How long a started program gets to show up in the prefix's process list.
PROGRAM_START_TIMEOUT_S = 20
PROGRAM_END_TIMEOUT_S = 20

SOFTWARE = "Software"
RUN = r"Software\Microsoft\Windows\CurrentVersion\Run"
WINLOGON = r"software\microsoft\windows nt\currentversion\winlogon"
WINLOGON_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon"

FAMILY_KEY = "0123456789ABCDEF0123456789abcdef"
PROGRAM = r"C:\Program Files\av2009\av.exe"
# Keys the walk must pass over: wrong lengths (one too long for the name
# buffer), and a non-hex character. Each names a file that must stay.
DECOYS = {
    "0" * 40: r"C:\decoys\long.exe",
    "0123456789ABCDEF0123456789abcde": r"C:\decoys\short.exe",
    "0123456789ABCDEF0123456789abcdef0": r"C:\decoys\longer.exe",
    "0123456789ABCDEF0123456789abcdeg": r"C:\decoys\nothex.exe",
}

SYSTEM_USERINIT = r"C:\windows\system32\userinit.exe"
ROGUE_USERINIT = r"C:\Program Files\Advansed Spyware Detector\asd.exe"


def reg_string(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def rogue_program():
    """A small Windows program that keeps running until it is ended
    (programs/rogue.c)."""
    return executable("program_rogue")


class FamilyTest(unittest.TestCase):

    def setUp(self):
        self.machine = session().new_machine()
        self.addCleanup(self.machine.close)

    def run_unattended(self):
        result = self.machine.run(executable("families"), *UNATTENDED)
        self.assertEqual(result.exit_code, EXIT_OK, result.stderr[-2000:])
        return result

    def start_program(self, windows_path):
        """Starts the rogue stand-in installed at windows_path and waits until
        it reports that it runs (it writes its process id into a file)."""
        held = r"C:\rogue-held.bin"
        ready = r"C:\rogue-ready.txt"
        process = subprocess.Popen(
            ["wine", windows_path, held, ready], env=self.machine._env(),
            cwd=self.machine.drive_c, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(self._stop, process)
        deadline = time.monotonic() + PROGRAM_START_TIMEOUT_S
        while time.monotonic() < deadline:
            if self.machine.exists(ready) and os.path.getsize(self.machine.host_path(ready)):
                return process
            if process.poll() is not None:
                self.fail("%s ended at once (%d)" % (windows_path, process.returncode))
            time.sleep(0.2)
        self.fail("%s did not start" % windows_path)

    @staticmethod
    def _stop(process):
        if process.poll() is None:
            process.kill()
            process.wait()

    def test_family_key_program_and_autorun_are_removed(self):
        machine = self.machine
        os.makedirs(os.path.dirname(machine.host_path(PROGRAM)), exist_ok=True)
        shutil.copyfile(rogue_program(), machine.host_path(PROGRAM))
        lines = []
        for name, path in DECOYS.items():
            machine.plant_file(path, b"decoy")
            lines += [r"[HKEY_CURRENT_USER\%s\%s]" % (SOFTWARE, name),
                      '"pPath"=%s' % reg_string(path), ""]
        lines += [r"[HKEY_CURRENT_USER\%s\%s]" % (SOFTWARE, FAMILY_KEY),
                  '"pPath"=%s' % reg_string(r"C:\decoys\own-values-are-not-searched.exe"), "",
                  r"[HKEY_CURRENT_USER\%s\%s\Options]" % (SOFTWARE, FAMILY_KEY),
                  '"pPath"=%s' % reg_string(encode_path(PROGRAM, "D")), "",
                  r"[HKEY_CURRENT_USER\%s]" % RUN,
                  '"%s"=%s' % (FAMILY_KEY, reg_string(PROGRAM)),
                  '"Keep"=%s' % reg_string(r"C:\decoys\long.exe"), ""]
        machine.import_registry("\n".join(lines))
        program = self.start_program(PROGRAM)

        result = self.run_unattended()

        self.assertIn(cleaned_lines([ANTIVIRUS_NAME]), result.stdout)
        self.assertNotIn(ASD_NAME.encode(), result.stdout)
        program.wait(PROGRAM_END_TIMEOUT_S)  # raises if the program still runs
        self.assertFalse(machine.exists(PROGRAM))
        for path in DECOYS.values():
            self.assertTrue(machine.exists(path), path)
        machine.wait()
        hkcu = machine.registry("HKCU")
        software = SOFTWARE.lower() + "\\"
        family = software + FAMILY_KEY.lower()
        self.assertFalse([k for k in hkcu if k == family or k.startswith(family + "\\")])
        for name in DECOYS:
            self.assertIn(software + name.lower(), hkcu)
        run = hkcu[RUN.lower()]
        self.assertNotIn(FAMILY_KEY.lower(), run)
        self.assertIn("keep", run)

    def plant_userinit(self, text):
        self.machine.reg_add(WINLOGON_KEY, "Userinit", "REG_SZ", text)
        self.machine.wait()
        return self.machine.registry("HKLM")[WINLOGON]

    def test_userinit_keeps_the_system_entry_and_drops_the_rogue(self):
        before = self.plant_userinit(SYSTEM_USERINIT + "," + ROGUE_USERINIT)

        result = self.run_unattended()

        self.assertIn(cleaned_lines([ASD_NAME]), result.stdout)
        self.machine.wait()
        after = self.machine.registry("HKLM")[WINLOGON]
        self.assertEqual(after["userinit"], ("str", SYSTEM_USERINIT + ","))
        # Every other value of Winlogon is as it was.
        del before["userinit"], after["userinit"]
        self.assertEqual(after, before)

    def test_userinit_of_only_rogue_entries_gets_the_system_program(self):
        self.plant_userinit(ROGUE_USERINIT + "," + ROGUE_USERINIT.upper())

        result = self.run_unattended()

        self.assertIn(cleaned_lines([ASD_NAME]), result.stdout)
        self.machine.wait()
        kind, text = self.machine.registry("HKLM")[WINLOGON]["userinit"]
        self.assertEqual(kind, "str")
        self.assertEqual(text.lower(), SYSTEM_USERINIT.lower() + ",")

    def test_nothing_planted_finds_nothing(self):
        result = self.run_unattended()
        self.assertNotIn(ANTIVIRUS_NAME.encode(), result.stdout)
        self.assertNotIn(ASD_NAME.encode(), result.stdout)


if __name__ == "__main__":
    unittest.main()
