"""Runs the end-to-end tests (test_*.py beside this file) and ends with the
line "N passed, N failed". Use run.sh, which builds the executables first.

    run_tests.py [-v] [-k PATTERN]...
"""

import argparse
import os
import sys
import unittest

import e2e_support


def _test_id(test):
    parent = getattr(test, "test_case", None)  # a subtest's own test
    return (parent or test).id()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", dest="patterns", action="append", default=None,
                        help="only tests whose name contains PATTERN (or matches it as a glob)")
    parser.add_argument("-v", dest="verbosity", action="store_const", const=2, default=1)
    args = parser.parse_args()

    here = os.path.dirname(os.path.abspath(__file__))
    loader = unittest.TestLoader()
    if args.patterns:
        loader.testNamePatterns = [p if "*" in p else "*%s*" % p for p in args.patterns]
    suite = loader.discover(here, pattern="test_*.py", top_level_dir=here)
    try:
        result = unittest.TextTestRunner(verbosity=args.verbosity, stream=sys.stdout).run(suite)
    finally:
        e2e_support.close_session()

    # A test with failing subtests counts once.
    failed_tests = {_test_id(test) for test, _ in
                    result.failures + result.errors + [(t, "") for t in result.unexpectedSuccesses]}
    failed = len(failed_tests)
    # A skipped subtest does not make its test skipped (or uncounted).
    skipped = {_test_id(test) for test, _ in result.skipped
               if getattr(test, "test_case", None) is None} - failed_tests
    passed = result.testsRun - failed - len(skipped) - len(result.expectedFailures)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
