#!/usr/bin/env bash
# Makes the README's before/after pictures of move, size and buffer: each
# command runs in its own real console window under Wine on a virtual display,
# and the display is photographed just before and just after the command.
# Writes docs/screenshots/<command>-before.png and -after.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$PWD/docs/screenshots

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
build=$PWD/build/windows

. scripts/wine-session.sh
wine_session_start
cd "$WINE_SESSION_DIR"
cp "$build/tavrik.exe" "$build/tests/e2e/e2e_helper.exe" .
mkdir -p "$out"
here="Z:${PWD//\//\\}"  # this folder, as the batch sees it from C:\

shoot() {  # NAME WIDTH HEIGHT: the top-left WIDTH x HEIGHT of the display, as a small PNG
    xwd -root -silent | xwdtopnm 2>/dev/null | pamcut -left 0 -top 0 -width "$2" -height "$3" |
        pamscale 0.6 | pnmquant 32 2>/dev/null | pnmtopng -compression 9 > "$out/$1.png"
    echo "wrote $out/$1.png"
}

demo() {  # COMMAND WIDTH HEIGHT
    local command=$1 name=${1%% *}
    rm -f ready-* go-*
    timeout 150 python3 "$root/tests/e2e/console_batch.py" e2e_helper.exe . demo 120 \
        'title tavrik demo' 'cd /d C:\' 'echo C:\^> dir /b' 'dir /b' 'echo.' \
        "echo x> \"$here\\ready-before\"" "$here\\e2e_helper.exe wait-file \"$here\\go-before\"" \
        "echo C:\\^> tavrik $command" "$here\\tavrik.exe $command" \
        "echo x> \"$here\\ready-after\"" "$here\\e2e_helper.exe wait-file \"$here\\go-after\"" \
        >/dev/null 2>&1 </dev/null &
    local console=$!
    for moment in before after; do
        for _ in $(seq 300); do [ -e "ready-$moment" ] && break; sleep 0.1; done
        sleep 0.7  # let the window manager redraw
        shoot "$name-$moment" "$2" "$3"
        touch "go-$moment"
    done
    wait "$console" || true
}

demo "move 240,160" 960 640
demo "size 60,14" 700 460
demo "buffer 120,300" 700 460
