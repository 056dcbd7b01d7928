"""Throw-away Windows machines under Wine for the end-to-end tests.

One `WineSession` per test run makes a template prefix once (wineboot takes
seconds) and hands every test a fresh copy of it (`new_machine`), so tests
cannot see each other's traces. The template is made with HOME pointing into
the session's own folder and the profile folders that Wine links to the home
folder (Desktop, Documents, ...) are replaced with real folders: a program
deleting on the desktop deletes inside the prefix, never in a real home.
A machine can also drop the Z: drive (the whole Linux file system) so that no
Windows path reaches outside the prefix.

A `Machine` runs a Windows program with a timeout and gives back its exact
stdout bytes and exit code (Wine reports -1 as 255), plants files and
registry data, and reads the registry files that wineserver writes when it
exits, among them the deletions registered for the next start. Interactive
runs need the session's virtual display (one Xvfb per session): message boxes
are found by their caption with xdotool and answered with a key, and each
box's text is read from Wine's msgbox trace on stderr.

Standard library only. Run as a script it reads a prefix's registry:
    winehelper.py pending-renames PREFIX
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

# Wine's exit status for a program that returned -1.
EXIT_MINUS_ONE = 255

DEFAULT_TIMEOUT_S = 60
WINEBOOT_TIMEOUT_S = 300
# How often the display is searched for new message boxes.
BOX_POLL_S = 0.1
# A box that is still there this long after its key was sent gets the key
# again (a slow machine can take seconds to close a box).
BOX_RESEND_S = 10

# Message box captions the program uses; the interactive runner watches for
# windows with these names.
KNOWN_CAPTIONS = ("Quenwick", "Rogue application found", "Reboot required", "Done")

# Keys that answer a message box.
YES = "y"
NO = "n"
OK = "Return"

_MSGBOX_TRACE = re.compile(rb'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"')


def _wine_env(prefix, home, display=None, debug="-all"):
    env = {
        key: value
        for key, value in os.environ.items()
        if not key.startswith("WINE") and key != "DISPLAY"
    }
    env.update(
        WINEPREFIX=prefix,
        HOME=home,
        WINEDEBUG=debug,
        # No Mono or Gecko install dialogs in a new prefix.
        WINEDLLOVERRIDES="mscoree,mshtml=",
    )
    if display:
        env["DISPLAY"] = display
    return env


def _unescape_wine_text(text):
    """Decodes a string as Wine writes it in its registry files and traces."""
    simple = {"n": "\n", "r": "\r", "t": "\t", "a": "\a", "b": "\b",
              "f": "\f", "v": "\v", "e": "\x1b", '"': '"', "\\": "\\"}
    out = []
    i = 0
    while i < len(text):
        ch = text[i]
        if ch != "\\" or i + 1 == len(text):
            out.append(ch)
            i += 1
            continue
        nxt = text[i + 1]
        if nxt in simple:
            out.append(simple[nxt])
            i += 2
        elif nxt == "x":
            match = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            out.append(chr(int(match.group(0), 16)) if match else "x")
            i += 2 + (len(match.group(0)) if match else 0)
        elif nxt in "01234567":
            match = re.match(r"[0-7]{1,3}", text[i + 1:])
            out.append(chr(int(match.group(0), 8)))
            i += 1 + len(match.group(0))
        else:
            out.append(nxt)
            i += 2
    return "".join(out)


def parse_registry_file(path):
    """Reads a Wine registry file (system.reg, user.reg).

    Returns {key path in lower case: {value name in lower case: (type, data)}}
    where the key path is relative to the file's root (HKLM for system.reg,
    HKCU for user.reg) with single backslashes, the default value's name is
    "", and data is a str for string types (a list of str for str(7)), an
    int for dword, and bytes for hex types.
    """
    with open(path, encoding="utf-8", errors="surrogateescape") as handle:
        lines = handle.read().split("\n")
    keys = {}
    values = None
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\r")
        i += 1
        if line.startswith("["):
            end = line.rfind("]")
            name = _unescape_wine_text(line[1:end])
            values = keys.setdefault(name.lower(), {})
            continue
        if values is None or not (line.startswith('"') or line.startswith("@")):
            continue
        if line.startswith("@"):
            name, rest = "", line[2:]
        else:
            match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not match:
                continue
            name, rest = _unescape_wine_text(match.group(1)), match.group(2)
        # Long hex data goes on over lines that end with a backslash.
        while rest.startswith("hex") and rest.endswith("\\") and i < len(lines):
            rest = rest[:-1] + lines[i].strip()
            i += 1
        values[name.lower()] = _parse_registry_data(rest)
    return keys


def _parse_registry_data(text):
    if text.startswith('"'):
        return ("str", _unescape_wine_text(text[1:-1]))
    if text.startswith("str("):
        kind = int(text[4:text.index(")")])
        data = _unescape_wine_text(text[text.index(":") + 2:-1])
        if kind == 7:
            parts = data.split("\0")
            while parts and parts[-1] == "":
                parts.pop()
            return ("str(7)", parts)
        return ("str(%d)" % kind, data)
    if text.startswith("dword:"):
        return ("dword", int(text[6:], 16))
    if text.startswith("hex"):
        kind, _, data = text.partition(":")
        raw = bytes(int(b, 16) for b in data.split(",") if b.strip())
        return (kind, raw)
    return ("unknown", text)


def pending_file_renames(prefix):
    """The deletions and renames registered for the next start, as
    (source, target) pairs in registration order; target "" means delete.
    Read the prefix only after `wineserver -w` and before any other Wine
    program starts in it (that start carries them out)."""
    keys = parse_registry_file(os.path.join(prefix, "system.reg"))
    session = keys.get(r"system\currentcontrolset\control\session manager", {})
    kind, data = session.get("pendingfilerenameoperations", ("str(7)", []))
    if kind != "str(7)":
        raise ValueError("PendingFileRenameOperations has type %s" % kind)
    # A lone last entry (a source without its target) is kept as a deletion.
    data = list(data) + [""] * (len(data) % 2)
    return [(data[i], data[i + 1]) for i in range(0, len(data), 2)]


@dataclass
class RunResult:
    stdout: bytes
    stderr: bytes
    exit_code: int
    # Message boxes in the order shown: (caption, text).
    boxes: list = field(default_factory=list)
    # Boxes that no answer was planned for; they were dismissed with No/OK.
    unexpected_boxes: list = field(default_factory=list)


class VirtualDisplay:
    """One Xvfb server on a free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self._process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.strip().decode()

    def close(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()


class WineSession:
    """The template prefix and the virtual display of one test run."""

    def __init__(self, root=None, display=False):
        self.root = tempfile.mkdtemp(prefix="quenwick-e2e-", dir=root)
        self.home = os.path.join(self.root, "home")
        self.template = os.path.join(self.root, "template")
        self.display = VirtualDisplay() if display else None
        self._machines = 0
        self._pause_prompt = None
        os.makedirs(self.home)
        self._make_template()

    def _make_template(self):
        env = _wine_env(self.template, self.home)
        subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WINEBOOT_TIMEOUT_S, check=True)
        # What "pause" prints when stdin is not a terminal (it returns at once).
        self._pause_prompt = subprocess.run(
            ["wine", "cmd", "/c", "pause"], env=env, stdin=subprocess.DEVNULL,
            capture_output=True, timeout=DEFAULT_TIMEOUT_S).stdout
        subprocess.run(["wineserver", "-w"], env=env, timeout=DEFAULT_TIMEOUT_S)
        users = os.path.join(self.template, "drive_c", "users")
        for user in os.listdir(users):
            for entry in os.scandir(os.path.join(users, user)):
                if entry.is_symlink():
                    os.unlink(entry.path)
                    os.mkdir(entry.path)

    @property
    def pause_prompt(self):
        """The bytes the command interpreter's "pause" prints on stdout."""
        return self._pause_prompt

    def new_machine(self, remove_z_drive=False):
        self._machines += 1
        machine_dir = os.path.join(self.root, "machine%d" % self._machines)
        os.makedirs(machine_dir)
        prefix = os.path.join(machine_dir, "pfx")
        subprocess.run(["cp", "-a", self.template, prefix], check=True)
        return Machine(self, prefix, remove_z_drive)

    def close(self):
        if self.display:
            self.display.close()
        shutil.rmtree(self.root, ignore_errors=True)


