"""The release's packing on a small fixture: SHA256SUMS beside the zip lists
the zip, the Scoop and winget manifests filled in from their templates and
read back with the standard parsers name the zip's URL and hash, the
version, the exe and its command alias, and nothing published can
contradict the rest."""
import contextlib
import hashlib
import io
import json
import os
import re
import shutil
import sys
import tempfile
import time
import unittest
import zipfile
from unittest import mock

import yaml

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "release"))
import pack as packing  # noqa: E402

URL = "https://github.com/owner/name/releases/download/v1.0/tavrik-1.0-win64.zip"
FOLDER = "winget/manifests/t/TavrikProject/Tavrik/1.0"
MANIFEST = FOLDER + "/TavrikProject.Tavrik"
def pack(dist, repository="owner/name"):
    """The release's packing of a two-file fixture into dist."""
    for name, data in (("tavrik.exe", b"MZ fixture"), ("README.txt", b"readme of ${repository}, $$5\r\n")):
        with open(os.path.join(dist, name), "wb") as f:
            f.write(data)
    with mock.patch.dict(os.environ, {"GITHUB_REPOSITORY": repository}), \
            contextlib.redirect_stdout(io.StringIO()):
        return packing.main([dist, "1.0", "1796601600", os.path.join(dist, "tavrik.exe"),
                                   os.path.join(dist, "README.txt")])


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def scoop_hash_lookup(sums, basename):
    """Scoop's autoupdate over a hash file named in the manifest (its
    find_hash_in_textfile, lib/autoupdate.ps1): the whole file as one hash,
    else the hash on the line that names the file."""
    whole = re.search(r"^\s*([a-fA-F0-9]+)\s*$", sums, re.I)
    if whole:
        return whole.group(1)
    name = re.escape(basename)
    found = re.search(r"([a-fA-F0-9]{32,128})[\x20\t]+.*%s(?:\s|$)|%s[\x20\t]+.*?([a-fA-F0-9]{32,128})"
                      % (name, name), sums, re.I)
    return found and (found.group(1) or found.group(2))


