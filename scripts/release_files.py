#!/usr/bin/env python3
"""Packs a release into DIST: the zip (tavrik.exe, the docs and their
SHA256SUMS), which depends on those bytes alone, and, when GITHUB_REPOSITORY
names the repository, what a package manager takes as it is: a Scoop
manifest (tavrik.json), winget manifests for the community repository (a
folder, and a zip of it), and the release notes. Beside them: SHA256SUMS of
every file published and of the files in the zip, subjects.sha256 (the same
and SHA256SUMS itself, for the attestation), and BUILDINFO.txt, the build
environment, kept out of the zip so that a Debian point release never
changes published bytes. JSON and YAML are written from data by the standard
writers and read back with the parsers, and every URL and hash read back
must match the zip.
usage: release_files.py DIST VERSION EPOCH EXE DOC..."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

import yaml

from readme_txt import TOOLCHAIN_LINE

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINGET_SCHEMA = "1.12.0"  # the newest the community repository accepts
# The winget package's identity, decided once: whoever runs the release job,
# the package stays the same, and its publisher is the maker the exe's
# version record names (a fork changes both; docs/DEVELOPMENT.md says how).
PACKAGE_IDENTIFIER = "TavrikProject.Tavrik"
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
    inputs give the same bytes. Stored, not deflated: the bytes then owe
    nothing to the zlib that happens to be installed."""
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.external_attr = 0o644 << 16
            z.writestr(info, data)


def write_text(path, text):
    """A text file with LF line ends, in UTF-8, whatever the locale."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def sums(entries):
    """sha256sum's format: (name, bytes) in order."""
    return "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in entries)


def company_name(root=ROOT):
    """The maker the exe's version record names."""
    with open(os.path.join(root, "res", "tavrik.rc"), encoding="utf-8") as f:
        return re.search(r'VALUE "CompanyName", "([^"]+)"', f.read()).group(1)


