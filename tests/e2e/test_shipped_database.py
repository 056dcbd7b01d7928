"""The shipped quenwick.exe, with the database built from definitions/, under
Wine: each test plants the machine of one or more of the Definitions' own
fixtures (definitions/fixtures/<family>/<case>.toml, a family's fixture for
one of its brands) into a fresh prefix with fixture_machine.py, runs
"quenwick.exe /silent /norestart" there, and checks that

- the console lists exactly the fixtures' Definitions as found and cleaned;
- the machine afterwards is as the fixtures expect (gone, present,
  untouched, values gone, kept and repaired, processes ended and still
  running, uninstallers started, deletions registered for the next start);
- nothing else changed: every file and folder of the prefix and every key
  and value of HKLM and HKCU is as before, less what the fixtures expect.

The infected machines are one of each of many families whose traces Wine can
host (files, folders, keys, values of several types, running programs, files
held open by another program, uninstallers, hijacked settings put back, a
brand of a family source); the clean look-alikes must be left exactly as
they were. QUENWICK_E2E_ALL_FIXTURES=1 also runs every fixture that Wine can
host, each brand of a family's fixture on its own (well over an hour); a
glob instead of 1 (e.g. 'winiguard/*') runs the fixtures it matches.
"""

import fnmatch
import glob
import os
import tomllib
import unittest

import fixture_file
import fixture_machine
from e2e_support import (SCANNING, banner, cleaned_lines, definitions_dir, executable,
                         has_executable, session, summary)

# A fixture of definitions/fixtures/, "<family>/<case>.toml", with "#<Brand>"
# for one brand of a family's fixture. Each entry of INFECTED is one machine:
# one fixture, or several of different families planted together and cleaned
# by one run (a new prefix and its processes cost more than the run itself).
# Together they plant every kind of trace Wine can host.
INFECTED = [
    # A Run value, a running program and its folder.
    ("cleaner2009-freeware/installed.toml",),
    # HKCU keys with dword values, the per-user Shell, Run and RunOnce values,
    # three running programs in Application Data.
    ("antispy-safeguard/installed.toml",),
    # The Winlogon Userinit value repaired; a Start Menu folder.
    ("advansed-spyware-detector/installed.toml",),
    # An Inno Setup uninstaller started with its switches; its uninstall key.
    ("antispyware-2008/installed.toml",),
    # A 32-hex key with a binary value, found by its pPath; a running program.
    ("antivirus-2009-hex-key/installed.toml",),
    # %TEMP% (another folder under Wine) and a file of the system folder held
    # open: registered for deletion at the next start.
    ("sysguard/installed.toml",),
    # A file held open in the program folder: it and its folder are
    # registered, the rest goes; the common Start Menu and desktop.
    ("antivirus-doktor-2009/no-uninstall-entry-in-use.toml",),
    # Hidden, system and read-only decoys in the Windows folder, the drive
    # root and both Startup folders (the read-only one is registered); a
    # browser helper object and its class under HKEY_CLASSES_ROOT.
    ("pc-antispyware/installed.toml",),
    # The open commands of .exe and secfile under HKEY_CLASSES_ROOT and the
    # user's classes put back ('"%1" %*'), the Security Center's dword
    # overrides gone; the browsers' Start-menu commands that name the rogue
    # stay.
    ("windows-defender-2010/installed.toml",),
    # The .exe open commands put back; the rogue's MSASCui.exe ends and goes
    # while the genuine Windows Defender's keeps running. With it, ThinkPoint
    # as the machine's Shell behind explorer.exe and as the user's Shell:
    # both Shells become explorer.exe before hotfix.exe goes.
    ("fakeav-bt-msascui/installed.toml", "thinkpoint-hotfix-local/user-shell.toml"),
    # A brand of a family source whose name has spaces, by its fixture
    # written for every brand; two programs running from %TEMP% and a
    # machine-wide key of dword and string values; an Inno Setup uninstaller
    # named by an "_is1" entry, its common Start Menu folder and public
    # desktop link, started from both Run keys. (Renos.I's fixtures cannot be
    # hosted: Wine empties the dllcache folder, has no userinit.exe and sets
    # %windir% itself.)
    ("winiguard/installed.toml#Quick Heal Cleaner", "fakecog/installed.toml",
     "smart-security/installed.toml"),
    # Explorer's delay-loaded shell service object and shared task scheduler
    # values, a class with its DLL held open; a second class whose DLL is held
    # open and whose sibling with an expand_sz value stays.
    ("system-alert-popup/installed.toml", "spylocked-downloader/installed.toml"),
]
CLEAN = [
    ("cleaner2009-freeware/clean-machine.toml",),
    # Programs named like the rogue's, running, a per-user shell and Run value.
    ("antispy-safeguard/no-pav-key.toml",),
    # A real program of a name like a brand's, running, and the brand's own
    # look-alikes: a program of its name elsewhere, its vendor folder without it.
    ("winiguard/quick-heal.toml", "winiguard/look-alikes.toml#Quick Heal Cleaner"),
]

