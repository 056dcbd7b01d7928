"""The harness's own promises, checked against Wine itself: a machine cannot
reach the real home folder or (when asked) the Linux file system, registry data
planted through regedit reads back exactly from the files wineserver writes,
and the deletions registered for the next start are read before the next
Wine start carries them out."""

import os
import tempfile
import unittest

from e2e_support import session
from winehelper import parse_registry_file

SESSION_MANAGER = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager"


def multi_sz_hex(strings):
    """A REG_MULTI_SZ as the hex(7) data of a .reg file."""
    data = "".join(s + "\0" for s in strings).encode("utf-16-le") + b"\0\0"
    return "hex(7):" + ",".join("%02x" % b for b in data)


class MachineIsolationTest(unittest.TestCase):

    def test_profile_folders_are_real_folders_inside_the_prefix(self):
        machine = session().new_machine()
        self.addCleanup(machine.close)
        profile = os.path.join(machine.drive_c, "users", machine.user)
        for folder in ("Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos"):
            with self.subTest(folder=folder):
                path = os.path.join(profile, folder)
                self.assertFalse(os.path.islink(path))
                self.assertTrue(os.path.isdir(path))

    def test_removed_z_drive_is_unreachable_from_windows(self):
        machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(machine.close)
        result = machine.wine("cmd", "/c", r"if exist Z:\ (echo reachable) else (echo gone)")
        self.assertEqual(result.stdout.strip(), b"gone")
        result = machine.wine("cmd", "/c", r"if exist C:\windows (echo reachable) else (echo gone)")
        self.assertEqual(result.stdout.strip(), b"reachable")


class RegistryRoundTripTest(unittest.TestCase):

    def setUp(self):
        self.machine = session().new_machine()
        self.addCleanup(self.machine.close)

    def test_planted_values_read_back_from_the_registry_files(self):
        self.machine.import_registry(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenwick E2E\\Caf\u00e9 \u00c9dition]\n"
            "\"Path\"=\"C:\\\\Program Files\\\\Caf\u00e9\\\\run.exe\"\n"
            "\"Quote\"=\"say \\\"hi\\\"\"\n"
            "\"Count\"=dword:0000002a\n"
            "@=\"default\"\n")
        self.machine.reg_add(r"HKCU\Software\Quenwick E2E", "Run", "REG_SZ", r"C:\x\y.exe /s")
        self.machine.wait()

        machine_key = self.machine.registry("HKLM")["software\\quenwick e2e\\caf\u00e9 \u00e9dition"]
        self.assertEqual(machine_key["path"], ("str", "C:\\Program Files\\Caf\u00e9\\run.exe"))
        self.assertEqual(machine_key["quote"], ("str", 'say "hi"'))
        self.assertEqual(machine_key["count"], ("dword", 42))
        self.assertEqual(machine_key[""], ("str", "default"))
        user_key = self.machine.registry("HKCU")["software\\quenwick e2e"]
        self.assertEqual(user_key["run"], ("str", r"C:\x\y.exe /s"))

    def test_pending_deletions_are_read_before_the_next_start_carries_them_out(self):
        self.machine.plant_file(r"C:\rogue\locked.txt", b"x")
        operations = [r"\??\C:\rogue\locked.txt", "", r"\??\C:\rogue", ""]
        self.machine.import_registry("[%s]\n\"PendingFileRenameOperations\"=%s\n"
                                     % (SESSION_MANAGER, multi_sz_hex(operations)))
        self.machine.wait()
        self.assertEqual(self.machine.pending_file_renames(),
                         [(r"\??\C:\rogue\locked.txt", ""), (r"\??\C:\rogue", "")])
        self.assertTrue(self.machine.exists(r"C:\rogue\locked.txt"))

        # Any new Wine session runs the prefix's start-up first.
        self.machine.wine("cmd", "/c", "exit")
        self.machine.wait()
        self.assertFalse(self.machine.exists(r"C:\rogue"))
        self.assertEqual(self.machine.pending_file_renames(), [])


class RegistryFileParserTest(unittest.TestCase):
    """Wine's registry file syntax, without Wine."""

    def parse(self, text):
        with tempfile.NamedTemporaryFile("w", suffix=".reg", encoding="utf-8",
                                         delete=False) as handle:
            handle.write(text)
        self.addCleanup(os.unlink, handle.name)
        return parse_registry_file(handle.name)

    def test_escapes_continuations_and_types(self):
        keys = self.parse(
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to \\\\Machine\n\n"
            "[Software\\\\Caf\\xe9\\\\Sub] 1700000000\n"
            "#time=1dd872e417bd98e\n"
            "\"N\\xe9\"=\"v\\xe9\\\\x\"\n"
            "\"Hex\"=hex:00,01,02,\\\n  03,04\n"
            "\"Multi\"=str(7):\"a\\0\\0b\\0\\0\"\n"
            "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
            "\"Seven\"=\"\\x0007a\"\n"
            "@=dword:00000010\n")
        key = keys["software\\caf\u00e9\\sub"]
        self.assertEqual(key["n\u00e9"], ("str", "v\u00e9\\x"))
        self.assertEqual(key["hex"], ("hex", bytes([0, 1, 2, 3, 4])))
        self.assertEqual(key["multi"], ("str(7)", ["a", "", "b"]))
        self.assertEqual(key["expand"], ("str(2)", "%SystemRoot%\\x"))
        # Four hex digits are written when a hex digit follows the escape.
        self.assertEqual(key["seven"], ("str", "\x07a"))
        self.assertEqual(key[""], ("dword", 16))


if __name__ == "__main__":
    unittest.main()
