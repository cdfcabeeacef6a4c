#!/usr/bin/env python3
"""Runs the Python tests in each folder given: every module there is loaded,
whatever its file is called, so no name pattern can leave a test file out,
and a folder that yields no test at all fails the run instead of passing
it. Exits 0 only when every test passed.
usage: run_python_tests.py FOLDER..."""
import os
import sys
import unittest


def suite_of(folder):
    """Every test in every module of folder, loaded with folder on sys.path."""
    folder = os.path.abspath(folder)
    return unittest.defaultTestLoader.discover(folder, pattern="*.py", top_level_dir=folder)


def main(folders):
    if not folders:
        print("usage: run_python_tests.py FOLDER...")
        return 2
    suites, empty = [], []
    for folder in folders:
        suite = suite_of(folder)
        if suite.countTestCases() == 0:
            empty.append(folder)
        suites.append(suite)
    if empty:
        print("python tests: no test found in %s" % ", ".join(empty))
        return 1
    result = unittest.TextTestRunner(verbosity=1).run(unittest.TestSuite(suites))
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