RUN_TIMEOUT_S = 120

# Every value type and attribute the fixture format has, and simulated paths
# inside registry data.
EVERY_KIND_FIXTURE = r"""
description = 'Every kind of value and attribute.'

[machine]
files = [
  { path = 'C:\Every Kind\hidden-system.txt', attributes = ['hidden', 'system'] },
  { path = 'C:\Every Kind\read-only.txt', attributes = ['readonly'] },
  'C:\Every Kind\plain.txt',
  'C:\Users\User\AppData\Local\Temp\x.exe',
]
folders = [{ path = 'C:\Every Kind\hidden folder', attributes = ['hidden'] }]
environment = { QUENWICK_HOME = 'C:\Users\User\Desktop' }

[[machine.registry]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
values = { '' = 'default', Text = "it's \"quoted\" \\ and 100%", Expand = { expand_sz = 'C:\Users\User\AppData\Local\Temp\x.exe' }, Multi = { multi_sz = ['C:\Users\User\AppData\Roaming\a.exe', 'b'] }, Dword = { dword = 4294967295 }, Qword = { qword = 81985529216486895 }, Binary = { binary = [0, 1, 254, 255] }, Empty = { binary = [] }, Odd = { sz = 'odd type', type = 256 }, Control = { sz = "tab\there" } }

[expect]
found = []

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = ''
sz = 'default'

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Text'
sz = "it's \"quoted\" \\ and 100%"

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Expand'
expand_sz = 'C:\Users\User\AppData\Local\Temp\x.exe'

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Multi'
multi_sz = ['C:\Users\User\AppData\Roaming\a.exe', 'b']

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Dword'
dword = 4294967295

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Qword'
qword = 81985529216486895

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Binary'
binary = [0, 1, 254, 255]

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Empty'
binary = []

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Odd'
sz = 'odd type'
type = 256

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\Quenwick Every Kind'
name = 'Control'
sz = "tab\there"
"""


def fixture_path(relative):
    return os.path.join(definitions_dir(), "fixtures", *relative.split("/"))


def load(entry):
    """The fixture of an entry "<family>/<case>.toml[#<Brand>]"."""
    relative, _, brand = entry.partition("#")
    return fixture_file.read_fixture(fixture_path(relative), brand or None)


def repairs_a_setting(handle):
    """Whether the Definition of a handle puts a hijacked setting back
    (RegValueRepair); a brand's Definition is its family's template."""
    with open(os.path.join(definitions_dir(), handle.split("/")[0] + ".toml"), "rb") as handle_file:
        source = tomllib.load(handle_file)
    actions = source.get("template", source).get("actions", [])
    return any(action.get("type") == "RegValueRepair" for action in actions)


