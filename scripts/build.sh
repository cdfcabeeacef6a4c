#!/usr/bin/env bash
# Builds build/windows/tavrik.exe from a fresh Debian machine (installing what
# is missing) and runs it once in a real console window under Wine, on a
# private virtual display, so you can see it work.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
exe="$PWD/build/windows/tavrik.exe"
echo "Built $exe ($(stat -c %s "$exe") bytes)"

. scripts/wine-session.sh
wine_session_start
cd "$WINE_SESSION_DIR"
cp "$exe" tavrik.exe
# A batch file in its own console window: plain `wine` gives no console window.
printf '%s\r\n' \
    '@echo off' \
    'tavrik.exe > usage.txt' \
    'tavrik.exe move 40,30' \
    'echo %ERRORLEVEL%> move-status.txt' > demo.bat
timeout 60 wine wineconsole cmd /c demo.bat >/dev/null 2>&1 </dev/null || true

echo
echo "--- tavrik.exe (no command) printed:"
cat usage.txt
echo "--- tavrik.exe move 40,30 moved its console window; exit status $(tr -d '\r\n' < move-status.txt)"
