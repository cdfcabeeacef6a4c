#!/usr/bin/env bash
# A long fuzz run of the command-line parser under ASan and UBSan.
# usage: scripts/fuzz.sh [RUNS] [JOBS]   (default 10,000,000 runs, 1 job)
# The corpus it grows is kept in fuzz/corpus/, outside version control; only
# fuzz/seeds/ is committed. A failing input is saved as build/sanitize/fuzz-crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
jobs=${2:-1}

scripts/install-deps.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --target parse_command_fuzz
mkdir -p fuzz/corpus
args=(-runs="$runs" -max_len=4096 -print_final_stats=1 -artifact_prefix=build/sanitize/fuzz-)
if [ "$jobs" -gt 1 ]; then
    # Each job does its share of the runs.
    args=(-runs=$((runs / jobs)) -jobs="$jobs" -workers="$jobs" "${args[@]:1}")
fi
exec build/sanitize/fuzz/parse_command_fuzz "${args[@]}" fuzz/corpus fuzz/seeds
