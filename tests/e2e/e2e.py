#!/usr/bin/env python3
"""End-to-end cases for tavrik.exe, run inside the Wine session that
run_e2e.sh starts. Each case gets its own console window (wineconsole running
a generated CRLF batch file): set-up, a probe of the console's state, the tool,
its exit status, a second probe. The probes are compared while the console is
still open, so a failing case can be photographed before it closes.

usage: e2e.py TAVRIK_EXE HELPER_EXE ARTIFACT_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import time

USAGE = (
    b"tavrik (C) 2026 tavrik project\n"
    b"Usage: tavrik [command]\n"
    b"\n"
    b"Command:\n"
    b"  Show control  - min/max/hide/restore/noactive\n"
    b"  Move position - move x,y\n"
    b"  Buffer size   - buffer width,height\n"
    b"  Window size   - size width,height\n"
    b"  Z order       - bottom/top/topmost\n"
    b"  Close window  - close\n"
)
FAULT = b"Console window getting fault."
JAPANESE_TITLE = "\u65e5\u672c \u30bf\u30a4\u30c8\u30eb"  # set by "setup title-japanese"
CONSOLE_TIMEOUT = 60
# Cases run in cases/<name>/ below the session directory, which holds the exes.
HELPER = r"..\..\e2e_helper.exe"
START_REFERENCE = ['start "" /b %s reference' % HELPER, HELPER + " wait-reference"]
# A console window of its own: plain `wine` would give the batch none.
CONSOLE = ["timeout", str(CONSOLE_TIMEOUT), "wine", "wineconsole", "cmd", "/c", "case.bat"]
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Skip(Exception):
    pass


class Session:
    def __init__(self, tavrik, helper, artifacts):
        self.root = os.environ["WINE_SESSION_DIR"]
        self.artifacts = artifacts
        self.tavrik = os.path.join(self.root, "tavrik.exe")
        self.helper = os.path.join(self.root, "e2e_helper.exe")
        shutil.copy(tavrik, self.tavrik)
        shutil.copy(helper, self.helper)
        self.passed, self.failed, self.skipped = [], [], []

    def case_dir(self, name):
        path = os.path.join(self.root, "cases", name)
        os.makedirs(path)
        return path


def read_probe(path):
    """A probe file as a dict; None when the probe never ran."""
    if not os.path.exists(path):
        return None
    state = {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            key, _, value = line.partition("=")
            state[key] = value
    return state


def numbers(text):
    return tuple(int(v) for v in text.split(","))


def read_bytes(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def read_status(path):
    data = read_bytes(path)
    return None if data is None else data.decode("ascii", "replace").strip()


def write_batch(path, lines):
    # CRLF, and %ERRORLEVEL% on its own line: in one line cmd expands it early.
    with open(path, "wb") as f:
        f.write(("\r\n".join(["@echo off"] + lines) + "\r\n").encode("ascii"))


def wait_for(path, seconds, process=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            return True
        if process is not None and process.poll() is not None:
            return os.path.exists(path)
        time.sleep(0.05)
    return False


def screenshot(path):
    try:
        xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, timeout=20).stdout
        pnm = subprocess.run(["xwdtopnm"], input=xwd, capture_output=True, timeout=20).stdout
        png = subprocess.run(["pnmtopng"], input=pnm, capture_output=True, timeout=20).stdout
        with open(path, "wb") as f:
            f.write(png)
        return True
    except (OSError, subprocess.SubprocessError):
        return False


def run_console_case(session, name, tool_args, check, setup=(), redirect=True, reference=True,
                     tool=r"..\..\tavrik.exe", work=None):
    """A case in its own console: the check runs on both probes while the
    console is still up, so a failure can be photographed."""
    work = work or session.case_dir(name)
    lines = []
    if reference:
        # start is asynchronous: wait until the window exists.
        lines += START_REFERENCE
    lines += [HELPER + " setup " + action for action in setup]
    lines += [HELPER + " probe before.txt"]
    command = tool + (" " + tool_args if tool_args else "")
    lines += [command + (" > out.bin" if redirect else "")]
    lines += ["echo %ERRORLEVEL%> status.txt"]
    lines += [HELPER + " probe after.txt"]
    lines += [HELPER + " wait-file release.txt"]
    if reference:
        lines += [HELPER + " close-reference"]
    lines += ["echo done> done.txt"]
    write_batch(os.path.join(work, "case.bat"), lines)
    run_case_batch(session, name, work, check, redirect)


def run_case_batch(session, name, work, check, redirect):
    process = subprocess.Popen(CONSOLE, cwd=work, **QUIET)
    wait_for(os.path.join(work, "after.txt"), CONSOLE_TIMEOUT, process)
    result = {
        "before": read_probe(os.path.join(work, "before.txt")),
        "after": read_probe(os.path.join(work, "after.txt")),
        "status": read_status(os.path.join(work, "status.txt")),
        "output": read_bytes(os.path.join(work, "out.bin")) if redirect else b"",
    }
    problems, skip = evaluate(check, result)
    if problems:
        keep_artifacts(session, name, work, take_screenshot=True)
    open(os.path.join(work, "release.txt"), "w").close()
    process.wait()
    if problems is not None and not problems:
        done = os.path.exists(os.path.join(work, "done.txt"))
        if not done:
            problems = ["the case's console ended before its done marker"]
            keep_artifacts(session, name, work, take_screenshot=False)
    record(session, name, problems, skip)


def evaluate(check, result):
    if result["before"] is None or result["after"] is None:
        return ["a probe did not run (before: %s, after: %s)" % (
            result["before"] is not None, result["after"] is not None)], None
    try:
        return check(result), None
    except Skip as reason:
        return None, str(reason)


def keep_artifacts(session, name, work, take_screenshot):
    target = os.path.join(session.artifacts, name)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(work, target)
    print("    kept %s" % target)
    if take_screenshot and screenshot(os.path.join(target, "screen.png")):
        print("    screenshot %s" % os.path.join(target, "screen.png"))


def record(session, name, problems, skip):
    if problems is None:
        session.skipped.append(name)
        print("SKIP %s: %s" % (name, skip))
    elif problems:
        session.failed.append(name)
        print("FAIL %s" % name)
        for problem in problems:
            print("    " + problem)
    else:
        session.passed.append(name)
        print("ok   %s" % name)
    sys.stdout.flush()


# ---- checks ---------------------------------------------------------------

def expect(problems, condition, message):
    if not condition:
        problems.append(message)


def common(result, problems, output=b""):
    """What every console case asserts: exit 0, exact output, title handed back."""
    before, after = result["before"], result["after"]
    expect(problems, result["status"] == "0", "exit status %r, expected 0" % result["status"])
    expect(problems, result["output"] == output, "output %r, expected %r" % (result["output"], output))
    expect(problems, before.get("title") == after.get("title"),
           "title %r became %r" % (before.get("title"), after.get("title")))


def state_check(field_before, field_after, **extra):
    """A check that the given fields read one way before and another after."""
    def check(result):
        problems = []
        common(result, problems)
        for key, value in field_before.items():
            expect(problems, result["before"].get(key) == value,
                   "before: %s=%s, expected %s" % (key, result["before"].get(key), value))
        for key, value in field_after.items():
            expect(problems, result["after"].get(key) == value,
                   "after: %s=%s, expected %s" % (key, result["after"].get(key), value))
        return problems
    return check


def check_max(session):
    def check(result):
        if result["after"].get("zoomed") != "1" and not window_manager_maximises(session):
            raise Skip("no window manager answers a maximise here")
        return state_check({"zoomed": "0"}, {"zoomed": "1", "iconic": "0", "visible": "1"})(result)
    return check


def window_manager_maximises(session):
    work = session.case_dir("max-control")
    write_batch(os.path.join(work, "case.bat"), START_REFERENCE + [
        HELPER + " setup maximise-reference", "echo %ERRORLEVEL%> status.txt", HELPER + " close-reference"])
    subprocess.run(CONSOLE, cwd=work, **QUIET)
    return read_status(os.path.join(work, "status.txt")) == "0"


def check_move(result):
    problems = []
    common(result, problems)
    before, after = numbers(result["before"]["rect"]), numbers(result["after"]["rect"])
    expect(problems, before[:2] != (100, 50), "the window already stood at 100,50")
    expect(problems, after[:2] == (100, 50), "top-left %s, expected (100, 50)" % (after[:2],))
    expect(problems, after[2] - after[0] == before[2] - before[0] and after[3] - after[1] == before[3] - before[1],
           "the size changed: %s -> %s" % (before, after))
    expect(problems, result["after"]["z"] == result["before"]["z"], "the z-order changed")
    return problems


def check_buffer(result):
    problems = []
    common(result, problems)
    expect(problems, result["before"]["buffer"] != "120,300", "the buffer was already 120 x 300")
    expect(problems, result["after"]["buffer"] == "120,300",
           "buffer %s, expected 120,300" % result["after"]["buffer"])
    expect(problems, result["after"]["cursor"] == result["before"]["cursor"], "something was written")
    return problems


def check_size(result):
    problems = []
    common(result, problems)
    left, top, right, bottom = numbers(result["before"]["area"])
    expect(problems, top > 0, "set-up did not scroll the visible area (area %s)" % result["before"]["area"])
    expected = (left, top, left + 59, top + 19)
    expect(problems, numbers(result["after"]["area"]) == expected,
           "area %s, expected %s" % (result["after"]["area"], expected))
    expect(problems, result["after"]["cursor"] == result["before"]["cursor"], "something was written")
    return problems


def check_unchanged(result):
    """A request Windows refuses: exit 0, nothing written, nothing changed."""
    problems = []
    common(result, problems)
    for key in ("buffer", "area", "cursor", "rect", "iconic", "zoomed", "visible", "topmost"):
        expect(problems, result["before"].get(key) == result["after"].get(key),
               "%s changed: %s -> %s" % (key, result["before"].get(key), result["after"].get(key)))
    return problems


def check_usage(result):
    problems = []
    common(result, problems, output=USAGE)
    expect(problems, b"\r" not in (result["output"] or b""), "the usage text holds a CR")
    return problems


def check_title_kept(expected_title):
    def check(result):
        problems = []
        common(result, problems)
        expect(problems, result["after"].get("title") == expected_title,
               "title after %r, expected %r" % (result["after"].get("title"), expected_title))
        expect(problems, result["after"]["rect"].startswith("100,50,"), "the move did not happen")
        return problems
    return check


# ---- cases that need no console of their own -------------------------------

def run_close(session):
    """close ends the console and the batch with it, so the exit status comes
    through a launcher that leaves the console before the tool runs."""
    work = session.case_dir("close")
    write_batch(os.path.join(work, "case.bat"), [
        HELPER + r' launch launch.txt "..\..\tavrik.exe close"', "echo done> done.txt"])
    subprocess.run(CONSOLE, cwd=work, **QUIET)
    wait_for(os.path.join(work, "launch.txt"), 20)
    launch = read_probe(os.path.join(work, "launch.txt")) or {}
    problems = []
    expect(problems, launch.get("status") == "0", "exit status %r, expected 0" % launch.get("status"))
    expect(problems, launch.get("console") == "gone", "the console window is %r" % launch.get("console"))
    expect(problems, not os.path.exists(os.path.join(work, "done.txt")), "the batch ran on after close")
    if problems:
        keep_artifacts(session, "close", work, take_screenshot=True)
    record(session, "close", problems, None)


def run_fault(session, name, args):
    """No console window at all: plain wine with every standard handle
    redirected (a terminal on any of them makes Wine open a console)."""
    work = session.case_dir(name)
    out_path = os.path.join(work, "out.bin")
    started = time.monotonic()
    with open(out_path, "wb") as out:
        completed = subprocess.run(["timeout", "60", "wine"] + args, cwd=session.root, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=subprocess.DEVNULL)
    elapsed = time.monotonic() - started
    output = read_bytes(out_path)
    problems = []
    expect(problems, completed.returncode == 1, "exit status %d, expected 1" % completed.returncode)
    expect(problems, output == FAULT, "output %r, expected %r" % (output, FAULT))
    # The tool searches 30 times, 100 ms apart, before giving up.
    expect(problems, elapsed >= 2.9, "gave up after %.2f s, before its 30 searches" % elapsed)
    print("     (%s gave up after %.1f s)" % (name, elapsed))
    if problems:
        keep_artifacts(session, name, work, take_screenshot=False)
    record(session, name, problems, None)


def run_version_record(session):
    out = os.path.join(session.root, "version.txt")
    subprocess.run(["timeout", "60", "wine", session.helper, "version", "tavrik.exe", out], cwd=session.root,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    got = read_probe(out) or {}
    expected = {
        "file_version": "1.0.0.0", "product_version": "1.0.0.0", "flags_mask": "0", "flags": "0",
        "os": "4", "type": "1", "subtype": "0", "date": "0.0", "translation": "0411,03A4",
        "string.Comments": "\u30b3\u30f3\u30bd\u30fc\u30eb\u30a6\u30a3\u30f3\u30c9\u30a6\u306e\u5404\u7a2e\u5236\u5fa1",
        "string.CompanyName": "tavrik project",
        "string.FileDescription": "tavrik", "string.FileVersion": "1.0", "string.InternalName": "tavrik",
        "string.LegalCopyright": "Copyright (C) 2026 tavrik project",
        "string.OriginalFilename": "tavrik.EXE", "string.ProductName": "tavrik", "string.ProductVersion": "1.0",
    }
    problems = ["%s=%r, expected %r" % (k, got.get(k), v) for k, v in expected.items() if got.get(k) != v]
    record(session, "version-record-win32", problems, None)

    exif = json.loads(subprocess.run(["exiftool", "-j", "-FileVersionNumber", "-ProductVersionNumber",
                                      "-ProductName", "-Comments", "-FileVersion", "-LanguageCode",
                                      session.tavrik], capture_output=True, check=True).stdout)[0]
    problems = []
    for key, value in {"FileVersionNumber": "1.0.0.0", "ProductVersionNumber": "1.0.0.0",
                       "ProductName": "tavrik", "Comments": expected["string.Comments"],
                       "FileVersion": 1.0, "LanguageCode": "Japanese"}.items():
        expect(problems, exif.get(key) == value, "exiftool %s=%r, expected %r" % (key, exif.get(key), value))
    record(session, "version-record-exiftool", problems, None)

    listing = subprocess.run(["wrestool", "-l", session.tavrik], capture_output=True, text=True, check=True).stdout
    # type 3 is an icon image, 14 an icon group, 16 a version record.
    resources = {}
    for line in listing.splitlines():
        name, _, rest = line.partition(" [")
        resources[name] = int(rest.split("size=")[1].rstrip("]"))
    expected_resources = {"--type=3 --name=1 --language=1033": 744, "--type=14 --name=1 --language=1033": 20}
    problems = []
    for name, size in expected_resources.items():
        expect(problems, resources.get(name) == size, "%s: size %r, expected %d" % (name, resources.get(name), size))
    expect(problems, "--type=16 --name=1 --language=1033" in resources, "no version record 1 under 1033")
    expect(problems, len(resources) == 3, "resources beyond icon and version record: %s" % sorted(resources))
    record(session, "resources-icon", problems, None)


def run_pe_checks(session):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", session.tavrik], capture_output=True, text=True,
                          check=True).stdout
    dlls = sorted(line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line)
    problems = []
    expect(problems, "file format pei-x86-64" in dump, "not an x86-64 PE image")
    expect(problems, "(Windows CUI)" in dump, "not a console-subsystem executable")
    expect(problems, dlls == ["KERNEL32.dll", "USER32.dll", "msvcrt.dll"], "imports %s" % dlls)
    record(session, "pe-image", problems, None)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run_long_path(session):
    """Started by a full path longer than 300 characters, the tool must still
    see its command: the program-name token is far longer than its buffer."""
    work = session.case_dir("long-path")
    deep = work
    while len(deep) < len(work) + 320:
        deep = os.path.join(deep, "a-long-directory-name-" + "x" * 20)
    os.makedirs(deep)
    shutil.copy(session.tavrik, os.path.join(deep, "tavrik.exe"))
    # cmd cannot start a program by a path this long; the helper's
    # CreateProcess can, and hands back its exit status.
    tool = HELPER + ' run-quoted "%s"' % windows_path(os.path.join(deep, "tavrik.exe"))
    run_console_case(session, "long-path", '"move 100,50"', check_move, tool=tool, work=work)


def run_accented_folder(session):
    """The %~dp0 idiom, unquoted, from a folder whose name leaves ASCII: the
    program name must not swallow the command."""
    work = session.case_dir("Jos\u00e9")
    shutil.copy(session.tavrik, os.path.join(work, "tavrik.exe"))
    run_console_case(session, "accented-folder", "move 100,50", check_move, tool="%~dp0tavrik.exe", work=work)


def main():
    tavrik, helper, artifacts = sys.argv[1:4]
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    session = Session(tavrik, helper, artifacts)
    only = set(os.environ.get("E2E_ONLY", "").split()) or None

    show = {"visible": "1", "iconic": "0"}
    cases = [
        ("min", "min", (), state_check({"iconic": "0"}, {"iconic": "1"})),
        ("max", "max", (), check_max(session)),
        ("hide", "hide", (), state_check({"visible": "1"}, {"visible": "0"})),
        ("restore-from-min", "restore", ("min", "below-reference"),
         state_check({"iconic": "1"}, dict(show, z="above"))),
        ("restore-from-hidden", "restore", ("hide", "below-reference"),
         state_check({"visible": "0"}, dict(show, z="above"))),
        ("noactive", "noactive", ("hide", "below-reference"),
         state_check({"visible": "0", "z": "below"}, {"visible": "1", "z": "below"})),
        ("move", "move 100,50", (), check_move),
        ("bottom", "bottom", ("above-reference",), state_check({"z": "above"}, {"z": "below"})),
        ("top", "top", ("below-reference",), state_check({"z": "below"}, {"z": "above"})),
        ("topmost", "topmost", (), state_check({"topmost": "0"}, {"topmost": "1"})),
        ("title-outside-code-page", "move 100,50", ("title-japanese",), check_title_kept(JAPANESE_TITLE)),
    ]
    screen_cases = [
        ("buffer", "buffer 120,300", (), check_buffer),
        ("size", "size 60,20", ("scroll",), check_size),
        ("size-refused-0-0", "size 0,0", (), check_unchanged),
        ("size-refused-no-height", "size 80", (), check_unchanged),
        ("size-refused-65535-1", "size 65535,1", (), check_unchanged),
        ("buffer-refused-smaller-than-window", "buffer 10,5", (), check_unchanged),
    ]
    usage_cases = [
        ("usage-no-command", ""), ("usage-unknown-word", "bogus"), ("usage-upper-case", "MIN"),
        ("usage-trailing-comma", "top,"),
    ]

    def wanted(name):
        return only is None or name in only

    for name, args, setup, check in cases:
        if wanted(name):
            run_console_case(session, name, args, check, setup=setup)
    for name, args, setup, check in screen_cases:
        if wanted(name):
            # These act on standard output, which must stay the console.
            run_console_case(session, name, args, check, setup=setup, redirect=False)
    for name, args in usage_cases:
        if wanted(name):
            run_console_case(session, name, args, check_usage, reference=False)
    if wanted("close"):
        run_close(session)
    if wanted("long-path"):
        run_long_path(session)
    if wanted("accented-folder"):
        run_accented_folder(session)
    if wanted("fault"):
        run_fault(session, "fault", ["tavrik.exe", "min"])
    if wanted("fault-empty-command-line"):
        run_fault(session, "fault-empty-command-line", [session.helper, "run-raw", windows_path(session.tavrik), ""])
    if wanted("version"):
        run_version_record(session)
        run_pe_checks(session)

    print("e2e: %d passed, %d failed, %d skipped" % (len(session.passed), len(session.failed),
                                                      len(session.skipped)))
    return 1 if session.failed else 0


if __name__ == "__main__":
    sys.exit(main())
