#!/usr/bin/env python3
"""Plants the machine of a Definition fixture (definitions/fixtures/**.toml)
into a Wine prefix, and checks the fixture's expectations there after a run
of quenwick.exe.

The fixture's simulated Windows 7 paths are translated to the prefix's
(wine_layout.py) wherever they appear: in file lists, registry data and
command lines; a drive other than C: becomes a folder of the prefix
(<prefix>/drive_d, ...) with its drive letter.

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
  Winlogon "Userinit" value, the user's RunOnce key and the class of .exe
  ("exefile").

What Wine cannot host (`limitations()` names it for a fixture): processes
that cannot be ended (terminable = false; a Wine process of the same user can
always be ended), files that may not be deleted (deny_delete; the tests run
as root, which no file mode stops), read-only registry keys, a locked file
that is also a process image (its own process could not start), shell
folders Windows fixes (CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROFILE),
environment variables Wine sets itself in every process (ProgramFiles,
APPDATA, SystemRoot, ...), process images that are Wine's own programs, and
files in the system folder's dllcache (Wine empties it whenever a session
starts) and files of Windows that a fixture expects to stay but does not
plant and Wine does not have (userinit.exe).

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
import subprocess
import sys
import time
from dataclasses import dataclass

import winehelper
from fixture_file import (FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_SYSTEM,
                          REG_SZ, FixtureError, RegValue, database_order, definition_name,
                          definitions_dir_of, read_fixtures, string_bytes)
from wine_layout import (FIXED_SHELL_FOLDERS, SHORT_HIVE_NAMES, USER_SHELL_FOLDERS_KEY,
                         USER_SHELL_KEY, WINE_OWN_VARIABLES, WINE_SHELL_FOLDER_VALUES, PathMap,
                         describe_value, is_registry_path, reg_line, registry_form, split_key)

# Wine keeps these two attributes in an extended attribute of the Unix file.
WINE_DOS_ATTRIBUTE = "user.DOSATTRIB"
WINE_XATTR_MASK = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM

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
# Wine deletes what this folder holds whenever a session starts.
WINE_EMPTIED_FOLDER = "c:\\windows\\system32\\dllcache"
SESSION_MANAGER = ("HKLM", r"system\currentcontrolset\control\session manager")
PENDING_VALUE = "pendingfilerenameoperations"


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
                if _under(_windows_key(self.map(entry.path)), WINE_EMPTIED_FOLDER):
                    reasons.append("%s: Wine empties %s at every start" % (fixture.label, WINE_EMPTIED_FOLDER))
            planted = [_windows_key(self.map(e.path)) for e in fixture.files + fixture.folders]
            for path in fixture.expect.present:
                if is_registry_path(path) or not self.map(path).lower().startswith("c:"):
                    continue  # other drives hold only what the fixture plants
                key = _windows_key(self.map(path))
                if not any(_under(p, key) for p in planted) and not os.path.exists(
                        self.host_path(self.map(path))):
                    reasons.append("%s: Wine has no %s" % (fixture.label, path))
            for key in fixture.keys:
                if key.read_only:
                    reasons.append("%s: key %s is read-only" % (fixture.label, key.path))
            for name in fixture.shell_folders:
                if name in FIXED_SHELL_FOLDERS:
                    reasons.append("%s: shell folder %s cannot be moved" % (fixture.label, name))
            for path in fixture.short_names:
                reasons.append("%s: the short name of %s is Wine's to choose" % (fixture.label, path))
            for name in fixture.environment:
                if name.lower() in WINE_OWN_VARIABLES:
                    reasons.append("%s: Wine sets %%%s%% itself" % (fixture.label, name))
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
            + reg_line(RegValue("Userinit", REG_SZ, string_bytes("C:\\Windows\\system32\\userinit.exe,"))),
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]",
            "[HKEY_CLASSES_ROOT\\.exe]\n" + reg_line(RegValue("", REG_SZ, string_bytes("exefile"))),
        ]
        for fixture in self.fixtures:
            for key in fixture.keys:
                split_key(key.path)  # refuses unknown roots
                lines = ["[%s]" % key.path.replace("/", "\\")]
                lines += [reg_line(self.paths.value(v)) for v in key.values]
                blocks.append("\n".join(lines))
            if fixture.environment:
                lines = ["[HKEY_CURRENT_USER\\Environment]"]
                lines += [reg_line(RegValue(name, REG_SZ, string_bytes(self.map(value))))
                          for name, value in fixture.environment.items()]
                blocks.append("\n".join(lines))
            for name, path in fixture.shell_folders.items():
                if name in FIXED_SHELL_FOLDERS:
                    continue
                hive, key, value = WINE_SHELL_FOLDER_VALUES[name]
                line = reg_line(RegValue(value, REG_SZ, string_bytes(self.map(path))))
                blocks.append("[%s\\%s]\n%s" % (SHORT_HIVE_NAMES[hive], key, line))
                if hive == "HKCU" and key == USER_SHELL_KEY:
                    blocks.append("[%s]\n%s" % (USER_SHELL_FOLDERS_KEY, line))
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
        after = _attributes_of_registered_files_as_before(before, after, pending)
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
        wanted = [definition_name(s, definitions) for s in database_order(stems, definitions)]
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
        deletions = registered_deletions(pending)
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


def registered_deletions(pending):
    """The comparison keys of the paths registered for deletion (not for a
    rename) at the next start."""
    return [_windows_key(re.sub(r"^\\\?\?\\", "", source)) for source, target in pending if target == ""]


def _attributes_of_registered_files_as_before(before, after, pending):
    """`after` with the attributes of the files registered for deletion taken
    from `before`: the program clears a read-only attribute before it
    registers a file, so that nothing stands in the way of the deletion at
    the next start. Contents, size and time must still be as they were."""
    files = dict(after.files)
    for key in registered_deletions(pending):
        was, now = before.files.get(key), files.get(key)
        if was is not None and now is not None and was[0] == now[0] == "file" and was[1] == now[1] \
                and was[3] == now[3]:
            files[key] = was
    return Snapshot(files, after.registry)


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
    fixtures = [f for path in args.fixtures for f in read_fixtures(path)]
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
    fixtures = [f for path in state["fixtures"] for f in read_fixtures(path)]
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
    registered = set(registered_deletions(pending))
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
