"""quenwick.exe's dialogue under Wine, byte for byte: banner, command line,
the interactive and unattended flows, their message boxes, the summary and
the exit code, and the reaction to a damaged database resource.

The Definitions of one.db and three.db have no preconditions and no actions:
every one of them is found, and cleaning one changes nothing on the machine.
"""

import unittest

import winehelper
from e2e_support import (CORRUPTED, DONE_NOTICE, NOTHING_FOUND, RESTART_QUESTION,
                         SCAN_QUESTION, SCANNING, USAGE, banner, cleaned_lines,
                         definition_names, executable, found_lines, removal_question,
                         session, summary)

YES, NO, OK = winehelper.YES, winehelper.NO, winehelper.OK
EXIT_OK = 0


class MachineTest(unittest.TestCase):
    """Each test gets a fresh copy of the run's template prefix."""

    maxDiff = None

    def setUp(self):
        self.machine = session().new_machine()
        self.addCleanup(self.machine.close)

    def assertConsole(self, got, want):
        """Exact bytes, compared line by line so that a failure shows where
        the output differs (the lines keep their "\\r")."""
        self.assertEqual(got.split(b"\n"), want.split(b"\n"))

    def run_boxes(self, variant, *args, answers=()):
        """Runs a variant on the virtual display, answering its boxes in
        order; every box shown must have been planned for."""
        result = self.machine.run_interactive(executable(variant), *args, answers=answers)
        self.assertEqual(result.unexpected_boxes, [], "boxes shown: %r" % result.boxes)
        return result


class InteractiveFlowTest(MachineTest):

    def test_no_to_the_scan_question_prints_only_the_banner(self):
        result = self.run_boxes("three", answers=[("Quenwick", NO)])
        self.assertConsole(result.stdout, banner())
        self.assertEqual(result.boxes, [SCAN_QUESTION])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_empty_database_reports_nothing_found(self):
        result = self.run_boxes("empty", answers=[("Quenwick", YES), ("Done", OK)])
        self.assertConsole(result.stdout, banner() + SCANNING + NOTHING_FOUND)
        self.assertEqual(result.boxes, [SCAN_QUESTION, DONE_NOTICE])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_three_found_asks_the_plural_question(self):
        names = definition_names("three.db")
        result = self.run_boxes("three", answers=[("Quenwick", YES),
                                                  ("Rogue application found", NO)])
        self.assertConsole(result.stdout,
                         banner() + SCANNING + found_lines(names) + summary(3, 0))
        self.assertEqual(result.boxes, [SCAN_QUESTION, removal_question(3)])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_one_found_asks_the_singular_question(self):
        names = definition_names("one.db")
        result = self.run_boxes("one", answers=[("Quenwick", YES),
                                                ("Rogue application found", NO)])
        self.assertConsole(result.stdout,
                         banner() + SCANNING + found_lines(names) + summary(1, 0))
        self.assertEqual(result.boxes, [SCAN_QUESTION, removal_question(1)])

    def test_yes_to_removal_cleans_everything_and_offers_the_restart(self):
        names = definition_names("three.db")
        result = self.run_boxes("three", answers=[("Quenwick", YES),
                                                  ("Rogue application found", YES),
                                                  ("Reboot required", NO)])
        # "cls" writes nothing to a pipe, so both banners stay in the output.
        self.assertConsole(result.stdout,
                         banner() + SCANNING + found_lines(names)
                         + banner() + SCANNING + cleaned_lines(names) + summary(3, 3))
        self.assertEqual(result.boxes,
                         [SCAN_QUESTION, removal_question(3), RESTART_QUESTION])
        self.assertEqual(result.exit_code, EXIT_OK)


