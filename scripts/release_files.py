#!/usr/bin/env python3
"""Packs a release into DIST: the reproducible zip (tavrik.exe, the docs and
their SHA256SUMS), SHA256SUMS beside it listing the zip as well, and, when
GITHUB_REPOSITORY names the repository, what a package manager takes as it
is: a Scoop manifest (tavrik.json), winget manifests for the community
repository (a folder, and a zip of it), and the release notes. JSON and
YAML are written from data by the standard writers and read back with the
parsers, and every URL and hash read back must match the zip.
usage: release_files.py DIST VERSION EPOCH EXE DOC..."""
import hashlib
import json
import os
import re
import shutil
import sys
import time
import zipfile

import yaml

WINGET_SCHEMA = "1.12.0"  # the newest the community repository accepts
DESCRIPTION = ("Controls the console window it runs in: show state, position, z-order, "
               "screen-buffer size and visible area.")
DESCRIPTION_JA = ("コンソール ウィンドウの各種制御: 自分が動いているコンソール ウィンドウの表示状態、位置、"
                  "Z オーダー、画面バッファーのサイズ、表示領域を変更します。")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def zip_name(version):
    return "tavrik-%s-win64.zip" % version


def write_zip(path, epoch, members):
    """members: (name, bytes); fixed order, times and modes, so the same
    inputs give the same bytes."""
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


def urls(repository, version):
    base = "https://github.com/%s" % repository
    return {"home": base, "zip": "%s/releases/download/v%s/%s" % (base, version, zip_name(version)),
            "next zip": "%s/releases/download/v$version/%s" % (base, zip_name("$version")),
            "tag": "%s/releases/tag/v%s" % (base, version), "license": "%s/blob/v%s/LICENSE" % (base, version),
            "scoop": "%s/releases/download/v%s/tavrik.json" % (base, version)}


def package_identifier(repository):
    owner = repository.split("/")[0]
    identifier = owner[:1].upper() + owner[1:] + ".Tavrik"
    if not re.fullmatch(r"[^.\s\\/:*?\"<>|\x01-\x1f]{1,32}\.Tavrik", identifier):
        raise SystemExit("the owner %r makes no winget package identifier (at most 32 characters)" % owner)
    return identifier


def scoop_manifest(repository, version, zip_hash):
    url = urls(repository, version)
    return {"version": version, "description": DESCRIPTION, "homepage": url["home"], "license": "MIT",
            "architecture": {"64bit": {"url": url["zip"], "hash": zip_hash}},
            "bin": "tavrik.exe", "checkver": "github",
            # SHA256SUMS beside each release's zip lists the zip's hash.
            "autoupdate": {"architecture": {"64bit": {"url": url["next zip"],
                                                      "hash": {"url": "$baseurl/SHA256SUMS"}}}}}


def winget_manifests(repository, version, zip_hash, release_date):
    """{file name: (manifest type, data)}, the multi-file form the community
    repository asks for."""
    identifier, url, owner = package_identifier(repository), urls(repository, version), repository.split("/")[0]
    common = {"PackageIdentifier": identifier, "PackageVersion": version}
    return {
        identifier + ".yaml": ("version", {**common, "DefaultLocale": "en-US"}),
        identifier + ".installer.yaml": ("installer", {
            **common, "InstallerType": "zip", "NestedInstallerType": "portable",
            "NestedInstallerFiles": [{"RelativeFilePath": "tavrik.exe", "PortableCommandAlias": "tavrik"}],
            "ReleaseDate": release_date,
            "Installers": [{"Architecture": "x64", "InstallerUrl": url["zip"], "InstallerSha256": zip_hash.upper()}]}),
        identifier + ".locale.en-US.yaml": ("defaultLocale", {
            **common, "PackageLocale": "en-US", "Publisher": owner, "PublisherUrl": "https://github.com/" + owner,
            "PackageName": "tavrik", "PackageUrl": url["home"], "License": "MIT", "LicenseUrl": url["license"],
            "ShortDescription": DESCRIPTION, "Moniker": "tavrik",
            "Tags": ["console", "cmd", "batch", "window", "conhost"], "ReleaseNotesUrl": url["tag"]}),
        identifier + ".locale.ja-JP.yaml": ("locale", {
            **common, "PackageLocale": "ja-JP", "ShortDescription": DESCRIPTION_JA}),
    }


def winget_text(kind, data):
    header = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n\n" % (
        kind, WINGET_SCHEMA)
    data = {**data, "ManifestType": kind, "ManifestVersion": WINGET_SCHEMA}
    return header + yaml.safe_dump(data, sort_keys=False, allow_unicode=True, width=1000)


def winget_folder(repository, version):
    identifier = package_identifier(repository)
    publisher, name = identifier.split(".")
    return "/".join(["manifests", publisher[0].lower(), publisher, name, version])


