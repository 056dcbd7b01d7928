"""What removal refuses, on the real executable under Wine: texts taken from
the infected machine that name the drive, a whole registry branch, another
program's key behind a registry link, a system process, or the program
itself. Each test plants a rogue in a fresh prefix whose text turns a
Definition of guard_definitions/ against the machine, runs "/silent
/norestart", and checks that the rest of the machine is exactly as it was.
The prefixes have no Z: drive, so that no path can reach outside them.

Registry links under Wine 8 behave as on Windows (the contract suite,
tests/contract/registry_link_contract_test.cpp, pins this down under Wine):
a key made with REG_OPTION_CREATE_LINK and a REG_LINK "SymbolicLinkValue"
(the target's native path, without a terminating zero) is followed when
opened normally and by RegDeleteKeyW; opened with REG_OPTION_OPEN_LINK it
shows itself, with that value only, and NtDeleteKey through such a handle
deletes the link and leaves its target. Wine marks a link key "#link" in its
registry file, which the link test reads to make sure it planted links.

Wine limitations:
- SfcIsFileProtected always answers FALSE (no Windows Resource Protection),
  so the refusal of single Windows files cannot be seen here: the Definitions
  delete no file of the Windows folder (the unit tests cover it on the
  simulated machine).
- A prefix has no winlogon, lsass, csrss, smss or wininit; services.exe is
  the one critical system program that runs there.
"""

import os
import shutil
import time
import unittest

from e2e_support import SCANNING, banner, cleaned_lines, executable, session, summary
from test_clean import file_tree, registry_entries

UNATTENDED = ("/silent", "/norestart")
RUN_TIMEOUT_S = 120
# Time the background programs get to start, and to end once told to.
START_TIMEOUT_S = 30
END_TIMEOUT_S = 15

# The Definitions' names (guard_definitions/).
DOT_DOT = "Dot Dot Rogue"
EMPTY_VALUE = "Empty Value Rogue"
LINKED = "Linked Rogue"
SERVICES = "Services Rogue"
DOWNLOAD = "Download Rogue"

RUN = r"software\microsoft\windows\currentversion\run"
STATE = "C:\\e2e-state"  # ready and release markers of the background programs

BYSTANDER_NATIVE = "\\Registry\\Machine\\SOFTWARE\\Bystander"
BYSTANDER_REGISTRY = r"""
[HKEY_LOCAL_MACHINE\SOFTWARE\Bystander]
"Version"="2.0"

[HKEY_LOCAL_MACHINE\SOFTWARE\Bystander\Config]
"Licence"="ABCD-EFGH"
"Seats"=dword:00000005
"""
BYSTANDER_KEYS = {("HKLM", r"software\bystander"), ("HKLM", r"software\bystander\config")}


def cleaned(*names):
    return banner() + SCANNING + cleaned_lines(names) + summary(len(names), len(names))


def under(key, roots):
    return any(key[0] == hive and (key[1] == root or key[1].startswith(root + "\\"))
               for hive, root in roots)


