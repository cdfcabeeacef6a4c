"""The gates around the tool on planted faults: the workflow lint, the
release's publish step, the test presets, the Python test runner and the
reproducibility check must each fail when they meet something they cannot
vouch for, or nothing at all, and pass on the real thing."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORKFLOW = os.path.join(ROOT, ".github", "workflows", "ci.yml")
with open(WORKFLOW, encoding="utf-8") as f:
    CI = f.read()

CACHE_STEP = """      - uses: actions/cache@v3
        with:
          path: build
          key: build-${{ matrix.debian }}
"""
# (what is planted in ci.yml, (text, replacement), what the lint must say; None: it must pass)
LINTS = [
    ("the workflow as it is", None, None),
    ("an action the table does not know, at a Node 20 major",
     ("      - name: Trust the work tree\n", CACHE_STEP + "      - name: Trust the work tree\n"),
     "actions/cache@v3: not an action lint.js knows"),
    ("a known action at a Node 20 major", ("actions/checkout@v6", "actions/checkout@v4"), "runs on Node 20"),
    ("an upload that a re-run cannot repeat", ("          overwrite: true\n", ""), "without \"overwrite: true\""),
    ("a job with no time limit", ("    timeout-minutes: 30\n", ""), "has no timeout-minutes"),
]

# A stand-in for gh: prints its lines on stderr and exits 1, as gh does when
# a release view fails.
GH_FAILS = "#!/bin/sh\ncat >&2 <<'EOF'\n%s\nEOF\nexit 1\n"
NO_GH = None
# (what, gh's stand-in (NO_GH: none on PATH), mode, exit status, what it must print)
PUBLISHES = [
    ("gh is not installed", NO_GH, "check", 1, "needs the GitHub CLI"),
    ("the repository is wrong", GH_FAILS % "GraphQL: Could not resolve to a Repository with the name "
     "'someone/elsewhere'. (repository)", "check", 1, "Could not resolve"),
    ("the API answers 404", GH_FAILS % "HTTP 404: Not Found (https://api.github.com/repos/o/n/releases/tags/v1.0)",
     "check", 1, "HTTP 404"),
    ("a mode that is neither check nor publish", GH_FAILS % "release not found", "chek", 2, "usage:"),
    ("no release yet", GH_FAILS % "release not found", "check", 0, "2 file(s) to upload"),
]
# What publish.sh may run besides gh: the rest of PATH is left out, so gh
# is found only where a case puts it.
PUBLISH_TOOLS = ["bash", "sed", "cat", "grep", "mktemp", "rm", "basename", "cmp", "dirname"]


def run(args, **options):
    return subprocess.run(args, capture_output=True, text=True, **options)


class WorkflowLint(unittest.TestCase):
    def test_each_planted_fault_is_found_and_the_workflow_passes(self):
        for what, change, says in LINTS:
            with self.subTest(what), tempfile.TemporaryDirectory() as scratch:
                text = CI
                if change:
                    self.assertIn(change[0], text, "the plant no longer applies")
                    text = text.replace(change[0], change[1], 1)
                path = os.path.join(scratch, "ci.yml")
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
                lint = run(["node", os.path.join(ROOT, "tests", "workflow", "lint.js"), path])
                if says is None:
                    self.assertEqual(lint.returncode, 0, lint.stdout)
                else:
                    self.assertEqual(lint.returncode, 1, lint.stdout)
                    self.assertIn(says, lint.stdout)

    def test_no_workflow_given_fails(self):
        self.assertNotEqual(run(["node", os.path.join(ROOT, "tests", "workflow", "lint.js")]).returncode, 0)


class Publish(unittest.TestCase):
    def test_only_gh_saying_release_not_found_means_no_release_yet(self):
        for what, gh, mode, status, says in PUBLISHES:
            with self.subTest(what), tempfile.TemporaryDirectory() as scratch:
                os.makedirs(os.path.join(scratch, "dist"))
                for name, text in (("published.txt", "tavrik-1.0-win64.zip\nSHA256SUMS\n"),
                                   ("release-notes.md", "notes\n"), ("tavrik-1.0-win64.zip", "zip"),
                                   ("SHA256SUMS", "sums")):
                    with open(os.path.join(scratch, "dist", name), "w") as f:
                        f.write(text)
                tools = os.path.join(scratch, "bin")
                os.makedirs(tools)
                for tool in PUBLISH_TOOLS:
                    os.symlink(shutil.which(tool), os.path.join(tools, tool))
                if gh is not NO_GH:
                    with open(os.path.join(tools, "gh"), "w") as f:
                        f.write(gh)
                    os.chmod(os.path.join(tools, "gh"), 0o755)
                publish = run([shutil.which("bash"), os.path.join(ROOT, "release", "publish.sh"), "v1.0", mode],
                              cwd=scratch, env={"PATH": tools})
                self.assertEqual(publish.returncode, status, publish.stdout + publish.stderr)
                self.assertIn(says, publish.stdout + publish.stderr)


class TestPresets(unittest.TestCase):
    def test_every_test_preset_fails_when_it_runs_no_test(self):
        """Each test preset, on a project of no tests, must fail: a filter
        that matches nothing, or a build without its tests, never passes."""
        with open(os.path.join(ROOT, "CMakePresets.json"), encoding="utf-8") as f:
            presets = [p for p in json.load(f)["testPresets"] if not p.get("hidden")]
        self.assertTrue(presets, "CMakePresets.json has no test preset")
        with tempfile.TemporaryDirectory() as scratch:
            shutil.copy(os.path.join(ROOT, "CMakePresets.json"), scratch)
            shutil.copytree(os.path.join(ROOT, "cmake"), os.path.join(scratch, "cmake"))
            with open(os.path.join(scratch, "CMakeLists.txt"), "w") as f:
                f.write("cmake_minimum_required(VERSION 3.25)\nproject(none LANGUAGES NONE)\nenable_testing()\n")
            for preset in presets:
                with self.subTest(preset["name"]):
                    configure = run(["cmake", "--preset", preset["configurePreset"]], cwd=scratch)
                    self.assertEqual(configure.returncode, 0, configure.stderr)
                    test = run(["ctest", "--preset", preset["name"]], cwd=scratch)
                    self.assertNotEqual(test.returncode, 0, test.stdout)
                    self.assertIn("No tests were found", test.stdout + test.stderr)


# (what a folder holds: file name and text, or nothing; the runner's exit status)
PASSING = "import unittest\nclass T(unittest.TestCase):\n    def test_it(self):\n        pass\n"
FAILING = PASSING.replace("pass", "self.fail('planted')")
RUNNER_FOLDERS = [
    ("an empty folder", {}, 1),
    ("a folder of helpers and no test", {"helper.py": "VALUE = 1\n"}, 1),
    ("a failing test in a file named test_*.py", {"test_planted.py": FAILING}, 1),
    ("a failing test in a file of any name", {"checks.py": FAILING}, 1),
    ("a passing test in a file of any name", {"checks.py": PASSING}, 0),
]


class PythonRunner(unittest.TestCase):
    def test_a_folder_is_run_whatever_its_files_are_called_and_never_passes_empty(self):
        for what, files, status in RUNNER_FOLDERS:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                for name, text in files.items():
                    with open(os.path.join(folder, name), "w") as f:
                        f.write(text)
                result = run(["python3", os.path.join(ROOT, "tests", "run_python_tests.py"), folder])
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)


class ReproducibleTally(unittest.TestCase):
    def test_the_tally_counts_each_exe_and_an_empty_comparison_fails(self):
        with tempfile.TemporaryDirectory() as scratch:
            for name, data in (("tested.exe", b"MZ same"), ("same.exe", b"MZ same"), ("other.exe", b"MZ other")):
                with open(os.path.join(scratch, name), "wb") as f:
                    f.write(data)
            script = os.path.join(ROOT, "tests", "reproducible_build.sh")
            for exes, status, says in ((["same.exe", "other.exe", "missing.exe"], 1, "1 passed, 2 failed"),
                                       (["same.exe", "same.exe"], 0, "2 passed, 0 failed"),
                                       ([], 1, "no exe to compare")):
                with self.subTest(exes):
                    result = run(["bash", script, "--compare", "tested.exe"] + exes, cwd=scratch)
                    self.assertEqual(result.returncode, status, result.stdout)
                    self.assertIn(says, result.stdout)


if __name__ == "__main__":
    unittest.main()
