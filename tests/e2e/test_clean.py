"""Cleaning a planted rogue application under Wine, on a fresh prefix per
test: its processes are ended, its uninstallers run with their exact command
lines, its files, folders, keys and values deleted, what is locked is
registered for deletion at the next start, and nothing else on the machine
changes. The database is clean_database.py's; the rogue's programs are the
small programs of programs/.

Wine limitations:
- A link to a folder, which Wine shows for a Unix symbolic link (attributes
  0x410), cannot be removed as a link under Wine (RemoveDirectoryW fails with
  145, DeleteFileW with 5). The program never walks into a link and never
  registers one for deletion, so such a link stays where it is, with the
  folder that holds it; on Windows the link itself would be removed.
- A Unix symbolic link to a file looks like a plain file under Wine 8 (no
  reparse-point attribute), and DeleteFileW on it deletes the file it points
  to and leaves the link. No Windows program can tell such a link from a file
  there, so the rogue folder here holds no file link; the unit tests cover
  file links on the simulated machine, which behaves as Windows does.
"""

import os
import shutil
import time
import unittest

import winehelper
from e2e_support import (RESTART_QUESTION, SCAN_QUESTION, SCANNING, banner, cleaned_lines,
                         executable, found_lines, removal_question, session, summary)

YES = winehelper.YES
NAME = "Rogue Defender 2009"

PROGRAM = "C:\\Program Files\\Rogue Defender"
DATA = "C:\\ProgramData\\Rogue Defender"
HOLDER = "C:\\Holder\\holder.exe"
STATE = "C:\\e2e-state"      # ready and release markers of the background programs
RECORDS = "C:\\e2e-records"  # written by the uninstallers
VICTIM = "C:\\Victim"        # what the rogue's links point to

# The program folder's deep branch: its deepest paths are over 300 characters.
DEEP_NAME = "d" * 40
DEEP = PROGRAM + "".join("\\" + DEEP_NAME for _ in range(7))

# Time the background programs get to start, and to end once told to.
START_TIMEOUT_S = 30
END_TIMEOUT_S = 15
# The program waits 10 s for the slow uninstaller and 30 s at most for the
# other two, which end at once.
CLEAN_TIMEOUT_S = 120

REGISTRY = r"""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"Rogue Defender"="\"C:\\Program Files\\Rogue Defender\\rogue.exe\" /startup"
"Keep Me"="C:\\keep.exe"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Rogue Defender Tray"="C:\\ProgramData\\Rogue Defender\\tray.exe"
"Other Tray"="C:\\other.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Rogue Defender]
"Version"="1.0"

[HKEY_LOCAL_MACHINE\SOFTWARE\Rogue Defender\Engine\Signatures]
"Count"=dword:00000005

[HKEY_LOCAL_MACHINE\SOFTWARE\Rogue Defender\License]

[HKEY_LOCAL_MACHINE\SOFTWARE\Rogue Defender Keep]
"Owner"="someone else"

[HKEY_CURRENT_USER\Software\Rogue Defender\Settings]
"Scans"=dword:00000003

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\RogueDefender_is1]
"UninstallString"="\"C:/Program Files/Rogue Defender//unins000.exe\""
"DisplayName"="Rogue Defender 2009"
"""

UNINSTALL = r"software\microsoft\windows\currentversion\uninstall"
RUN = r"software\microsoft\windows\currentversion\run"
SESSION_MANAGER = r"system\currentcontrolset\control\session manager"
WOW64_RUN = ("HKLM", r"software\wow6432node\microsoft\windows\currentversion\run")
# (hive, key) of every key tree the clean deletes, and (hive, key, value) of
# every value it deletes besides those trees' own. Wine's registry files list
# only keys that hold values or have no subkeys, so trees are compared by
# their key paths.
DELETED_TREES = {
    ("HKLM", r"software\rogue defender"),
    ("HKLM", UNINSTALL + r"\roguedefender_is1"),
    ("HKCU", r"software\rogue defender"),
}
DELETED_VALUES = {("HKLM", RUN, "rogue defender"), ("HKCU", RUN, "rogue defender tray")}

