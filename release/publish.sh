#!/usr/bin/env bash
# Publishes what release/release.sh made in dist/ as the GitHub release TAG,
# with the gh CLI (GH_REPO and GH_TOKEN set), so that each file's URL serves
# the same bytes for good:
#   check     stops if the release already has a file by one of these names
#             with other bytes (a re-run in another environment, say); files
#             with the same bytes pass
#   publish   the same check, then makes the release as a draft if there is
#             none, uploads the files it lacks, and only then publishes it,
#             so latest/download/tavrik.json never points at nothing
# A release is "none yet" only when gh says exactly "release not found"
# (pkg/cmd/release/shared/fetch.go in cli/cli, read at v2.60.0); any other
# failure of gh, a missing gh or a wrong repository among them, stops it.
# usage: publish.sh TAG check|publish
set -euo pipefail
usage="usage: publish.sh TAG check|publish"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
tag=$1 mode=$2
case "$mode" in
    check | publish) ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
command -v gh >/dev/null || { echo "publish.sh needs the GitHub CLI (gh) on PATH" >&2; exit 1; }
[ -f dist/published.txt ] && [ -f dist/release-notes.md ] ||
    { echo "dist/ has no release: run release/release.sh with GITHUB_REPOSITORY first" >&2; exit 1; }
# The files the release publishes, as release/pack.py listed them.
mapfile -t files < <(sed 's|^|dist/|' dist/published.txt)
[ ${#files[@]} -gt 0 ] || { echo "dist/published.txt lists no file: run release/release.sh again" >&2; exit 1; }
for file in "${files[@]}"; do
    [ -f "$file" ] || { echo "$file is missing: run release/release.sh again" >&2; exit 1; }
done
case "${files[0]}" in
    "dist/tavrik-${tag#v}-win64.zip") ;;
    *) echo "dist/ holds the release of another version than $tag: run release/release.sh again" >&2; exit 1 ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
draft=none  # none, true or false
if gh release view "$tag" --json isDraft --jq .isDraft >"$scratch/draft" 2>"$scratch/error"; then
    draft=$(cat "$scratch/draft")
    gh release view "$tag" --json assets --jq '.assets[].name' >"$scratch/assets"
elif ! grep -qx 'release not found' "$scratch/error"; then
    cat "$scratch/error" >&2
    exit 1
fi

missing=() differing=()
for file in "${files[@]}"; do
    name=$(basename "$file")
    if [ "$draft" = none ] || ! grep -qxF "$name" "$scratch/assets"; then
        missing+=("$file")
        continue
    fi
    gh release download "$tag" --pattern "$name" --dir "$scratch/published"
    cmp -s "$file" "$scratch/published/$name" || differing+=("$name")
done
if [ ${#differing[@]} -gt 0 ]; then
    echo "The release $tag already publishes other bytes under these names, and they stay as they are:" >&2
    printf '  %s\n' "${differing[@]}" >&2
    echo "Users and package manifests have their hashes. Publish the new bytes as a new version." >&2
    exit 1
fi
echo "release $tag: ${#missing[@]} file(s) to upload, $(( ${#files[@]} - ${#missing[@]} )) already published with these bytes"
[ "$mode" = publish ] || exit 0

if [ "$draft" = none ]; then
    gh release create "$tag" --draft --verify-tag --title "tavrik $tag" --notes-file dist/release-notes.md
    draft=true
elif [ "$draft" = true ]; then
    gh release edit "$tag" --notes-file dist/release-notes.md
fi
[ ${#missing[@]} -eq 0 ] || gh release upload "$tag" "${missing[@]}"
[ "$draft" = false ] || gh release edit "$tag" --draft=false
echo "release $tag: published"
