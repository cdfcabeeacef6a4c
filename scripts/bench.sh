#!/usr/bin/env bash
# Measures what tavrik costs and prints the figures (it asserts nothing):
#  - start-to-exit time of `tavrik.exe move 10,10` in one Wine console window,
#    alternating with floors built the same way (bench/start_to_exit.py, which
#    the CI's Windows job runs too);
#  - how soon a new title shows as the console window's caption, which
#    decides whether tavrik's first search hits (bench/caption.py, also run
#    by the Windows job);
#  - how many searches the window locator made (Wine's relay trace);
#  - what the title lock costs when no other run holds it;
#  - the fault path's time, without a console window;
#  - file sizes and imported DLLs;
#  - parse_command natively: ns per line (Google Benchmark) and instructions
#    per line (callgrind).
# usage: scripts/bench.sh [ROUNDS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-200}
root=$PWD

scripts/install-deps.sh
cmake --preset windows-bench >/dev/null
cmake --build --preset windows-bench >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target parse_command_bench >/dev/null
win=$root/build/windows-bench
native=$root/build/bench

. scripts/wine-session.sh
wine_session_start
cd "$WINE_SESSION_DIR"
cp "$win/tavrik.exe" "$win/tests/e2e/e2e_helper.exe" "$win"/bench/*.exe .

echo "== start-to-exit time in one console window, $rounds rounds, alternating"
python3 "$root/bench/start_to_exit.py" e2e_helper.exe . "$rounds"

echo "== how soon a new console title shows as the window's caption"
python3 "$root/bench/caption.py" e2e_helper.exe . 100

echo "== locator searches, from Wine's relay trace of one run"
printf '%s\r\n' '@echo off' 'tavrik.exe move 10,10' > relay.bat
WINEDEBUG=trace+relay timeout 120 wine e2e_helper.exe console relay.bat 100 >/dev/null 2>relay.log </dev/null || true

echo "== the title lock, uncontended"
timeout 120 wine title_lock.exe 2000 </dev/null 2>/dev/null || true

echo "== fault path: no console window at all"
timeout 120 wine proc_timer.exe fault.txt 3 "tavrik.exe move 10,10" >/dev/null 2>&1 </dev/null || true

cd "$root"
python3 bench/report.py "$WINE_SESSION_DIR" "$win" "$native"
