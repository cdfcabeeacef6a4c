"""The release's packing on a small fixture: SHA256SUMS beside the zip lists
the zip, the Scoop and winget manifests read back with the standard parsers
name the zip's URL and hash, the version, the exe and its command alias,
and the read-back check refuses a manifest whose hash is not the zip's."""
import contextlib
import hashlib
import io
import json
import os
import shutil
import sys
import tempfile
import unittest
from unittest import mock

import yaml

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import release_files  # noqa: E402

URL = "https://github.com/owner/name/releases/download/v1.0/tavrik-1.0-win64.zip"
FOLDER = "winget/manifests/o/Owner/Tavrik/1.0"


class ReleaseFiles(unittest.TestCase):
    def setUp(self):
        self.dist = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dist)
        for name, data in (("tavrik.exe", b"MZ fixture"), ("README.txt", b"readme\r\n")):
            with open(os.path.join(self.dist, name), "wb") as f:
                f.write(data)
        with mock.patch.dict(os.environ, {"GITHUB_REPOSITORY": "owner/name"}), \
                contextlib.redirect_stdout(io.StringIO()):
            status = release_files.main([self.dist, "1.0", "1796601600", os.path.join(self.dist, "tavrik.exe"),
                                         os.path.join(self.dist, "README.txt")])
        self.assertEqual(status, 0)
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
        installer = self.read(FOLDER + "/Owner.Tavrik.installer.yaml")
        self.assertEqual((installer["PackageIdentifier"], installer["PackageVersion"]), ("Owner.Tavrik", "1.0"))
        self.assertEqual((installer["InstallerType"], installer["NestedInstallerType"]), ("zip", "portable"))
        self.assertEqual(installer["NestedInstallerFiles"],
                         [{"RelativeFilePath": "tavrik.exe", "PortableCommandAlias": "tavrik"}])
        self.assertEqual(installer["Installers"], [{"Architecture": "x64", "InstallerUrl": URL,
                                                    "InstallerSha256": self.zip_hash.upper()}])
        self.assertEqual(self.read(FOLDER + "/Owner.Tavrik.yaml")["DefaultLocale"], "en-US")
        japanese = self.read(FOLDER + "/Owner.Tavrik.locale.ja-JP.yaml")
        self.assertEqual((japanese["ManifestType"], japanese["PackageLocale"]), ("locale", "ja-JP"))
        self.assertIn("コンソール", japanese["ShortDescription"])

    def test_a_run_without_the_repository_leaves_no_earlier_manifests(self):
        with mock.patch.dict(os.environ, {"GITHUB_REPOSITORY": ""}), contextlib.redirect_stdout(io.StringIO()):
            release_files.main([self.dist, "1.0", "1796601600", os.path.join(self.dist, "tavrik.exe")])
        self.assertEqual(sorted(os.listdir(self.dist)),
                         ["README.txt", "SHA256SUMS", "tavrik-1.0-win64.zip", "tavrik.exe"])

    def test_a_planted_wrong_hash_is_refused(self):
        self.assertEqual(release_files.manifest_problems(self.dist, "owner/name", "1.0"), [])
        for name in ("tavrik.json", FOLDER + "/Owner.Tavrik.installer.yaml"):
            path = os.path.join(self.dist, name)
            with open(path, encoding="utf-8") as f:
                right = f.read()
            with self.subTest(name):
                wrong = right.replace(self.zip_hash, "f" * 64).replace(self.zip_hash.upper(), "f" * 64)
                with open(path, "w", encoding="utf-8") as f:
                    f.write(wrong)
                found = release_files.manifest_problems(self.dist, "owner/name", "1.0")
                self.assertTrue(any(os.path.basename(name) in problem for problem in found), found)
            with open(path, "w", encoding="utf-8") as f:
                f.write(right)


if __name__ == "__main__":
    unittest.main()