def urls(repository, version):
    base = "https://github.com/%s" % repository
    return {"home": base, "zip": "%s/releases/download/v%s/%s" % (base, version, zip_name(version)),
            "next zip": "%s/releases/download/v$version/%s" % (base, zip_name("$version")),
            "tag": "%s/releases/tag/v%s" % (base, version), "license": "%s/blob/v%s/LICENSE" % (base, version),
            "issues": "%s/issues" % base,
            # The manifest of whatever release is newest: scoop update reloads
            # the URL an app was installed from, so one naming a version
            # would keep that version for good.
            "scoop": "%s/releases/latest/download/tavrik.json" % base}


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
    identifier, url, owner = PACKAGE_IDENTIFIER, urls(repository, version), repository.split("/")[0]
    common = {"PackageIdentifier": identifier, "PackageVersion": version}
    return {
        identifier + ".yaml": ("version", {**common, "DefaultLocale": "en-US"}),
        identifier + ".installer.yaml": ("installer", {
            **common, "InstallerType": "zip", "NestedInstallerType": "portable",
            "NestedInstallerFiles": [{"RelativeFilePath": "tavrik.exe", "PortableCommandAlias": "tavrik"}],
            "ReleaseDate": release_date,
            "Installers": [{"Architecture": "x64", "InstallerUrl": url["zip"], "InstallerSha256": zip_hash.upper()}]}),
        identifier + ".locale.en-US.yaml": ("defaultLocale", {
            **common, "PackageLocale": "en-US", "Publisher": company_name(),
            "PublisherUrl": "https://github.com/" + owner, "PublisherSupportUrl": url["issues"], "PackageName": "tavrik", "PackageUrl": url["home"], "License": "MIT", "LicenseUrl": url["license"],
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


def winget_zip_name(version):
    return "tavrik-%s-winget-manifests.zip" % version


def winget_folder(version):
    publisher, name = PACKAGE_IDENTIFIER.split(".")
    return "/".join(["manifests", publisher[0].lower(), publisher, name, version])


# What the notes ask a user to run, in order: the command's shell, and the
# sentence before it in English and in Japanese ({tag}: the release's tag).
NOTE_STEPS = [
    ("check_ps", "powershell",
     "Check the zip before you unpack it. In PowerShell, in the folder that holds it, this prints True for "
     "this release's zip and False for any other file:",
     "zip は展開する前に確認してください。zip のあるフォルダーで PowerShell を開いて次の行を実行すると、"
     "このリリースの zip なら True、ほかのファイルなら False と表示されます。"),
    ("check_cmd", "bat", "In cmd, the same check:", "コマンド プロンプト (cmd) では次のようにします。"),
    ("verify", "sh",
     "Check that this repository's release job built it from the tag {tag}, with the GitHub CLI: gh 2.49 or "
     "later, signed in with `gh auth login`. Every other file of this release, and `tavrik.exe` in the zip, "
     "is checked the same way, with its own name in place of the zip's:",
     "このリポジトリのリリース用ジョブがタグ {tag} からビルドしたことは、GitHub CLI で確認できます。"
     "gh 2.49 以降が必要で、先に `gh auth login` でサインインしておきます。このリリースのほかのファイルや "
     "zip の中の `tavrik.exe` も、zip の名前をそのファイルの名前に置き換えて同じように確認できます。"),
    ("scoop", "powershell",
     "Install it with [Scoop](https://scoop.sh): this manifest always names the newest release, so "
     "`scoop update tavrik` updates tavrik and `scoop uninstall tavrik` removes it.",
     "[Scoop](https://scoop.sh) でインストールするには次のようにします。このマニフェストは常に最新のリリースを"
     "指すので、`scoop update tavrik` で更新でき、`scoop uninstall tavrik` で削除できます。"),
    ("winget", "powershell",
     "With winget, once these manifests have been accepted into winget's community repository "
     "(microsoft/winget-pkgs); until then winget finds no such package:",
     "winget では、マニフェストが winget のコミュニティ リポジトリ (microsoft/winget-pkgs) に受け入れられた後に、"
     "次のコマンドでインストールできます。それまでは、このパッケージは見つかりません。"),
]


def release_notes(repository, version, published, exe_hash):
    """The notes, in English and Japanese: the published files and their
    hashes, and each command a user runs, written out for this release."""
    url, archive, tag = urls(repository, version), zip_name(version), "v" + version
    zip_hash = dict(published)[archive]
    commands = {
        "check_ps": "(Get-FileHash .\\%s -Algorithm SHA256).Hash -eq '%s'" % (archive, zip_hash),
        "check_cmd": 'certutil -hashfile %s SHA256 | find /i "%s" >nul && echo True || echo False' % (archive, zip_hash),
        "verify": "gh attestation verify %s --repo %s --signer-workflow %s/.github/workflows/ci.yml "
                  "--source-ref refs/tags/%s" % (archive, repository, repository, tag),
        "scoop": "scoop install %s" % url["scoop"],
        "winget": "winget install --id %s -e" % PACKAGE_IDENTIFIER,
    }

    def steps(language):
        return [line for key, shell, *sentences in NOTE_STEPS
                for line in (sentences[language].format(tag=tag), "", "```" + shell, commands[key], "```", "")]
    return "\n".join(
        ["tavrik %s for 64-bit Windows: one zip, `%s`, holding `tavrik.exe`, its readmes (README.txt, and "
         "README.ja.txt in Japanese), LICENSE and SHA256SUMS. This release publishes these files, and no "
         "others:" % (version, archive), "", "| file | SHA-256 |", "|---|---|"] +
        ["| `%s` | `%s` |" % (name, digest) for name, digest in published] +
        ["| `tavrik.exe` (in the zip) | `%s` |" % exe_hash, ""] + steps(0) +
        ["`tavrik-%s-winget-manifests.zip` holds the manifests (`%s`), for the maintainer to submit."
         % (version, winget_folder(version)), "", "## 日本語", ""] + steps(1) +
        ["詳しい説明は、zip の中の README.ja.txt にあります。", ""])


def write_manifests(dist, repository, version, epoch):
    """Writes tavrik.json, the winget folder and its zip; returns the names
    of the two files published."""
    zip_hash = sha256(os.path.join(dist, zip_name(version)))
    write_text(os.path.join(dist, "tavrik.json"),
               json.dumps(scoop_manifest(repository, version, zip_hash), indent=4, ensure_ascii=False) + "\n")
    folder = winget_folder(version)
    os.makedirs(os.path.join(dist, "winget", folder), exist_ok=True)
    release_date = time.strftime("%Y-%m-%d", time.gmtime(int(epoch)))
    members = []
    for name, (kind, data) in winget_manifests(repository, version, zip_hash, release_date).items():
        text = winget_text(kind, data)
        write_text(os.path.join(dist, "winget", folder, name), text)
        members.append(("%s/%s" % (folder, name), text.encode()))
    write_zip(os.path.join(dist, winget_zip_name(version)), epoch, members)
    return ["tavrik.json", winget_zip_name(version)]


def toolchain_packages(root=ROOT):
    """The packages whose versions README.md publishes as the toolchain that
    made the published bytes."""
    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        return [name for name, _ in TOOLCHAIN_LINE.findall(f.read())]


def build_environment():
    """What this machine is and has: the facts a rebuild needs, none of which
    may reach the zip. Commands run in the C locale; their output is kept."""
    def output(*command):
        done = subprocess.run(command, capture_output=True, encoding="utf-8", env=dict(os.environ, LC_ALL="C"))
        return done.stdout.strip() if done.returncode == 0 else "unknown"
    with open("/etc/os-release", encoding="utf-8") as f:
        codename = re.search(r"(?m)^VERSION_CODENAME=(.*)$", f.read())
    with open("/etc/debian_version", encoding="utf-8") as f:
        origin = "Debian %s (%s)" % (f.read().strip(), codename.group(1) if codename else "unknown")
    return {"origin": origin, "architecture": output("dpkg", "--print-architecture"),
            "commit": output("git", "-C", ROOT, "describe", "--always", "--dirty", "--abbrev=40"),
            "packages": [(name, output("dpkg-query", "-W", "-f=${Version}", name))
                         for name in toolchain_packages() + ["cmake", "ninja-build", "python3"]]}


def build_record(version, epoch, exe, environment):
    """BUILDINFO.txt, as Debian's .buildinfo files record a build."""
    return "".join(["Format: 1.0\n", "Source: tavrik\n", "Version: %s\n" % version,
                    "Source-Commit: %s\n" % environment["commit"], "Source-Date-Epoch: %s\n" % epoch,
                    "Build-Origin: %s\n" % environment["origin"],
                    "Build-Architecture: %s\n" % environment["architecture"], "Installed-Build-Depends:\n",
                    ",\n".join(" %s (= %s)" % package for package in environment["packages"]) + "\n",
                    "Checksums-Sha256:\n", " %s %d tavrik.exe\n" % (hashlib.sha256(exe).hexdigest(), len(exe))])


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
    folder = os.path.join(dist, "winget", winget_folder(version))
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


# What a run writes beside the zip: an earlier run's may name another zip.
OUTPUTS = ["SHA256SUMS", "subjects.sha256", "BUILDINFO.txt", "tavrik.json", "release-notes.md"]


def main(argv):
    dist, version, epoch, exe, *docs = argv
    members = []
    for name, path in [("tavrik.exe", exe)] + [(os.path.basename(doc), doc) for doc in docs]:
        with open(path, "rb") as f:
            members.append((name, f.read()))
    archive = zip_name(version)
    members.append(("SHA256SUMS", sums(members).encode()))
    write_zip(os.path.join(dist, archive), epoch, members)
    for name in OUTPUTS + [winget_zip_name(version)]:
        if os.path.exists(os.path.join(dist, name)):
            os.remove(os.path.join(dist, name))
    shutil.rmtree(os.path.join(dist, "winget"), ignore_errors=True)
    repository = os.environ.get("GITHUB_REPOSITORY", "")
    if repository and not re.fullmatch(r"[A-Za-z0-9-]+/[A-Za-z0-9._-]+", repository):
        raise SystemExit("GITHUB_REPOSITORY %r is not owner/name" % repository)
    published = [archive] + (write_manifests(dist, repository, version, epoch) if repository else [])

    def read(name):
        with open(os.path.join(dist, name), "rb") as f:
            return f.read()
    # Beside the zip, for users: the files inside it, and each file published
    # (the zip above all, so a download can be checked before it is unpacked;
    # Scoop's autoupdate finds the next release's hash here by the zip's name).
    listing = sums(members[:-1] + [(name, read(name)) for name in published])
    write_text(os.path.join(dist, "SHA256SUMS"), listing)
    published.append("SHA256SUMS")
    # For the attestation: every file published, and every file in the zip
    # under the zip's name.
    write_text(os.path.join(dist, "subjects.sha256"),
               sums([(name, read(name)) for name in published] +
                    [("%s/%s" % (archive, name), data) for name, data in members]))
    write_text(os.path.join(dist, "BUILDINFO.txt"), build_record(version, epoch, members[0][1], build_environment()))
    print(listing, end="")
    if not repository:
        print("No manifests or release notes: GITHUB_REPOSITORY (owner/name) is not set.")
        return 0
    write_text(os.path.join(dist, "release-notes.md"),
               release_notes(repository, version, [(name, sha256(os.path.join(dist, name))) for name in published],
                             hashlib.sha256(members[0][1]).hexdigest()))
    found = manifest_problems(dist, repository, version)
    for problem in found:
        print("manifests: " + problem, file=sys.stderr)
    if found:
        return 1
    print("Manifests for %s: dist/tavrik.json, dist/winget/%s, dist/release-notes.md"
          % (repository, winget_folder(version)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
