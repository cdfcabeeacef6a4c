#!/usr/bin/env bash
# Makes dist/tavrik-<version>-win64.zip (tavrik.exe, the documents that
# scripts/readme_txt.py makes, LICENSE, SHA256SUMS) from the exe that the
# end-to-end tests have just exercised, and beside it SHA256SUMS,
# subjects.sha256 (what the attestation covers) and BUILDINFO.txt (the build
# environment, for the job's log). With GITHUB_REPOSITORY (owner/name)
# release/pack.py also fills in the Scoop manifest dist/tavrik.json, the
# winget manifests (dist/winget/, and a zip of them) and the release notes.
# The version and the release date come from res/version.h, through
# scripts/version.py. With RELEASE_TAG (the release job's tag) it stops
# before building unless the tag is exactly v<version>: every URL the
# manifests and notes give is built from the version, and a tag that
# differs would publish them under another name. Only the toolchain that
# made the published checksum may make a release: the guide (docs/GUIDE.md)
# names its packages and versions.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
version=$(python3 scripts/version.py text)
# No pre-releases: a tag such as v1.1-rc1 is refused like any other that is
# not the version itself, so no release can become "latest" for Scoop users
# before it is the version the sources say.
if [ -n "${RELEASE_TAG:-}" ] && [ "$RELEASE_TAG" != "v$version" ]; then
    echo "The tag $RELEASE_TAG is not v$version, the version res/version.h gives: nothing is built." >&2
    echo "Tag the release v$version, or change TAVRIK_VERSION_TEXT first and tag that commit." >&2
    exit 1
fi

# Another MinGW-w64 (Debian 13's, or a point release's update) gives other
# bytes for the same sources: stop before building, and say which versions
# differ and where the published ones are to be had.
# The toolchain's lines, "package version", as the guide lists them.
mapfile -t toolchain_lines < <(python3 scripts/readme_txt.py --toolchain)
[ ${#toolchain_lines[@]} -gt 0 ] || { echo "docs/GUIDE.md names no toolchain packages" >&2; exit 1; }
toolchain=() differs=()
for line in "${toolchain_lines[@]}"; do
    package=${line% *} published=${line#* }
    toolchain+=("$package")
    installed=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || echo "not installed")
    [ "$installed" = "$published" ] ||
        differs+=("$package: here $installed; the published bytes were made with $published")
done
if [ ${#differs[@]} -gt 0 ]; then
    {
        echo "This machine's MinGW-w64 is not the toolchain that made the published tavrik.exe, so its bytes"
        echo "would differ from the checksum in 'Verify your download':"
        printf '  %s\n' "${differs[@]}"
        echo "Make the release in a clean Debian 12 (bookworm) with those versions, for example in a"
        echo "debian:bookworm container: install git, clone these sources at the release's tag, and run"
        echo "release/release.sh there (docs/GUIDE.md, 'Rebuilding the same bytes', says how)."
    } >&2
    exit 1
fi

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
python3 tests/scripts/readme_check.py
epoch=$(python3 scripts/version.py epoch)
mapfile -t docs < <(python3 scripts/readme_txt.py --list)
[ ${#docs[@]} -gt 0 ] || { echo "scripts/readme_txt.py lists no documents" >&2; exit 1; }
mkdir -p dist
python3 release/pack.py dist "$version" "$epoch" "$exe" "${docs[@]}" LICENSE
# The build environment, as Debian's .buildinfo files record a build: kept
# out of the zip, so a Debian point release never changes published bytes.
# Its commands run in the C locale; Wine, above, needs the user's.
(
    export LC_ALL=C
    . /etc/os-release
    printf 'Format: 1.0\nSource: tavrik\nVersion: %s\n' "$version"
    printf 'Source-Commit: %s\n' "$(git describe --always --dirty --abbrev=40 2>/dev/null || echo unknown)"
    printf 'Source-Date-Epoch: %s\nBuild-Origin: Debian %s (%s)\n' "$epoch" "$(cat /etc/debian_version)" \
        "${VERSION_CODENAME:-unknown}"
    printf 'Build-Architecture: %s\nInstalled-Build-Depends:\n' "$(dpkg --print-architecture)"
    for package in "${toolchain[@]}" cmake ninja-build python3; do
        printf ' %s (= %s)\n' "$package" "$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || echo unknown)"
    done | sed '$!s/$/,/'
    printf 'Checksums-Sha256:\n %s %s tavrik.exe\n' "$checksum" "$(stat -c %s "$exe")"
) > dist/BUILDINFO.txt
echo
cat dist/BUILDINFO.txt
echo
echo "tavrik.exe version $version: $checksum"