class Machine:
    """One copy of the template prefix; close() ends its wineserver and
    deletes it."""

    def __init__(self, session, prefix, remove_z_drive):
        self.session = session
        self.prefix = prefix
        self.drive_c = os.path.join(prefix, "drive_c")
        if remove_z_drive:
            os.unlink(os.path.join(prefix, "dosdevices", "z:"))
        users = [u for u in os.listdir(os.path.join(self.drive_c, "users"))
                 if u.lower() != "public"]
        self.user = users[0]

    # --- Paths and files -----------------------------------------------------

    def host_path(self, windows_path):
        """The Linux path of a C: path ("C:\\a\\b" -> <prefix>/drive_c/a/b)."""
        if not re.match(r"^[cC]:\\", windows_path):
            raise ValueError("not a C: path: %r" % windows_path)
        parts = [p for p in windows_path[3:].split("\\") if p]
        return os.path.join(self.drive_c, *parts)

    def plant_file(self, windows_path, data=b""):
        path = self.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as handle:
            handle.write(data if isinstance(data, bytes) else data.encode())

    def exists(self, windows_path):
        return os.path.lexists(self.host_path(windows_path))

    def install(self, exe, folder="C:\\"):
        """Copies a program to a folder of C: (made when missing) and returns
        its Windows path."""
        name = os.path.basename(exe)
        os.makedirs(self.host_path(folder), exist_ok=True)
        shutil.copyfile(exe, os.path.join(self.host_path(folder), name))
        return folder.rstrip("\\") + "\\" + name

    # --- Running -------------------------------------------------------------

    def _env(self, display=None, debug="-all"):
        return _wine_env(self.prefix, self.session.home, display, debug)

    def env(self):
        """The environment a Wine program of this prefix runs with (no display)."""
        return self._env()

    def wine(self, *args, timeout=DEFAULT_TIMEOUT_S, check=True):
        """Runs a Wine tool (reg, regedit, cmd, ...) without a display."""
        result = subprocess.run(["wine", *args], env=self._env(), cwd=self.drive_c,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise RuntimeError("wine %s failed (%d): %r" %
                               (" ".join(args), result.returncode, result.stderr[-2000:]))
        return result

    def _start(self, program, args, stdout, stderr, display=None, debug="-all"):
        # Output goes to files, not pipes: the prefix's background processes
        # (services, explorer) that the first program starts inherit the
        # handles and would hold a pipe open until wineserver shuts down.
        return subprocess.Popen(
            ["wine", program, *args], env=self._env(display, debug), cwd=self.drive_c,
            stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, start_new_session=True)

    def _output_files(self):
        folder = os.path.dirname(self.prefix)
        return os.path.join(folder, "stdout.bin"), os.path.join(folder, "stderr.bin")

    @staticmethod
    def _read(path):
        with open(path, "rb") as handle:
            return handle.read()

    def run(self, exe, *args, timeout=DEFAULT_TIMEOUT_S, folder="C:\\"):
        """Runs a program, installed in `folder` of C:, with no display: every
        message box returns at once as if it had been refused. stdin is not a
        terminal."""
        program = self.install(exe, folder)
        stdout_path, stderr_path = self._output_files()
        with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
            process = self._start(program, args, stdout, stderr)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                self._stop(process)
                raise
        return RunResult(self._read(stdout_path), self._read(stderr_path), process.returncode)

    def start(self, windows_path, *args, display=False):
        """Starts a program of the prefix in the background (on the session's
        display when asked) and returns its Popen. The caller makes it end
        before wait()."""
        name = self.session.display.name if display and self.session.display else None
        return subprocess.Popen(
            ["wine", windows_path, *args], env=self._env(name), cwd=self.drive_c,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)

    def run_interactive(self, exe, *args, answers=(), timeout=DEFAULT_TIMEOUT_S):
        """Runs a program on the session's display and answers its message
        boxes in order: `answers` is a list of (caption, key). A box that does
        not match the next answer is recorded as unexpected and dismissed."""
        display = self.session.display
        if display is None:
            raise RuntimeError("the session was made without a display")
        program = self.install(exe)
        stdout_path, stderr_path = self._output_files()
        captions, unexpected = [], []
        pending = list(answers)
        with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
            process = self._start(program, args, stdout, stderr, display.name,
                                  debug="-all,trace+msgbox")
            deadline = time.monotonic() + timeout
            try:
                while process.poll() is None:
                    if time.monotonic() > deadline:
                        raise subprocess.TimeoutExpired(process.args, timeout)
                    window = self._find_box(display.name)
                    if window is None:
                        time.sleep(BOX_POLL_S)
                        continue
                    window_id, caption = window
                    captions.append(caption)
                    if pending and pending[0][0] == caption:
                        keys = [pending.pop(0)[1]]
                    else:
                        unexpected.append(caption)
                        keys = [NO, OK]
                    self._answer(display.name, window_id, keys, process, deadline)
            except BaseException:
                self._stop(process)
                raise
        stderr_bytes = self._read(stderr_path)
        texts = [_unescape_wine_text(t.decode("utf-8", "replace"))
                 for t in _MSGBOX_TRACE.findall(stderr_bytes)]
        return RunResult(self._read(stdout_path), stderr_bytes, process.returncode,
                         list(zip(captions, texts)), unexpected)

    @staticmethod
    def _find_box(display):
        pattern = "^(%s)$" % "|".join(re.escape(c) for c in KNOWN_CAPTIONS)
        env = dict(os.environ, DISPLAY=display)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                               env=env, capture_output=True, text=True)
        for window_id in found.stdout.split():
            name = subprocess.run(["xdotool", "getwindowname", window_id], env=env,
                                  capture_output=True, text=True).stdout.strip()
            if name in KNOWN_CAPTIONS:
                return window_id, name
        return None

    @staticmethod
    def _answer(display, window_id, keys, process, deadline):
        """Sends the keys to the box and waits until it is gone. Wine hands a
        key to whichever of its windows has the focus, so a key is sent again
        only when the box is still there after a long wait and no other box
        has appeared (which would take the key instead)."""
        env = dict(os.environ, DISPLAY=display)
        while time.monotonic() < deadline:
            for key in keys:
                subprocess.run(["xdotool", "key", "--window", window_id, key], env=env,
                               capture_output=True)
            sent = time.monotonic()
            while time.monotonic() - sent < BOX_RESEND_S:
                if process.poll() is not None or not Machine._visible(env, window_id):
                    return
                time.sleep(BOX_POLL_S)
            other = Machine._find_box(display)
            if other is not None and other[0] != window_id:
                return

    @staticmethod
    def _visible(env, window_id):
        visible = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                 env=env, capture_output=True, text=True).stdout.split()
        return window_id in visible

    def _stop(self, process):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()
        subprocess.run(["wineserver", "-k"], env=self._env(), capture_output=True)

    # --- Registry ------------------------------------------------------------

    def import_registry(self, reg_text):
        """Imports a .reg text (without the header line) with regedit /s; the
        file is written to C: so that it needs no other drive."""
        path = os.path.join(self.drive_c, "quenwick-e2e-import.reg")
        content = "Windows Registry Editor Version 5.00\r\n\r\n" + reg_text.replace(
            "\r\n", "\n").replace("\n", "\r\n") + "\r\n"
        with open(path, "wb") as handle:
            handle.write(b"\xff\xfe" + content.encode("utf-16-le"))
        self.wine("regedit", "/s", "C:\\quenwick-e2e-import.reg")
        os.unlink(path)

    def reg_add(self, key, name=None, kind="REG_SZ", data=""):
        args = ["reg", "add", key, "/f"]
        args += ["/ve"] if name is None else ["/v", name]
        args += ["/t", kind, "/d", data]
        self.wine(*args)

    def wait(self):
        """Waits until the prefix's wineserver has written the registry and
        ended. Starting any Wine program afterwards runs the prefix's start-up,
        which carries out the deletions registered for the next start."""
        subprocess.run(["wineserver", "-w"], env=self._env(), timeout=DEFAULT_TIMEOUT_S)

    def registry(self, hive):
        """The keys of "HKLM" or "HKCU" as parse_registry_file gives them
        (call wait() first)."""
        files = {"HKLM": "system.reg", "HKCU": "user.reg"}
        return parse_registry_file(os.path.join(self.prefix, files[hive]))

    def pending_file_renames(self):
        return pending_file_renames(self.prefix)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self._env(), capture_output=True)
        shutil.rmtree(os.path.dirname(self.prefix), ignore_errors=True)


def _main(argv):
    if len(argv) == 3 and argv[1] == "pending-renames":
        for source, target in pending_file_renames(argv[2]):
            print("%s -> %s" % (source, target or "(delete)"))
        return 0
    print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_main(sys.argv))
