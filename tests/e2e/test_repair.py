"""Value repairs under Wine: quenwick.exe built with the Definitions of
repair_definitions/ puts back the Windows settings a rogue took over. Each
test plants one of their fixtures (repair_definitions/fixtures/) into a fresh
prefix with fixture_machine.py, runs "quenwick.exe /silent /norestart", and
checks that

- the open commands of exefile, comfile, batfile, cmdfile, piffile and
  scrfile, the class of .exe files and the Winlogon Shell, hijacked with the
  rogue's program, hold what Windows holds there again, with the type they
  had, whether the Definition names them under HKEY_LOCAL_MACHINE or
  HKEY_CLASSES_ROOT;
- the other values of those keys are as they were, one that names the rogue
  included;
- a setting that names another program is left exactly as it was;
- nothing else in the prefix changed but the rogue's folder.

The unit tests run the same fixtures on the simulated machine.
"""

import os
import unittest

import fixture_file
import fixture_machine
from e2e_support import SCANNING, banner, cleaned_lines, executable, session, summary

RUN_TIMEOUT_S = 120
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "repair_definitions", "fixtures")


class RepairTest(unittest.TestCase):

    def assert_fixture_holds(self, relative):
        fixture = fixture_file.read_fixture(os.path.join(FIXTURES, *relative.split("/")))
        machine = session().new_machine(remove_z_drive=True)
        self.addCleanup(machine.close)
        planted = fixture_machine.FixtureMachine(
            [fixture], machine.prefix, machine.env(), executable("program_rogue"))
        self.addCleanup(planted.stop)
        self.assertEqual(planted.limitations(), [])
        planted.plant()
        machine.wait()
        before = planted.snapshot()

        result = machine.run(executable("repair"), "/silent", "/norestart", timeout=RUN_TIMEOUT_S)

        machine.wait()
        checks = planted.check(before, planted.snapshot(), planted.pending_deletions(),
                               fixture_machine.cleaned_names(result.stdout))
        names = [fixture_file.definition_name(stem, fixture_file.definitions_dir_of(fixture))
                 for stem in fixture.expect.found]
        self.assertEqual([str(c) for c in checks if not c.ok], [],
                         "\n" + "\n".join(str(c) for c in checks))
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.stdout,
                         banner() + SCANNING + cleaned_lines(names) + summary(len(names), len(names)))
        # Every value the fixture names was looked at, and the whole machine.
        self.assertEqual(len([c for c in checks if c.kind == "value"]), len(fixture.expect.values))
        self.assertIn("machine", {c.kind for c in checks})

    def test_settings_named_under_hkey_local_machine_are_put_back(self):
        self.assert_fixture_holds("hijack-rogue/every-setting.toml")

    def test_settings_named_under_hkey_classes_root_are_put_back(self):
        self.assert_fixture_holds("classes-root-rogue/every-setting.toml")

    def test_settings_that_name_another_program_stay_as_they_were(self):
        self.assert_fixture_holds("hijack-rogue/other-program.toml")


if __name__ == "__main__":
    unittest.main()
