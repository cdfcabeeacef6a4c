#!/usr/bin/env bash
# Builds tavrik.exe twice more from copies of the source tree, in build
# directories of different paths, under different clocks and users, and
# checks that both are byte for byte the exe that the other tests exercised.
# usage: reproducible_build.sh SOURCE_DIR TESTED_EXE
set -euo pipefail
source_dir=$1
tested=$2
scratch=$(mktemp -d /tmp/tavrik-repro.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# The copies have no git history, so they are configured with the last
# commit's time, which the tested build took from git; the build step itself
# runs without the variable, so the stamp must come through CMake.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
unset SOURCE_DATE_EPOCH

build() {  # DIRECTORY CLOCK USER
    local tree="$scratch/$1"
    mkdir -p "$tree"
    # The files a clone would have, as they stand in the working tree.
    git -C "$source_dir" ls-files -z -co --exclude-standard |
        (cd "$source_dir" && tar --null -T - -cf -) | tar -xf - -C "$tree"
    (cd "$tree" &&
        env SOURCE_DATE_EPOCH="$epoch" USER="$3" LOGNAME="$3" HOME="$scratch/home-$3" FAKETIME="$2" \
            LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
            cmake --preset windows >/dev/null &&
        env USER="$3" LOGNAME="$3" HOME="$scratch/home-$3" FAKETIME="$2" \
            LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
            cmake --build --preset windows --target tavrik >/dev/null)
    echo "$tree/build/windows/tavrik.exe"
}

first=$(build a "@2031-02-03 04:05:06" alice)
second=$(build a-much-longer-directory-name/nested/deeper "@2024-11-12 23:59:59" bob)

status=0
for exe in "$first" "$second"; do
    if cmp -s "$tested" "$exe"; then
        echo "same bytes: $exe"
    else
        echo "DIFFERENT: $exe"
        cmp -l "$tested" "$exe" | head -5 || true
        status=1
    fi
done
sha256sum "$tested"
[ $status -eq 0 ] && echo "reproducible: 2 passed, 0 failed" || echo "reproducible: 0 passed, 1 failed"
exit $status
