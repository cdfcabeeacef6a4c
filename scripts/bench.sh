#!/usr/bin/env bash
# Measures what a tavrik call costs and prints the figures (it asserts
# nothing), the two that CI's Windows job prints from Windows too:
#  - start-to-exit time of `tavrik.exe move 10,10` in one console window,
#    alternating with floors built the same way (bench/start_to_exit.py);
#  - how soon a new title shows as the console window's caption, which
#    decides whether tavrik's first search hits (bench/caption.py).
# usage: scripts/bench.sh [ROUNDS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-200}
root=$PWD

scripts/install-deps.sh
cmake --preset windows-bench >/dev/null
cmake --build --preset windows-bench >/dev/null
win=$root/build/windows-bench

. scripts/wine-session.sh
wine_session_start
cd "$WINE_SESSION_DIR"
cp "$win/tavrik.exe" "$win/tests/e2e/e2e_helper.exe" "$win"/bench/*.exe .

echo "== start-to-exit time in one console window, $rounds rounds, alternating"
python3 "$root/bench/start_to_exit.py" e2e_helper.exe . "$rounds"

echo "== how soon a new console title shows as the window's caption"
python3 "$root/bench/caption.py" e2e_helper.exe . 100