# The deletions registered for the next start, in order: the file the holder
# keeps open and the folders above it, then the slow uninstaller, still
# running, and its folder.
PENDING = [
    "\\??\\" + PROGRAM + "\\data\\locked.dat",
    "\\??\\" + PROGRAM + "\\data",
    "\\??\\" + PROGRAM,
    "\\??\\" + DATA + "\\slowuninst.exe",
    "\\??\\" + DATA,
]


def read_text(path):
    with open(path, encoding="utf-8") as handle:
        return handle.read()


class RogueMachine:
    """A fresh prefix with the rogue application planted and running."""

    def __init__(self, machine, display):
        self.machine = machine
        self.display = display
        self.roaming = "C:\\users\\%s\\AppData\\Roaming\\Rogue Defender" % machine.user
        self.desktop_link = "C:\\users\\%s\\Desktop\\Rogue Defender.lnk" % machine.user
        self.processes = {}

    def host(self, windows_path):
        return self.machine.host_path(windows_path)

    def copy_program(self, variant, windows_path):
        path = self.host(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(executable(variant), path)

    def plant(self):
        m = self.machine
        self.copy_program("program_rogue", PROGRAM + "\\rogue.exe")
        self.copy_program("program_rogue", PROGRAM + "\\guard.exe")
        self.copy_program("program_uninstaller", PROGRAM + "\\unins000.exe")
        self.copy_program("program_uninstaller", PROGRAM + "\\uninst\\remove.exe")
        self.copy_program("program_slow_uninstaller", DATA + "\\slowuninst.exe")
        self.copy_program("program_rogue", HOLDER)
        m.plant_file(PROGRAM + "\\readme.txt", "read me")
        os.chmod(self.host(PROGRAM + "\\readme.txt"), 0o444)  # read-only under Wine
        m.plant_file(PROGRAM + "\\settings.dat", "hidden and system")
        m.plant_file(PROGRAM + "\\data\\locked.dat", "held open by another program")
        m.plant_file(PROGRAM + "\\data\\db.dat", "signatures")
        m.plant_file(DEEP + "\\payload.bin", "deep")
        m.plant_file(PROGRAM + "\\deep\\" + DEEP_NAME + "\\side.txt", "side")
        m.plant_file(DATA + "\\cache.bin", "cache")
        m.plant_file(self.desktop_link, "shortcut")
        # A link to a place outside the rogue's folders.
        m.plant_file(VICTIM + "\\dir\\keep.txt", "victim")
        m.plant_file(VICTIM + "\\dir\\sub\\deep.txt", "victim")
        m.plant_file(self.roaming + "\\own.txt", "own")
        os.symlink(self.host(VICTIM + "\\dir"), self.host(self.roaming + "\\linkdir"))
        # Neighbours with similar names that must stay.
        m.plant_file("C:\\Program Files\\Rogue Defender Backup\\keep.txt", "keep")
        m.plant_file("C:\\Program Files\\Rogue Defender.txt", "keep")
        os.makedirs(self.host(STATE), exist_ok=True)
        m.import_registry(REGISTRY)
        m.wine("cmd", "/c", "attrib", "+h", "+s", PROGRAM + "\\settings.dat")

    def start_processes(self):
        """Two instances of the rogue, its guard and the holder, each holding a
        file open; waits until all of them hold it."""
        started = {
            "rogue1": (PROGRAM + "\\rogue.exe", PROGRAM + "\\rogue1.log"),
            "rogue2": (PROGRAM + "\\rogue.exe", PROGRAM + "\\rogue2.log"),
            "guard": (PROGRAM + "\\guard.exe", PROGRAM + "\\guard.log"),
            "holder": (HOLDER, PROGRAM + "\\data\\locked.dat"),
        }
        for name, (program, held) in started.items():
            self.processes[name] = self.machine.start(
                program, held, "%s\\%s.ready" % (STATE, name), STATE + "\\release",
                display=self.display)
        deadline = time.monotonic() + START_TIMEOUT_S
        for name in started:
            while not os.path.exists(self.host("%s\\%s.ready" % (STATE, name))):
                if time.monotonic() > deadline or self.processes[name].poll() is not None:
                    raise RuntimeError("%s did not start" % name)
                time.sleep(0.1)

    def release(self):
        """Tells the programs still running to end, and waits for them."""
        self.machine.plant_file(STATE + "\\release", "")
        for process in self.processes.values():
            try:
                process.wait(END_TIMEOUT_S)
            except Exception:
                process.kill()
                process.wait()

    def stop(self):
        for process in self.processes.values():
            if process.poll() is None:
                process.kill()
                process.wait()

    def records(self, program):
        """The (executable, command line) pairs an uninstaller recorded."""
        path = self.host("%s\\%s.txt" % (RECORDS, program))
        if not os.path.exists(path):
            return []
        lines = read_text(path).split("\n")[:-1]
        return [(lines[i], lines[i + 1]) for i in range(0, len(lines) - 1, 2)]


# Keys that Wine itself rewrites whenever a session starts (device classes
# with their driver dates, network cards): left out of the comparison.
VOLATILE_KEYS = (
    ("HKLM", r"system\currentcontrolset\control\class"),
    ("HKLM", r"software\microsoft\windows nt\currentversion\networkcards"),
    # Font registrations, which Wine rewrites when a session's first program
    # that draws text starts.
    ("HKLM", r"software\microsoft\windows\currentversion\fonts"),
    ("HKLM", r"software\microsoft\windows nt\currentversion\fonts"),
    ("HKCU", r"software\wine\fonts"),
)


def registry_entries(machine):
    """Every key and every value of HKLM and HKCU but the volatile ones:
    {(hive, key): {name: data}}."""
    entries = {}
    for hive in ("HKLM", "HKCU"):
        for key, values in machine.registry(hive).items():
            if any(hive == h and (key == k or key.startswith(k + "\\")) for h, k in VOLATILE_KEYS):
                continue
            entries[(hive, key)] = values
    return entries


def file_tree(root):
    """{relative path: (kind, size, mode, mtime)} of everything under root,
    links listed as links and not followed."""
    tree = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            kind = "link" if os.path.islink(path) else ("dir" if name in dirs else "file")
            size = info.st_size if kind == "file" else 0
            mtime = info.st_mtime_ns if kind == "file" else 0
            tree[os.path.relpath(path, root).lower()] = (kind, size, info.st_mode, mtime)
    return tree


class CleanTest(unittest.TestCase):

    def setUp(self):
        self.machine = session().new_machine()
        self.addCleanup(self.machine.close)

    def plant(self, display):
        rogue = RogueMachine(self.machine, display)
        self.addCleanup(rogue.stop)
        rogue.plant()
        # The registry reaches its files only when the prefix's server ends.
        self.machine.wait()
        self.registry_before = registry_entries(self.machine)
        self.files_before = file_tree(self.machine.drive_c)
        rogue.start_processes()
        return rogue

    # --- What must have changed, and nothing else -------------------------------

    def assert_registry_changed_only_by_the_clean(self, pending, restarted=False):
        after = registry_entries(self.machine)

        def deleted(key):
            return any(key[0] == hive and (key[1] == root or key[1].startswith(root + "\\"))
                       for hive, root in DELETED_TREES)

        for hive, root in DELETED_TREES:
            self.assertTrue(any(k[0] == hive and (k[1] == root or k[1].startswith(root + "\\"))
                                for k in self.registry_before),
                            "nothing planted under %s\\%s" % (hive, root))
        expected = {}
        for key, values in self.registry_before.items():
            if deleted(key):
                continue
            expected[key] = {name: data for name, data in values.items()
                             if (key[0], key[1], name) not in DELETED_VALUES}
        for hive, key, name in DELETED_VALUES:
            self.assertIn(name, self.registry_before[(hive, key)])
        session_key = ("HKLM", SESSION_MANAGER)
        got_pending = after.get(session_key, {}).get("pendingfilerenameoperations")
        if pending:
            self.assertEqual(got_pending[0], "str(7)")
            expected[session_key] = dict(expected[session_key],
                                         pendingfilerenameoperations=got_pending)
        # A parent that lost its last subkey now shows in the file as an empty
        # key; it was there before, only not listed.
        for hive, root in DELETED_TREES:
            parent = (hive, root.rpartition("\\")[0])
            if parent not in expected and after.get(parent) == {}:
                expected[parent] = {}
        # Wine's start-up after a restart runs the autostart entries of both
        # registry views and leaves the 32-bit view's Run key behind, empty.
        if restarted and after.get(WOW64_RUN) == {}:
            expected.setdefault(WOW64_RUN, {})
        # Compare key by key so that a failure names the key.
        self.assertEqual(sorted(set(after) - set(expected)), [], "keys left or added")
        self.assertEqual(sorted(set(expected) - set(after)), [], "keys deleted")
        for key in expected:
            self.assertEqual(after[key], expected[key], "values of %s\\%s" % key)

    def assert_files_changed_only_by_the_clean(self, rogue, kept):
        """Every file and folder of drive C: is as it was, except the rogue's
        own (of which exactly `kept` remain), the markers and records of the
        test programs and the installed quenwick executable."""
        def relative(windows_path):
            return windows_path[3:].replace("\\", os.sep).lower()

        rogue_roots = [relative(p) for p in (PROGRAM, DATA, rogue.roaming, rogue.desktop_link)]
        ignored = [relative(p) for p in (STATE, RECORDS)]

        def under(path, roots):
            return any(path == r or path.startswith(r + os.sep) for r in roots)

        after = file_tree(self.machine.drive_c)
        expected = {path: info for path, info in self.files_before.items()
                    if not under(path, rogue_roots) and not under(path, ignored)}
        expected.update({relative(p): self.files_before[relative(p)] for p in kept})
        got = {path: info for path, info in after.items()
               if not under(path, ignored) and not path.startswith("quenwick-e2e-")}
        self.assertEqual(sorted(set(got) - set(expected)), [], "new or left over")
        self.assertEqual(sorted(set(expected) - set(got)), [], "missing")
        for path in expected:
            if expected[path][0] == "dir":
                self.assertEqual(got[path][0], "dir", path)
            else:
                self.assertEqual(got[path], expected[path], path)

    def assert_uninstallers_ran(self, rogue):
        self.assertEqual(rogue.records("unins000.exe"), [
            (PROGRAM + "\\unins000.exe", '"%s\\unins000.exe" /SILENT /NORESTART' % PROGRAM)])
        self.assertEqual(rogue.records("remove.exe"), [
            (PROGRAM + "\\uninst\\remove.exe", '"%s\\uninst\\remove.exe" /S /quiet' % PROGRAM)])
        self.assertEqual(rogue.records("slowuninst.exe"), [
            (DATA + "\\slowuninst.exe", '"%s\\slowuninst.exe" ' % DATA)])

    def assert_rogue_processes_ended(self, rogue):
        for name in ("rogue1", "rogue2", "guard"):
            try:
                code = rogue.processes[name].wait(END_TIMEOUT_S)
            except Exception:
                self.fail("%s is still running" % name)
            self.assertEqual(code, 0, name)  # TerminateProcess(..., 0)

    # --- The tests ----------------------------------------------------------------

    def test_silent_norestart_cleans_and_registers_what_is_locked(self):
        rogue = self.plant(display=False)
        started = time.monotonic()
        result = self.machine.run(executable("clean"), "/silent", "/norestart",
                                  timeout=CLEAN_TIMEOUT_S)
        elapsed = time.monotonic() - started
        self.assertEqual(result.stdout,
                         banner() + SCANNING + cleaned_lines([NAME]) + summary(1, 1))
        self.assertEqual(result.exit_code, 0)
        # The slow uninstaller was waited for, 10 s, and outlived the wait.
        self.assertGreaterEqual(elapsed, 10)
        self.assert_rogue_processes_ended(rogue)
        self.assertIsNone(rogue.processes["holder"].poll(), "the holder is not the rogue's")
        self.assert_uninstallers_ran(rogue)

        m = self.machine
        # Locked or in use: kept for now, registered.
        for path in (PROGRAM + "\\data\\locked.dat", DATA + "\\slowuninst.exe"):
            self.assertTrue(m.exists(path), path)
        # Gone at once: everything else of the program and data folders, the
        # deep branch of over 300 characters included.
        for path in (PROGRAM + "\\rogue.exe", PROGRAM + "\\guard.exe", PROGRAM + "\\rogue1.log",
                     PROGRAM + "\\unins000.exe", PROGRAM + "\\uninst", PROGRAM + "\\readme.txt",
                     PROGRAM + "\\settings.dat", PROGRAM + "\\data\\db.dat", PROGRAM + "\\deep",
                     DATA + "\\cache.bin", rogue.desktop_link,
                     rogue.roaming + "\\own.txt"):
            self.assertFalse(m.exists(path), path)
        # The link to a folder stays under Wine (see the module's text), and
        # with it its folder; what it points to is untouched.
        self.assertTrue(os.path.islink(rogue.host(rogue.roaming + "\\linkdir")))

        rogue.release()
        m.wait()
        self.assertEqual(m.pending_file_renames(), [(path, "") for path in PENDING])
        self.assert_registry_changed_only_by_the_clean(pending=True)
        self.assert_files_changed_only_by_the_clean(rogue, kept=[
            PROGRAM, PROGRAM + "\\data", PROGRAM + "\\data\\locked.dat",
            DATA, DATA + "\\slowuninst.exe",
            rogue.roaming, rogue.roaming + "\\linkdir"])

    def test_yes_to_every_box_restarts_and_the_registered_files_are_gone(self):
        rogue = self.plant(display=True)
        result = self.machine.run_interactive(
            executable("clean"),
            answers=[("Quenwick", YES), ("Rogue application found", YES),
                     ("Reboot required", YES)],
            timeout=CLEAN_TIMEOUT_S)
        self.assertEqual(result.unexpected_boxes, [], "boxes shown: %r" % result.boxes)
        self.assertEqual(result.boxes, [SCAN_QUESTION, removal_question(1), RESTART_QUESTION])
        self.assertEqual(result.stdout,
                         banner() + SCANNING + found_lines([NAME])
                         + banner() + SCANNING + cleaned_lines([NAME]) + summary(1, 1))
        self.assertEqual(result.exit_code, 0)
        self.assert_rogue_processes_ended(rogue)
        self.assert_uninstallers_ran(rogue)

        # The restart asked every program to end (the holder and the slow
        # uninstaller among them) and then carried out the registrations.
        rogue.release()
        self.machine.wait()
        m = self.machine
        self.assertFalse(m.exists(PROGRAM))
        self.assertFalse(m.exists(DATA))
        self.assertEqual(m.pending_file_renames(), [])
        self.assertTrue(os.path.islink(rogue.host(rogue.roaming + "\\linkdir")))
        self.assert_registry_changed_only_by_the_clean(pending=False, restarted=True)
        self.assert_files_changed_only_by_the_clean(rogue, kept=[
            rogue.roaming, rogue.roaming + "\\linkdir"])


if __name__ == "__main__":
    unittest.main()