def release_notes(repository, version, zip_hash, exe_hash):
    url, archive = urls(repository, version), zip_name(version)
    return "\n".join([
        "tavrik %s for 64-bit Windows: one zip, `%s`, holding `tavrik.exe`, its readmes "
        "(README.txt, and README.ja.txt in Japanese), LICENSE, BUILDINFO.txt and SHA256SUMS." % (version, archive),
        "", "| file | SHA-256 |", "|---|---|",
        "| `%s` | `%s` |" % (archive, zip_hash), "| `tavrik.exe` (in the zip) | `%s` |" % exe_hash, "",
        "Check the download in PowerShell; it must print the zip's SHA-256 above:", "",
        "```powershell", "Get-FileHash %s -Algorithm SHA256" % archive, "```", "",
        "Check that this repository's release job built it, with the GitHub CLI "
        "(`tavrik.exe` may be checked the same way):", "",
        "```sh", "gh attestation verify %s --repo %s" % (archive, repository), "```", "",
        "Install this release with Scoop:", "",
        "```powershell", "scoop install %s" % url["scoop"], "```", "",
        "`tavrik-%s-winget-manifests.zip` holds this release's manifests for winget's community "
        "repository (`%s`), for a maintainer to submit." % (version, winget_folder(repository, version)),
        "", "日本語の説明は zip の中の README.ja.txt にあります。", ""])


def write_manifests(dist, repository, version, epoch):
    """Writes tavrik.json, the winget folder and its zip, and the notes."""
    zip_hash = sha256(os.path.join(dist, zip_name(version)))
    with zipfile.ZipFile(os.path.join(dist, zip_name(version))) as z:
        exe_hash = hashlib.sha256(z.read("tavrik.exe")).hexdigest()
    with open(os.path.join(dist, "tavrik.json"), "w", encoding="utf-8") as f:
        json.dump(scoop_manifest(repository, version, zip_hash), f, indent=4, ensure_ascii=False)
        f.write("\n")
    folder = winget_folder(repository, version)
    os.makedirs(os.path.join(dist, "winget", folder), exist_ok=True)
    release_date = time.strftime("%Y-%m-%d", time.gmtime(int(epoch)))
    members = []
    for name, (kind, data) in winget_manifests(repository, version, zip_hash, release_date).items():
        text = winget_text(kind, data)
        with open(os.path.join(dist, "winget", folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
        members.append(("%s/%s" % (folder, name), text.encode()))
    write_zip(os.path.join(dist, "tavrik-%s-winget-manifests.zip" % version), epoch, members)
    with open(os.path.join(dist, "release-notes.md"), "w", encoding="utf-8") as f:
        f.write(release_notes(repository, version, zip_hash, exe_hash))


def manifest_problems(dist, repository, version):
    """Reads the manifests back and says where one does not match the zip."""
    found = []
    zip_hash, url = sha256(os.path.join(dist, zip_name(version))), urls(repository, version)
    with open(os.path.join(dist, "tavrik.json"), encoding="utf-8") as f:
        scoop = json.load(f)
    package = scoop["architecture"]["64bit"]
    for what, have, want in [("version", scoop["version"], version), ("url", package["url"], url["zip"]),
                             ("hash", package["hash"], zip_hash), ("bin", scoop["bin"], "tavrik.exe")]:
        if have != want:
            found.append("tavrik.json: %s is %r, not %r" % (what, have, want))
    folder = os.path.join(dist, "winget", winget_folder(repository, version))
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        if manifest["PackageVersion"] != version:
            found.append("%s: PackageVersion is %r, not %r" % (name, manifest["PackageVersion"], version))
        for installer in manifest.get("Installers", []):
            if installer["InstallerUrl"] != url["zip"] or str(installer["InstallerSha256"]).lower() != zip_hash:
                found.append("%s: the installer is %s (%s), not the zip %s (%s)" % (
                    name, installer["InstallerUrl"], installer["InstallerSha256"], url["zip"], zip_hash))
        for nested in manifest.get("NestedInstallerFiles", []):
            if nested != {"RelativeFilePath": "tavrik.exe", "PortableCommandAlias": "tavrik"}:
                found.append("%s: the nested installer is %r" % (name, nested))
    return found


def main(argv):
    dist, version, epoch, exe, *docs = argv
    members = []
    for name, path in [("tavrik.exe", exe)] + [(os.path.basename(doc), doc) for doc in docs]:
        with open(path, "rb") as f:
            members.append((name, f.read()))
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in members)
    write_zip(os.path.join(dist, zip_name(version)), epoch, members + [("SHA256SUMS", sums.encode())])
    # Beside the zip: the files inside it, and the zip itself, so a download
    # can be checked before it is unpacked.
    sums += "%s  %s\n" % (sha256(os.path.join(dist, zip_name(version))), zip_name(version))
    with open(os.path.join(dist, "SHA256SUMS"), "w") as f:
        f.write(sums)
    print(sums, end="")
    # An earlier run's manifests name another zip: none may outlive it.
    for name in ["tavrik.json", "release-notes.md", "tavrik-%s-winget-manifests.zip" % version]:
        if os.path.exists(os.path.join(dist, name)):
            os.remove(os.path.join(dist, name))
    shutil.rmtree(os.path.join(dist, "winget"), ignore_errors=True)
    repository = os.environ.get("GITHUB_REPOSITORY", "")
    if not repository:
        print("No manifests or release notes: GITHUB_REPOSITORY (owner/name) is not set.")
        return 0
    if not re.fullmatch(r"[A-Za-z0-9-]+/[A-Za-z0-9._-]+", repository):
        raise SystemExit("GITHUB_REPOSITORY %r is not owner/name" % repository)
    write_manifests(dist, repository, version, epoch)
    found = manifest_problems(dist, repository, version)
    for problem in found:
        print("manifests: " + problem, file=sys.stderr)
    if found:
        return 1
    print("Manifests for %s: dist/tavrik.json, dist/winget/%s, dist/release-notes.md"
          % (repository, winget_folder(repository, version)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