class ShippedDatabaseTest(unittest.TestCase):

    def setUp(self):
        if not has_executable("shipped"):
            self.skipTest("this build embeds another database than definitions/")

    def run_fixtures(self, fixtures):
        """Plants the fixtures into one prefix, runs the program, and returns
        the (result, checks) of the run; fails when they cannot be hosted."""
        machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(machine.close)
        planted = fixture_machine.FixtureMachine(
            fixtures, machine.prefix, machine.env(), executable("program_rogue"),
            executable("program_uninstaller"))
        self.addCleanup(planted.stop)
        self.assertEqual(planted.limitations(), [])
        planted.plant()
        machine.wait()
        before = planted.snapshot()
        planted.start_processes()

        result = machine.run(executable("shipped"), "/silent", "/norestart", timeout=RUN_TIMEOUT_S)

        planted.observe_processes()
        planted.release()
        machine.wait()
        after = planted.snapshot()
        checks = planted.check(before, after, planted.pending_deletions(),
                               fixture_machine.cleaned_names(result.stdout))
        return result, checks

    def assert_fixtures_hold(self, fixtures):
        result, checks = self.run_fixtures(fixtures)
        found = {handle for fixture in fixtures for handle in fixture.expect.found}
        names = [fixture_file.definition_name(handle, definitions_dir())
                 for handle in fixture_file.database_order(found, definitions_dir())]
        self.assertEqual(result.stdout,
                         banner() + SCANNING + cleaned_lines(names) + summary(len(names), len(names)))
        self.assertEqual(result.exit_code, 0)
        failed = [str(check) for check in checks if not check.ok]
        self.assertEqual(failed, [], "\n" + "\n".join(str(check) for check in checks))
        # Each fixture's own expectations were looked at, not only the machine's.
        labels = {check.fixture for check in checks}
        self.assertLessEqual({f.label for f in fixtures if f.expect.found or f.expect.untouched}, labels)
        return checks

    def test_the_chosen_fixtures_cover_fifteen_families_three_repairs_a_brand_and_every_trace_kind(self):
        fixtures = [load(entry) for machine in INFECTED for entry in machine]
        self.assertTrue(all(f.expect.found for f in fixtures))
        self.assertEqual([f.label for f in fixtures if f.handle not in f.expect.found], [],
                         "each fixture finds the Definition it belongs to")
        own = {f.handle for f in fixtures}
        self.assertGreaterEqual(len({handle.split("/")[0] for handle in own}), 15)
        self.assertGreaterEqual(len({handle for handle in own if repairs_a_setting(handle)}), 3)
        self.assertGreaterEqual(len({f.brand for f in fixtures if f.brand}), 1)
        # Every repair planted is checked: each of those fixtures expects values.
        self.assertTrue(all(f.expect.values for f in fixtures if repairs_a_setting(f.handle)))
        # A machine holds one fixture per Definition: one run cleans each.
        for machine in INFECTED:
            handles = [load(entry).handle for entry in machine]
            self.assertEqual(len(handles), len(set(handles)), machine)
        kinds = set()
        for f in fixtures:
            kinds |= {"file"} if f.files else set()
            kinds |= {"locked"} if any(p.locked for p in f.files) else set()
            kinds |= {"process"} if f.processes else set()
            kinds |= {"started"} if f.expect.started else set()
            kinds |= {"pending"} if f.expect.pending_deletion else set()
            kinds |= {"running"} if f.expect.running else set()
            kinds |= {v.type for k in f.keys for v in k.values}
        self.assertLessEqual({"file", "locked", "process", "started", "pending", "running",
                              fixture_file.REG_SZ, fixture_file.REG_EXPAND_SZ, fixture_file.REG_DWORD,
                              fixture_file.REG_BINARY}, kinds)
        for machine in CLEAN:
            self.assertEqual([load(entry).expect.found for entry in machine], [[]] * len(machine))

    def test_planting_gives_wine_every_value_type_attribute_and_translated_path(self):
        """No fixture of definitions/ uses every value type the format has, so
        one written here: Wine reads back each value exactly, the paths in
        string data point into the prefix, and Wine sees the attributes."""
        root = session().root
        path = os.path.join(root, "every-kind.toml")
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(EVERY_KIND_FIXTURE)
        fixture = fixture_file.read_fixture(path)
        machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(machine.close)
        planted = fixture_machine.FixtureMachine(
            [fixture], machine.prefix, machine.env(), executable("program_rogue"))
        self.assertEqual(planted.limitations(), [])
        planted.plant()
        machine.wait()
        snapshot = planted.snapshot()
        checks = planted.check(snapshot, snapshot, [])
        self.assertEqual([str(c) for c in checks if not c.ok], [])
        self.assertEqual(len([c for c in checks if c.kind == "value"]), len(fixture.expect.values))

        values = snapshot.registry[("HKCU", r"software\quenwick every kind")]
        profile = "C:\\users\\" + machine.user
        self.assertEqual(values["expand"], ("str(2)", profile + "\\Temp\\x.exe"))
        self.assertEqual(values["multi"], ("str(7)", [profile + "\\AppData\\Roaming\\a.exe", "b"]))
        self.assertEqual(snapshot.registry[("HKCU", "environment")]["quenwick_home"],
                         ("str", profile + "\\Desktop"))
        self.assertTrue(os.path.isfile(planted.host_path(profile + "\\Temp\\x.exe")))

        def attributes(windows_path):
            out = machine.wine("attrib", windows_path).stdout.decode()
            return set(out.split("C:\\")[0].replace(" ", ""))
        self.assertLessEqual({"H", "S"}, attributes("C:\\Every Kind\\hidden-system.txt"))
        self.assertIn("R", attributes("C:\\Every Kind\\read-only.txt"))
        self.assertIn("H", attributes("C:\\Every Kind\\hidden folder"))
        self.assertEqual(attributes("C:\\Every Kind\\plain.txt") & {"H", "S", "R"}, set())

    def test_the_checks_catch_a_program_that_cleans_nothing_and_stray_changes(self):
        """The same planting, run with a quenwick.exe whose database is empty:
        every expectation about the rogue fails, and changes nobody expected
        (a file added, a kept file deleted, a value changed) are reported."""
        fixture = fixture_file.read_fixture(fixture_path("cleaner2009-freeware/installed.toml"))
        machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(machine.close)
        planted = fixture_machine.FixtureMachine(
            [fixture], machine.prefix, machine.env(), executable("program_rogue"))
        self.addCleanup(planted.stop)
        planted.plant()
        machine.wait()
        before = planted.snapshot()
        planted.start_processes()
        result = machine.run(executable("empty"), "/silent", "/norestart", timeout=RUN_TIMEOUT_S)
        self.assertEqual(result.exit_code, 0)
        planted.observe_processes(wait_for_ended=False)
        planted.release()
        with open(planted.host_path("C:\\stray.txt"), "w") as handle:
            handle.write("not planted")
        os.unlink(planted.host_path("C:\\Program Files\\Internet Explorer\\iexplore.exe"))
        machine.reg_add(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", "Sound", data="x")
        machine.wait()
        checks = planted.check(before, planted.snapshot(), planted.pending_deletions(),
                               fixture_machine.cleaned_names(result.stdout))
        failed = sorted((c.kind, c.text) for c in checks if not c.ok)
        run = r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
        program = r"C:\Program Files\Cleaner2009 Freeware"
        self.assertEqual(failed, sorted([
            ("found", "listed [], expected ['Cleaner2009 Freeware']"),
            ("gone", program),
            ("gone", '%s : "Cleaner2009 Freeware"' % run),
            ("value", r'%s : "Sound" = sz "C:\Windows\sound.exe" (is sz "x")' % run),
            ("ended", program + r"\c2009.exe"),
            ("machine", "c:\\program files\\internet explorer\\iexplore.exe deleted"),
            ("machine", "c:\\stray.txt added"),
        ]))

    @unittest.skipUnless(os.environ.get("QUENWICK_E2E_ALL_FIXTURES"),
                         "QUENWICK_E2E_ALL_FIXTURES=1 (or a glob) runs every fixture")
    def test_every_fixture_wine_can_host(self):
        wanted = os.environ["QUENWICK_E2E_ALL_FIXTURES"]
        root = os.path.join(definitions_dir(), "fixtures")
        for path in sorted(glob.glob(os.path.join(root, "*", "*.toml"))):
            relative = os.path.relpath(path, root).replace(os.sep, "/")
            if wanted != "1" and not fnmatch.fnmatch(relative, wanted):
                continue
            for fixture in fixture_file.read_fixtures(path):
                with self.subTest(fixture=fixture.label):
                    planted = fixture_machine.FixtureMachine(
                        [fixture], session().template, {}, executable("program_rogue"))
                    if planted.limitations():
                        self.skipTest("; ".join(planted.limitations()))
                    self.assert_fixtures_hold([fixture])


def _test_name(kind, entries):
    parts = []
    for entry in entries:
        relative, _, brand = entry.partition("#")
        family, case = relative[:-len(".toml")].split("/")
        parts.append("_".join(p for p in (family, fixture_file.brand_slug(brand), case) if p))
    return "test_%s_%s" % (kind, "_and_".join(parts).replace("-", "_"))


def _add_fixture_test(kind, entries):
    def test(self):
        self.assert_fixtures_hold([load(entry) for entry in entries])
    test.__doc__ = "%s: the expectations hold under Wine%s." % (
        ", ".join(entries), ", planted together" if len(entries) > 1 else "")
    setattr(ShippedDatabaseTest, _test_name(kind, entries), test)


for _entries in INFECTED:
    _add_fixture_test("infected", _entries)
for _entries in CLEAN:
    _add_fixture_test("clean", _entries)


if __name__ == "__main__":
    unittest.main()
