#!/usr/bin/env bash
# Makes dist/tavrik-<version>-win64.zip (tavrik.exe, README.txt,
# README.ja.txt, LICENSE, BUILDINFO.txt, SHA256SUMS) and dist/SHA256SUMS
# beside it, which lists the zip too, from the exe that the end-to-end tests
# have just exercised, and prints its checksum. With GITHUB_REPOSITORY
# (owner/name) it also writes the Scoop manifest dist/tavrik.json, the
# winget manifests (dist/winget/, and a zip of them) and the release notes.
# Only the toolchain that made the published checksum may make a release:
# "Verify your download" in README.md names its packages and versions. The
# version is read from res/version.h, the one place it is kept; the zip
# itself is reproducible (fixed order, times and modes).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Another MinGW-w64 (Debian 13's, or a point release's update) gives other
# bytes for the same sources: stop before building, and say which versions
# differ and where the published ones are to be had.
toolchain=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime
           binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "not installed"; }
differs=()
for package in "${toolchain[@]}"; do
    published=$(sed -n "s/^ *$package \([^ ]*\)\$/\1/p" README.md)
    installed=$(installed_version "$package")
    [ "$installed" = "$published" ] ||
        differs+=("$package: here $installed; the published bytes were made with ${published:-a version README.md does not name}")
done
if [ ${#differs[@]} -gt 0 ]; then
    {
        echo "This machine's MinGW-w64 is not the toolchain that made the published tavrik.exe, so its bytes"
        echo "would differ from the checksum in 'Verify your download':"
        printf '  %s\n' "${differs[@]}"
        echo "Make the release in a clean Debian 12 (bookworm) with those versions, for example in a"
        echo "debian:bookworm container: install git, clone these sources at the release's commit, and run"
        echo "scripts/release.sh there (README.md, 'Verify your download', says how)."
    } >&2
    exit 1
fi

version=$(sed -n 's/^#define TAVRIK_VERSION_TEXT "\(.*\)"$/\1/p' res/version.h)
[ -n "$version" ] || { echo "no version in res/version.h" >&2; exit 1; }

cmake --preset windows >/dev/null
cmake --build --preset windows
# Package only an exe that passed: the e2e suite and the reproducibility check.
ctest --preset windows

exe=build/windows/tavrik.exe
checksum=$(sha256sum "$exe" | cut -d' ' -f1)
# The README publishes the exe's checksum; on the published toolchain a
# different exe means the sources changed, and a release must not ship a
# checksum that does not match it.
if ! grep -q "$checksum" README.md; then
    echo "README.md does not list tavrik.exe's checksum $checksum: the sources differ from the ones" >&2
    echo "whose checksum 'Verify your download' publishes." >&2
    exit 1
fi
# The download's plain-text readmes must be what README.md and README.ja.md say now.
python3 scripts/readme_txt.py --check
epoch=${SOURCE_DATE_EPOCH:-$(sed -n 's/^#define TAVRIK_RELEASE_EPOCH \([0-9]*\)$/\1/p' res/version.h)}
mkdir -p dist
# What built it, as Debian's .buildinfo files record it, so that anyone can
# rebuild these bytes later.
{
    echo "Format: 1.0"
    echo "Source: tavrik"
    echo "Version: $version"
    echo "Source-Commit: $(git describe --always --dirty --abbrev=40)"
    echo "Source-Date-Epoch: $epoch"
    echo "Build-Origin: Debian $(cat /etc/debian_version) ($(. /etc/os-release && echo "$VERSION_CODENAME"))"
    echo "Build-Architecture: $(dpkg --print-architecture)"
    echo "Installed-Build-Depends:"
    for package in "${toolchain[@]}" cmake ninja-build; do
        echo " $package (= $(installed_version "$package")),"
    done | sed '$ s/,$//'
    echo "Checksums-Sha256:"
    echo " $checksum $(stat -c %s "$exe") tavrik.exe"
} > dist/BUILDINFO.txt
# The zip, SHA256SUMS beside it, and, when the repository is known (the
# release job has GITHUB_REPOSITORY), the Scoop and winget manifests and the
# release notes.
python3 scripts/release_files.py dist "$version" "$epoch" "$exe" docs/README.txt docs/README.ja.txt LICENSE \
    dist/BUILDINFO.txt
echo
echo "tavrik.exe version $version: $checksum"