class ReleaseFiles(unittest.TestCase):
    def setUp(self):
        self.dist = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dist)
        self.assertEqual(pack(self.dist), 0)
        with open(os.path.join(self.dist, "tavrik-1.0-win64.zip"), "rb") as f:
            self.zip_hash = hashlib.sha256(f.read()).hexdigest()

    def read(self, name):
        with open(os.path.join(self.dist, name), encoding="utf-8") as f:
            return json.load(f) if name.endswith(".json") else yaml.safe_load(f)

    def test_sha256sums_beside_the_zip_lists_the_zip(self):
        with open(os.path.join(self.dist, "SHA256SUMS")) as f:
            self.assertIn("%s  tavrik-1.0-win64.zip\n" % self.zip_hash, f.read())

    def test_the_scoop_manifest_installs_this_zip(self):
        scoop = self.read("tavrik.json")
        self.assertEqual((scoop["version"], scoop["bin"], scoop["license"]), ("1.0", "tavrik.exe", "MIT"))
        self.assertEqual(scoop["architecture"]["64bit"], {"url": URL, "hash": self.zip_hash})
        self.assertEqual(scoop["autoupdate"]["architecture"]["64bit"]["url"],
                         URL.replace("1.0", "$version"))

    def test_the_winget_manifests_install_this_zip_as_a_portable_tavrik(self):
        installer = self.read(MANIFEST + ".installer.yaml")
        self.assertEqual(installer["PackageVersion"], "1.0")
        self.assertEqual((installer["InstallerType"], installer["NestedInstallerType"]), ("zip", "portable"))
        self.assertEqual(installer["NestedInstallerFiles"],
                         [{"RelativeFilePath": "tavrik.exe", "PortableCommandAlias": "tavrik"}])
        self.assertEqual(installer["Installers"], [{"Architecture": "x64", "InstallerUrl": URL,
                                                    "InstallerSha256": self.zip_hash.upper()}])
        self.assertEqual(self.read(MANIFEST + ".yaml")["DefaultLocale"], "en-US")
        japanese = self.read(MANIFEST + ".locale.ja-JP.yaml")
        self.assertEqual((japanese["ManifestType"], japanese["PackageLocale"]), ("locale", "ja-JP"))
        self.assertIn("コンソール", japanese["ShortDescription"])

    def test_the_zips_readme_names_the_repository_it_came_from(self):
        with zipfile.ZipFile(os.path.join(self.dist, "tavrik-1.0-win64.zip")) as z:
            self.assertEqual(z.read("README.txt"), b"readme of owner/name, $5\r\n")

    def test_a_run_without_the_repository_leaves_no_earlier_manifests(self):
        pack(self.dist, repository="")
        self.assertEqual(sorted(os.listdir(self.dist)), ["README.txt", "SHA256SUMS", "subjects.sha256",
                                                         "tavrik-1.0-win64.zip", "tavrik.exe"])

    def test_nothing_published_contradicts_the_rest(self):
        with open(os.path.join(self.dist, "release-notes.md"), encoding="utf-8") as f:
            notes = f.read()
        with open(os.path.join(self.dist, "SHA256SUMS"), encoding="ascii") as f:
            sums = f.read()
        with self.subTest("the notes install the newest release with Scoop, which scoop update follows"):
            scoop = [line for line in notes.splitlines() if line.startswith("scoop install ")]
            self.assertEqual(set(scoop), {"scoop install https://github.com/owner/name/releases/latest/download/"
                                          "tavrik.json"})
        with self.subTest("another machine's clock, time zone, locale and umask pack the same zip"):
            later = tempfile.mkdtemp()
            self.addCleanup(shutil.rmtree, later)
            os.utime(os.path.join(self.dist, "tavrik.exe"), (0, 0))
            with mock.patch.dict(os.environ, {"TZ": "Asia/Tokyo", "LC_ALL": "ja_JP.UTF-8"}):
                time.tzset()
                umask = os.umask(0o077)
                try:
                    pack(later)
                finally:
                    os.umask(umask)
            time.tzset()
            for name in ("tavrik-1.0-win64.zip", "SHA256SUMS", "tavrik.json", "tavrik-1.0-winget-manifests.zip"):
                self.assertEqual(sha256(os.path.join(later, name)),
                                 sha256(os.path.join(self.dist, name)), name)
        with self.subTest("Scoop's autoupdate finds the zip's hash in SHA256SUMS by the zip's name"):
            self.assertEqual(scoop_hash_lookup(sums, "tavrik-1.0-win64.zip"), self.zip_hash)
        with self.subTest("every published file and every file in the zip is attested"):
            with open(os.path.join(self.dist, "subjects.sha256"), encoding="utf-8") as f:
                subjects = dict(line.split("  ")[::-1] for line in f.read().splitlines())
            with zipfile.ZipFile(os.path.join(self.dist, "tavrik-1.0-win64.zip")) as z:
                inside = {"tavrik-1.0-win64.zip/" + name: hashlib.sha256(z.read(name)).hexdigest()
                          for name in z.namelist()}
            published = {name: sha256(os.path.join(self.dist, name)) for name in
                         ("tavrik-1.0-win64.zip", "SHA256SUMS", "tavrik.json", "tavrik-1.0-winget-manifests.zip")}
            self.assertEqual(subjects, {**published, **inside})
            self.assertEqual(sorted(inside), ["tavrik-1.0-win64.zip/" + name
                                              for name in ("README.txt", "SHA256SUMS", "tavrik.exe")])
        with self.subTest("the winget identity is the project's, whoever runs the job"):
            fork = tempfile.mkdtemp()
            self.addCleanup(shutil.rmtree, fork)
            pack(fork, repository="someone-else/tavrik")
            with open(os.path.join(ROOT, "res", "tavrik.rc"), encoding="utf-8") as f:
                maker = re.search(r'"CompanyName", "(.*)"', f.read()).group(1)
            for dist in (self.dist, fork):
                with open(os.path.join(dist, MANIFEST + ".locale.en-US.yaml"), encoding="utf-8") as f:
                    locale = yaml.safe_load(f)
                self.assertEqual((locale["PackageIdentifier"], locale["Publisher"]),
                                 (packing.PACKAGE_IDENTIFIER, maker))


if __name__ == "__main__":
    unittest.main()
