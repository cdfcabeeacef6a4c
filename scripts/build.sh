#!/usr/bin/env bash
# Builds build/windows/tavrik.exe from a fresh Debian machine (installing what
# is missing) and runs it once in a real console window under Wine, on a
# private virtual display, so you can see it work: the usage text, and where
# the window stood before and after a move, as read back from the window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
exe="$PWD/build/windows/tavrik.exe"
helper="$PWD/build/windows/tests/e2e/e2e_helper.exe"
echo "Built $exe ($(stat -c %s "$exe") bytes)"

. scripts/wine-session.sh
wine_session_start
root=$PWD
cd "$WINE_SESSION_DIR"
cp "$exe" "$helper" .
# A batch file in a console window of its own (plain `wine` gives none),
# opened by the console helper, which also reads the window's position back.
timeout 120 python3 "$root/tests/e2e/console_batch.py" e2e_helper.exe . demo 60 \
    'tavrik.exe > usage.txt' \
    'e2e_helper.exe probe before.txt' \
    'tavrik.exe move 40,30' \
    '>move-status.txt echo %ERRORLEVEL%' \
    'e2e_helper.exe probe after.txt' >/dev/null 2>&1 </dev/null || true

corner() {  # the top-left corner in a probe report, as "(x, y)"
    sed -n 's/^rect=\(-\{0,1\}[0-9]*\),\(-\{0,1\}[0-9]*\),.*/(\1, \2)/p' "$1" 2>/dev/null
}
before=$(corner before.txt) after=$(corner after.txt)
echo
echo "--- tavrik.exe (no command) printed:"
cat usage.txt
echo "--- tavrik.exe move 40,30: exit status $(tr -d '\r\n' < move-status.txt 2>/dev/null || echo unknown)"
if [ -z "$before" ] || [ -z "$after" ]; then
    echo "    could not read the console window's position back"
elif [ "$after" = "(40, 30)" ] && [ "$before" != "$after" ]; then
    echo "    the console window's top-left corner, read back from the window: $before before, $after after"
else
    echo "    the window did NOT move to (40, 30): its top-left corner was $before before and is $after after"
fi
