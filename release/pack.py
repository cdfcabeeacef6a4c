#!/usr/bin/env python3
"""Packs a release into DIST: the zip (tavrik.exe, the docs and their
SHA256SUMS), which depends on those bytes alone, and, when GITHUB_REPOSITORY
names the repository, the Scoop manifest (tavrik.json), the winget manifests
(a folder, and a zip of it) and the release notes, each filled in from its
file in release/templates/, and published.txt, the names of the files the
release publishes. Beside them: SHA256SUMS of every file published
and of the files in the zip, and subjects.sha256 (the same and SHA256SUMS
itself, for the attestation).
The docs made by scripts/readme_txt.py (*.txt) are templates: ${repository}
becomes GITHUB_REPOSITORY, so the zip's readmes lead back to the project.
usage: pack.py DIST VERSION EPOCH EXE DOC..."""
import hashlib
import os
import re
import shutil
import string
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "templates")
# The winget package's identity, decided once: whoever runs the release job,
# the package stays the same, and its publisher is the maker the exe's
# version record names (a fork changes both; docs/DEVELOPMENT.md says how).
PACKAGE_IDENTIFIER = "TavrikProject.Tavrik"
# The winget manifests, the multi-file form the community repository asks
# for: each template's name, as the name's end after the identifier.
WINGET_MANIFESTS = [".yaml", ".installer.yaml", ".locale.en-US.yaml", ".locale.ja-JP.yaml"]
# What a run writes beside the zip: an earlier run's may name another zip.
OUTPUTS = ["SHA256SUMS", "subjects.sha256", "tavrik.json", "release-notes.md", "published.txt"]


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def read(path, mode="rb"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8"})) as f:
        return f.read()


def write_text(path, text):
    """A text file with LF line ends, in UTF-8, whatever the locale."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def fill(template, values):
    """A template with every ${name} filled in; an unknown name is an error."""
    return string.Template(read(os.path.join(TEMPLATES, template), "r")).substitute(values)


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


def sums(entries):
    """sha256sum's format: (name, bytes) in order."""
    return "".join("%s  %s\n" % (sha256(data), name) for name, data in entries)


def company_name():
    """The maker the exe's version record names."""
    return re.search(r'VALUE "CompanyName", "([^"]+)"', read(os.path.join(HERE, "..", "res", "tavrik.rc"), "r")).group(1)


def write_manifests(dist, values):
    """Writes tavrik.json, the winget folder and its zip; returns the names
    of the two files published."""
    write_text(os.path.join(dist, "tavrik.json"), fill("tavrik.json", values))
    folder = values["winget_folder"]
    os.makedirs(os.path.join(dist, "winget", folder), exist_ok=True)
    members = []
    for suffix in WINGET_MANIFESTS:
        text = fill("winget" + suffix, values)
        write_text(os.path.join(dist, "winget", folder, PACKAGE_IDENTIFIER + suffix), text)
        members.append(("%s/%s%s" % (folder, PACKAGE_IDENTIFIER, suffix), text.encode()))
    write_zip(os.path.join(dist, values["winget_zip"]), values["epoch"], members)
    return ["tavrik.json", values["winget_zip"]]


def document(path, repository):
    """A doc's bytes as the zip holds them; a .txt is filled in, strictly."""
    data = read(path)
    if not path.endswith(".txt"):
        return data
    text = string.Template(data.decode("utf-8")).substitute(repository=repository or "<owner>/<repo>")
    return text.encode("utf-8")


def main(argv):
    dist, version, epoch, exe, *docs = argv
    repository = os.environ.get("GITHUB_REPOSITORY", "")
    if repository and not re.fullmatch(r"[A-Za-z0-9-]+/[A-Za-z0-9._-]+", repository):
        raise SystemExit("GITHUB_REPOSITORY %r is not owner/name" % repository)
    members = [(os.path.basename(path), document(path, repository)) for path in docs]
    members.insert(0, ("tavrik.exe", read(exe)))
    archive = "tavrik-%s-win64.zip" % version
    members.append(("SHA256SUMS", sums(members).encode()))
    write_zip(os.path.join(dist, archive), epoch, members)
    winget_zip = "tavrik-%s-winget-manifests.zip" % version
    for name in OUTPUTS + [winget_zip]:
        if os.path.exists(os.path.join(dist, name)):
            os.remove(os.path.join(dist, name))
    shutil.rmtree(os.path.join(dist, "winget"), ignore_errors=True)
    home = "https://github.com/%s" % repository
    zip_hash = sha256(read(os.path.join(dist, archive)))
    publisher, name = PACKAGE_IDENTIFIER.split(".")
    values = {"version": version, "tag": "v" + version, "epoch": epoch, "repository": repository, "home": home,
              "owner_url": "https://github.com/" + repository.split("/")[0], "zip": archive,
              "zip_url": "%s/releases/download/v%s/%s" % (home, version, archive), "zip_hash": zip_hash,
              "zip_hash_upper": zip_hash.upper(), "identifier": PACKAGE_IDENTIFIER, "winget_zip": winget_zip,
              "winget_folder": "/".join(["manifests", publisher[0].lower(), publisher, name, version]),
              "release_date": time.strftime("%Y-%m-%d", time.gmtime(int(epoch))), "publisher": company_name()}
    published = [archive] + (write_manifests(dist, values) if repository else [])
    # Beside the zip, for users: the files inside it, and each file published
    # (the zip above all, so a download can be checked before it is unpacked;
    # Scoop's autoupdate finds the next release's hash here by the zip's name).
    listing = sums(members[:-1] + [(name, read(os.path.join(dist, name))) for name in published])
    write_text(os.path.join(dist, "SHA256SUMS"), listing)
    published.append("SHA256SUMS")
    # For the attestation: every file published, and every file in the zip
    # under the zip's name.
    write_text(os.path.join(dist, "subjects.sha256"),
               sums([(name, read(os.path.join(dist, name))) for name in published] +
                    [("%s/%s" % (archive, name), data) for name, data in members]))
    print(listing, end="")
    if not repository:
        print("No manifests or release notes: GITHUB_REPOSITORY (owner/name) is not set.")
        return 0
    # The files table, in each language: the exe's row says where it is.
    rows = ["| `%s` | `%s` |" % (name, sha256(read(os.path.join(dist, name)))) for name in published]
    exe_row = "| `tavrik.exe` (%s) | `" + sha256(members[0][1]) + "` |"
    values["files"] = "\n".join(rows + [exe_row % "in the zip"])
    values["files_ja"] = "\n".join(rows + [exe_row % "zip の中"])
    write_text(os.path.join(dist, "release-notes.md"), fill("release-notes.md", values))
    # What release/publish.sh uploads: exactly the files the notes list.
    write_text(os.path.join(dist, "published.txt"), "".join(name + "\n" for name in published))
    print("Manifests for %s: dist/tavrik.json, dist/winget/%s, dist/release-notes.md"
          % (repository, values["winget_folder"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