class GuardTest(unittest.TestCase):

    def new_machine(self):
        self.machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(self.machine.close)
        return self.machine

    def run_silent(self, folder="C:\\"):
        return self.machine.run(executable("guard"), *UNATTENDED, timeout=RUN_TIMEOUT_S,
                                folder=folder)

    def snapshot(self):
        """Writes the registry to its files and returns (registry, files)."""
        self.machine.wait()
        return registry_entries(self.machine), file_tree(self.machine.drive_c)

    def plant_registry_link(self, key, target):
        """Makes `key` a registry link to the native path `target` with
        e2e-reglink.exe (programs/reglink.c)."""
        program = self.machine.install(executable("program_reglink"), "C:\\e2e-tools")
        self.machine.wine(program, key, target)

    def registry_links(self, hive):
        """The keys (lower case) that Wine's registry file of `hive` marks as
        links (call wait() first)."""
        files = {"HKLM": "system.reg", "HKCU": "user.reg"}
        links, key = set(), None
        with open(os.path.join(self.machine.prefix, files[hive]), encoding="utf-8",
                  errors="surrogateescape") as handle:
            for line in handle:
                line = line.rstrip("\r\n")
                if line.startswith("["):
                    key = line[1:line.rfind("]")].replace("\\\\", "\\").lower()
                elif line == "#link" and key is not None:
                    links.add(key)
        return links

    def assert_nothing_pending(self):
        self.assertEqual(self.machine.pending_file_renames(), [])

    def assert_files_unchanged(self, before, after, removed=(), ignored=()):
        """Every file and folder of C: is as it was but those under `removed`
        (Windows paths), which must be gone; `ignored` paths are left out."""
        def relative(windows_path):
            return windows_path[3:].replace("\\", os.sep).lower()

        def inside(path, roots):
            return any(path == r or path.startswith(r + os.sep) for r in roots)

        removed = [relative(p) for p in removed]
        ignored = [relative(p) for p in ignored] + ["quenwick-e2e-guard.exe", "e2e-tools"]
        for root in removed:
            self.assertIn(root, before, "nothing planted at %s" % root)
        expected = {p: info for p, info in before.items()
                    if not inside(p, removed) and not inside(p, ignored)}
        got = {p: info for p, info in after.items() if not inside(p, ignored)}
        self.assertEqual(sorted(set(got) - set(expected)), [], "new or left over")
        self.assertEqual(sorted(set(expected) - set(got)), [], "missing")
        for path, info in expected.items():
            if info[0] == "dir":
                self.assertEqual(got[path][0], "dir", path)
            else:
                self.assertEqual(got[path], info, path)

    def assert_registry_unchanged(self, before, after, removed=(), removed_values=()):
        """Every key and value is as it was but the key trees `removed`
        ((hive, key) pairs) and the values `removed_values` ((hive, key,
        name)), which must be gone."""
        for root in removed:
            self.assertTrue(any(under(key, [root]) for key in before), "nothing planted at %s" % (root,))
        expected = {key: dict(values) for key, values in before.items() if not under(key, removed)}
        for hive, key, name in removed_values:
            self.assertIn(name, expected[(hive, key)])
            del expected[(hive, key)][name]
        self.assertEqual(sorted(set(after) - set(expected)), [], "keys left or added")
        self.assertEqual(sorted(set(expected) - set(after)), [], "keys deleted")
        for key, values in expected.items():
            self.assertEqual(after[key], values, "values of %s\\%s" % key)

    # --- Folders built with "\..\.." -------------------------------------------

    def dot_dot_rogue(self, program, command):
        m = self.new_machine()
        m.plant_file(program, b"MZ")
        m.import_registry(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
            '"Dot Dot Rogue"="%s"\n' % command.replace("\\", "\\\\").replace('"', '\\"'))
        return m

    def test_dot_dot_chain_from_a_top_level_folder_leaves_the_drive(self):
        # "C:\Rogue\rogue.exe\..\.." is C:\ itself.
        m = self.dot_dot_rogue("C:\\Rogue\\rogue.exe", "C:\\Rogue\\rogue.exe /start")
        bystanders = ["C:\\users\\%s\\Documents\\letter.doc" % m.user, "C:\\Data\\accounts.xls",
                      "C:\\Program Files\\Vendor\\tool.exe"]
        for path in bystanders:
            m.plant_file(path, "keep")
        registry_before, files_before = self.snapshot()

        result = self.run_silent()
        self.assertEqual(result.stdout, cleaned(DOT_DOT))
        self.assertEqual(result.exit_code, 0)

        registry_after, files_after = self.snapshot()
        for path in bystanders + ["C:\\Rogue\\rogue.exe", "C:\\windows\\system32\\kernel32.dll",
                                  "C:\\windows\\win.ini", "C:\\users\\Public"]:
            self.assertTrue(m.exists(path), path)
        self.assert_files_unchanged(files_before, files_after)
        self.assert_nothing_pending()
        # The Definition's other action ran.
        self.assert_registry_unchanged(registry_before, registry_after,
                                       removed_values=[("HKLM", RUN, "dot dot rogue")])

    def test_dot_dot_chain_from_a_program_in_a_bin_folder_removes_the_rogues_folder(self):
        m = self.dot_dot_rogue("C:\\Program Files\\Rogue\\bin\\rogue.exe",
                               '"C:\\Program Files\\Rogue\\bin\\rogue.exe" /start')
        m.plant_file("C:\\Program Files\\Rogue\\rules.dat", "rules")
        m.plant_file("C:\\Program Files\\Bystander\\tool.exe", "keep")
        _, files_before = self.snapshot()

        result = self.run_silent()
        self.assertEqual(result.stdout, cleaned(DOT_DOT))

        _, files_after = self.snapshot()
        self.assertFalse(m.exists("C:\\Program Files\\Rogue"))
        self.assert_files_unchanged(files_before, files_after,
                                    removed=["C:\\Program Files\\Rogue"])
        self.assert_nothing_pending()

    # --- Registry ------------------------------------------------------------------

    def test_value_without_data_leaves_the_parent_key(self):
        # "HKEY_CURRENT_USER\Software\" + "" names all of HKCU\Software.
        m = self.new_machine()
        m.import_registry(r"""
[HKEY_CURRENT_USER\Software\Rogue]
"Instance"=hex(1):

[HKEY_CURRENT_USER\Software\Vendor\App]
"Setting"="kept"
""")
        registry_before, _ = self.snapshot()
        self.assertEqual(registry_before[("HKCU", r"software\rogue")]["instance"], ("hex(1)", b""),
                         "the value must be a REG_SZ without data")

        result = self.run_silent()
        self.assertEqual(result.stdout, cleaned(EMPTY_VALUE))
        self.assertEqual(result.exit_code, 0)

        registry_after, _ = self.snapshot()
        self.assertEqual(registry_after.get(("HKCU", r"software\vendor\app")), {"setting": ("str", "kept")})
        self.assert_registry_unchanged(registry_before, registry_after)

    def test_registry_link_inside_a_rogues_key_leaves_what_it_points_to(self):
        m = self.new_machine()
        m.import_registry(BYSTANDER_REGISTRY + r"""
[HKEY_CURRENT_USER\Software\Rogue]
"Version"="1.0"

[HKEY_CURRENT_USER\Software\Rogue\Engine]
"Count"=dword:00000003
""")
        # One link inside the rogue's key, and one that is a key of the rogue.
        for key in (r"HKEY_CURRENT_USER\Software\Rogue\Settings",
                    r"HKEY_CURRENT_USER\Software\RogueLink"):
            self.plant_registry_link(key, BYSTANDER_NATIVE)
        registry_before, _ = self.snapshot()
        self.assertEqual(self.registry_links("HKCU"), {r"software\rogue\settings", r"software\roguelink"})

        result = self.run_silent()
        self.assertEqual(result.stdout, cleaned(LINKED))
        self.assertEqual(result.exit_code, 0)

        # Both links went, and only they.
        registry_after, _ = self.snapshot()
        self.assertEqual(self.registry_links("HKCU"), set())
        for key in BYSTANDER_KEYS:
            self.assertEqual(registry_after.get(key), registry_before[key], key)
        self.assert_registry_unchanged(
            registry_before, registry_after,
            removed=[("HKCU", r"software\rogue"), ("HKCU", r"software\roguelink")])

    # --- Processes and the program itself ----------------------------------------

    def wine_processes(self, image_name):
        """Linux process ids of this prefix's Wine processes whose command
        line starts with a path ending in `image_name`."""
        found = []
        marker = ("WINEPREFIX=" + self.machine.prefix).encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as handle:
                    if marker not in handle.read().split(b"\0"):
                        continue
                with open("/proc/%s/cmdline" % pid, "rb") as handle:
                    program = handle.read().split(b"\0")[0].decode("utf-8", "replace")
            except OSError:
                continue
            if program.lower().endswith("\\" + image_name.lower()):
                found.append(int(pid))
        return found

    def start_background(self, name, program):
        """Starts a copy of programs/rogue.c at `program`; waits until it runs."""
        m = self.machine
        shutil.copyfile(executable("program_rogue"), m.host_path(program))
        ready = "%s\\%s.ready" % (STATE, name)
        process = m.start(program, "%s\\%s.held" % (STATE, name), ready, STATE + "\\release")

        def stop():
            if process.poll() is None:
                process.kill()
                process.wait()
        self.addCleanup(stop)
        deadline = time.monotonic() + START_TIMEOUT_S
        while not m.exists(ready):
            if time.monotonic() > deadline or process.poll() is not None:
                self.fail("%s did not start" % name)
            time.sleep(0.1)
        return process

    def test_system_process_named_by_a_run_value_is_not_ended(self):
        m = self.new_machine()
        os.makedirs(m.host_path(STATE))
        os.makedirs(m.host_path("C:\\Rogue"))
        m.reg_add(r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run",
                  "Services Rogue", data="C:\\windows\\system32\\services.exe")
        # The keeper holds the prefix's session open, so that services.exe
        # runs before and after the clean in one session.
        keeper = self.start_background("keeper", "C:\\keeper.exe")
        impostor = self.start_background("impostor", "C:\\Rogue\\services.exe")
        deadline = time.monotonic() + START_TIMEOUT_S
        while not self.wine_processes("system32\\services.exe"):
            self.assertLess(time.monotonic(), deadline, "services.exe does not run")
            time.sleep(0.1)
        services = self.wine_processes("system32\\services.exe")
        self.assertEqual(len(services), 1)

        result = self.run_silent()
        self.assertEqual(result.stdout, cleaned(SERVICES))
        self.assertEqual(result.exit_code, 0)

        # The impostor with the same name elsewhere was ended (code 0 from
        # TerminateProcess); the system's services.exe is the same process.
        self.assertEqual(impostor.wait(END_TIMEOUT_S), 0)
        self.assertEqual(self.wine_processes("system32\\services.exe"), services)
        self.assertIsNone(keeper.poll())
        m.plant_file(STATE + "\\release", "")
        self.assertEqual(keeper.wait(END_TIMEOUT_S), 0)

    def test_the_programs_own_executable_is_kept_when_its_folder_is_removed(self):
        # The program was started from the folder a rogue also used; the
        # Definition ends, deletes and removes everything there.
        m = self.new_machine()
        m.plant_file("C:\\Download\\rogue-setup.exe", b"MZ")
        m.plant_file("C:\\Download\\parts\\rogue.dat", "data")
        registry_before, files_before = self.snapshot()

        result = self.run_silent(folder="C:\\Download")
        # Output complete: the program was not ended by its own KillProcess.
        self.assertEqual(result.stdout, cleaned(DOWNLOAD))
        self.assertEqual(result.exit_code, 0)

        registry_after, files_after = self.snapshot()
        self.assertTrue(m.exists("C:\\Download\\quenwick-e2e-guard.exe"))
        self.assert_nothing_pending()
        self.assert_files_unchanged(files_before, files_after,
                                    removed=["C:\\Download\\rogue-setup.exe", "C:\\Download\\parts"],
                                    ignored=["C:\\Download\\quenwick-e2e-guard.exe"])
        self.assert_registry_unchanged(registry_before, registry_after)


if __name__ == "__main__":
    unittest.main()
