#!/usr/bin/env bash
# Runs the end-to-end cases in a private Wine session on its own virtual
# display; the session (Xvfb, openbox, wineserver) is torn down on any exit.
# usage: run_e2e.sh TAVRIK_EXE HELPER_EXE ARTIFACT_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../../scripts/wine-session.sh"
wine_session_start
python3 "$here/e2e.py" "$@"