class UnattendedFlowTest(MachineTest):

    def test_silent_on_an_empty_database_reports_zero_and_shows_no_box(self):
        result = self.run_boxes("empty", "/silent")
        self.assertConsole(result.stdout, banner() + SCANNING + summary(0, 0))
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_silent_switch_ignores_letter_case(self):
        for switch in ("/SILENT", "/Silent", "/sIlEnT"):
            with self.subTest(switch=switch):
                result = self.machine.run(executable("empty"), switch)
                self.assertConsole(result.stdout, banner() + SCANNING + summary(0, 0))
                self.assertEqual(result.exit_code, EXIT_OK)

    def test_other_first_arguments_print_the_usage_and_scan_nothing(self):
        # The three-Definition database would show every scan in the output.
        for args in (["-silent"], ["silent"], ["/silentx"], ["/norestart"],
                     ["-silent", "/norestart"], [""]):
            with self.subTest(args=args):
                result = self.machine.run(executable("three"), *args)
                self.assertConsole(result.stdout, banner() + USAGE)
                self.assertEqual(result.exit_code, EXIT_OK)

    def test_silent_cleans_every_definition_in_database_order(self):
        names = definition_names("three.db")
        result = self.run_boxes("three", "/silent", "/norestart")
        self.assertConsole(result.stdout,
                         banner() + SCANNING + cleaned_lines(names) + summary(3, 3))
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_norestart_in_any_letter_case_shows_nothing_after_the_summary(self):
        names = definition_names("one.db")
        for switch in ("/NORESTART", "/NoRestart"):
            with self.subTest(switch=switch):
                result = self.run_boxes("one", "/silent", switch)
                self.assertConsole(result.stdout,
                                 banner() + SCANNING + cleaned_lines(names) + summary(1, 1))
                self.assertEqual(result.boxes, [])
                self.assertEqual(result.exit_code, EXIT_OK)

    def test_silent_alone_asks_to_restart_after_cleaning(self):
        names = definition_names("three.db")
        result = self.run_boxes("three", "/silent", answers=[("Reboot required", NO)])
        self.assertConsole(result.stdout,
                         banner() + SCANNING + cleaned_lines(names) + summary(3, 3))
        self.assertEqual(result.boxes, [RESTART_QUESTION])
        self.assertEqual(result.exit_code, EXIT_OK)

    def test_unknown_further_arguments_print_the_usage_after_cleaning(self):
        names = definition_names("three.db")
        for args in (["/silent", "/bogus"], ["/silent", "/norestart", "/norestart"],
                     ["/silent", "/bogus", "more"]):
            with self.subTest(args=args):
                result = self.run_boxes("three", *args)
                self.assertConsole(result.stdout, banner() + SCANNING + cleaned_lines(names)
                                 + summary(3, 3) + USAGE)
                self.assertEqual(result.boxes, [])
                self.assertEqual(result.exit_code, EXIT_OK)

    def test_unknown_second_argument_with_nothing_cleaned_prints_no_usage(self):
        result = self.machine.run(executable("empty"), "/silent", "/bogus")
        self.assertConsole(result.stdout, banner() + SCANNING + summary(0, 0))
        self.assertEqual(result.exit_code, EXIT_OK)


class DamagedResourceTest(MachineTest):
    """Every kind of damage ends the run with the corruption message, "pause"
    and -1, before any flow; the program never crashes on it."""

    DAMAGED = ("truncated_stream", "garbage", "zero_size", "size_too_small",
               "count_too_large", "tiny")

    def test_damaged_resource_is_reported_and_ends_the_run(self):
        # stdin is not a terminal, so "pause" prints its prompt and returns.
        pause_prompt = session().pause_prompt
        for variant in self.DAMAGED:
            for args in ([], ["/silent"]):
                with self.subTest(variant=variant, args=args):
                    result = self.machine.run(executable(variant), *args)
                    self.assertConsole(result.stdout, banner() + CORRUPTED + pause_prompt)
                    self.assertEqual(result.exit_code, winehelper.EXIT_MINUS_ONE)


if __name__ == "__main__":
    unittest.main()
