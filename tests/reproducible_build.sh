#!/usr/bin/env bash
# Builds tavrik.exe twice more from copies of the source tree, in build
# directories of different paths, under different clocks and users, and
# checks that both are byte for byte the exe that the other tests exercised.
# usage: reproducible_build.sh SOURCE_DIR TESTED_EXE
#        reproducible_build.sh --compare TESTED_EXE BUILT_EXE...   (the comparison alone)
set -euo pipefail

# Each built exe against the tested one; the tally counts them, and no exe
# to compare is a failure.
compare() {
    local tested=$1 exe passed=0 failed=0
    shift
    [ $# -gt 0 ] || { echo "reproducible: no exe to compare"; return 1; }
    for exe in "$@"; do
        if cmp -s "$tested" "$exe"; then
            echo "same bytes: $exe"
            passed=$((passed + 1))
        else
            echo "DIFFERENT: $exe"
            cmp -l "$tested" "$exe" 2>&1 | head -5 || true
            failed=$((failed + 1))
        fi
    done
    sha256sum "$tested"
    echo "reproducible: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

if [ "${1:-}" = --compare ]; then
    shift
    compare "$@"
    exit
fi
source_dir=$1
tested=$2
scratch=$(mktemp -d /tmp/tavrik-repro.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# The time stamp is the release date in res/version.h, unless the tested
# build was given SOURCE_DATE_EPOCH; then the copies are configured with it
# too. The build step runs without the variable: the stamp must come
# through CMake, not from the environment.
epoch_setting=()
[ -n "${SOURCE_DATE_EPOCH:-}" ] && epoch_setting=(SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH")
unset SOURCE_DATE_EPOCH

build() {  # DIRECTORY CLOCK USER
    local tree="$scratch/$1"
    mkdir -p "$tree"
    # The files a clone would have, as they stand in the working tree.
    git -C "$source_dir" ls-files -z -co --exclude-standard |
        (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$tree"
    (cd "$tree" &&
        env "${epoch_setting[@]}" USER="$3" LOGNAME="$3" HOME="$scratch/home-$3" \
            faketime -f "$2" cmake --preset windows >/dev/null &&
        env USER="$3" LOGNAME="$3" HOME="$scratch/home-$3" \
            faketime -f "$2" cmake --build --preset windows --target tavrik >/dev/null)
    echo "$tree/build/windows/tavrik.exe"
}

first=$(build a "@2031-02-03 04:05:06" alice)
second=$(build a-much-longer-directory-name/nested/deeper "@2024-11-12 23:59:59" bob)

compare "$tested" "$first" "$second"
