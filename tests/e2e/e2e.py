#!/usr/bin/env python3
"""End-to-end cases for tavrik.exe, on Windows or under Wine (in the session
that run_e2e.sh starts). Each case gets its own console window: the helper's
console launcher runs a generated CRLF batch file (set-up, a probe of the
console's state, the tool, its exit status, a second probe) in a new console.
The probes are compared while the console is still open, so a failing case
can be photographed before it closes. Only the launch prefix and the checks
that need Linux tools differ between the platforms.

usage: e2e.py TAVRIK_EXE HELPER_EXE ARTIFACT_DIR   (Python 3, standard library)
  E2E_ONLY="CASE ..."  runs only the cases named
  E2E_CODE_PAGE=932    first checks that the ANSI code page is that one
  GITHUB_STEP_SUMMARY=FILE  appends a Markdown table of the cases to FILE
"""
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
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
TITLE_OUTSIDE_CODE_PAGES = "\u65e5\u672c \u30bf\u30a4\u30c8\u30eb Jos\u00e9"  # "setup title-outside-code-pages"
CTRL_C_TITLE = "Mine \u65e5\u672c"  # set by the helper's interrupt verb
CONSOLE_TIMEOUT = 60
# The helper's own statuses (see e2e_helper.cpp), also as a program's status
# in its reports, and cmd's for a program it could not start (tavrik itself
# only ever exits 0 or 1, or as Ctrl+C ends it).
TIMED_OUT, COULD_NOT_START = 124, 125
CMD_COULD_NOT_START = "9009"
STATUS_CONTROL_C_EXIT = 0xC000013A
TAG = re.compile(r"tavrik-?[0-9]+")  # a run's temporary title


def source_text(name):
    """A file of the sources, which this suite takes its figures from."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", name), encoding="utf-8") as f:
        return f.read()


def version_h(name):
    """A definition in res/version.h, where the version is written down."""
    return re.search(r"(?m)^#define %s (.*)$" % name, source_text("res/version.h")).group(1)


VERSION_TEXT = version_h("TAVRIK_VERSION_TEXT").strip('"')  # 1.0
VERSION_BINARY = ".".join(part.strip() for part in version_h("TAVRIK_VERSION_BINARY").split(","))  # 1.0.0.0

# The platform differences: Windows runs the exes itself, Linux through Wine;
# checks that need Linux tools are skipped on Windows.
ON_WINDOWS = os.name == "nt"
LAUNCH = [] if ON_WINDOWS else ["wine"]
LINUX_ONLY = {"version-record-exiftool": "needs exiftool", "resources-icon": "needs wrestool",
              "pe-image": "needs MinGW objdump"}

# Cases run in cases/<folder>/ below the session directory, which holds the exes.
HELPER = r"..\..\e2e_helper.exe"
TAVRIK = r"..\..\tavrik.exe"
START_REFERENCE = ['start "" /b %s reference' % HELPER, HELPER + " wait-reference"]
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Skip(Exception):
    pass


class HarnessFailure(Exception):
    """The case's own evidence shows the harness failed, not tavrik."""


class Session:
    def __init__(self, tavrik, helper, artifacts):
        self.root = tempfile.mkdtemp(prefix="tavrik-e2e-", dir=os.environ.get("WINE_SESSION_DIR"))
        self.artifacts = artifacts
        self.tavrik = os.path.join(self.root, "tavrik.exe")
        self.helper = os.path.join(self.root, "e2e_helper.exe")
        shutil.copy(tavrik, self.tavrik)
        shutil.copy(helper, self.helper)
        # Wine's conhost.exe runs nothing: there the cases that start one get
        # the stand-in built beside the helper, first on their PATH.
        if not ON_WINDOWS:
            os.makedirs(os.path.join(self.root, "standin"))
            shutil.copy(os.path.join(os.path.dirname(helper), "standin", "conhost.exe"), self.root + "/standin")
        self.results = []  # (case, PASSED, FAILED or SKIPPED, what it says), in the order run
        self.observations = {}  # case: what it saw beside its verdict

    def case_dir(self, folder, attempt):
        path = os.path.join(self.root, "cases", folder if attempt == 1 else "%s-%d" % (folder, attempt))
        os.makedirs(path)
        return path

    def helper_command(self, *args):
        return LAUNCH + [self.helper] + list(args)

    def start_console(self, work, window=True):
        """The case's batch in a console of its own, with a window unless
        told otherwise; the launcher's own messages go to launcher.txt."""
        args = ["console", "case.bat", str(CONSOLE_TIMEOUT)] + ([] if window else ["no-window"])
        with open(os.path.join(work, "launcher.txt"), "wb") as log:
            return subprocess.Popen(self.helper_command(*args), cwd=work,
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)


def finish(process):
    """Waits for a launcher, which ends its case's processes at its limit."""
    try:
        return process.wait(timeout=CONSOLE_TIMEOUT + 30)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()


def run_case(session, name, attempt, folder=None):
    """Runs attempt(work) in a fresh directory; it returns a list of problems
    or raises Skip or HarnessFailure. A harness failure is retried once, from
    a fresh directory; a second one fails the case. Problems never are. The
    directory of a failed attempt is kept, with the screenshot an attempt
    took while its console was still up."""
    for number in (1, 2):
        work = session.case_dir(folder or name, number)
        try:
            problems = attempt(work)
        except Skip as reason:
            record(session, name, None, str(reason))
            return
        except HarnessFailure as reason:
            keep_artifacts(session, name if number == 1 else name + "-2", work)
            if number == 1:
                print("retried %s: %s" % (name, reason))
                continue
            record(session, name, ["harness failed twice: %s" % reason], None)
            return
        if problems:
            keep_artifacts(session, name, work)
        record(session, name, problems, None)
        return


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


def save_status(path):
    # The redirection first: "echo 0> f" would redirect handle 0.
    return ">%s echo %%ERRORLEVEL%%" % path


def checked(steps):
    """Harness steps whose failure is recorded in steps.txt by number."""
    lines = []
    for number, step in enumerate(steps, 1):
        lines += [step, "if errorlevel 1 >>steps.txt echo %d" % number]
    return lines


def wait_for(path, seconds, process=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            return True
        if process is not None and process.poll() is not None:
            return os.path.exists(path)
        time.sleep(0.05)
    return False


def screenshot(work):
    """The whole display as work/screen.png, where there is one to take."""
    path = os.path.join(work, "screen.png")
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
                     tool=TAVRIK, folder=None, prepare=None, script=None, window=True):
    """A case in its own console: the check runs on both probes while the
    console is still up, so a failure can be photographed. A script (batch
    lines) takes the place of the one tool command; window=False gives the
    console no window at all."""
    steps = (START_REFERENCE if reference else []) + [HELPER + " setup " + action for action in setup]
    command = script or [tool + (" " + tool_args if tool_args else "") + (" > out.bin" if redirect else "")]

    def attempt(work):
        if prepare:
            prepare(work)
        lines = checked(steps) + [HELPER + " probe before.txt"] + command + [
            save_status("status.txt"), HELPER + " probe after.txt", HELPER + " wait-file release.txt"]
        if reference:
            lines += [HELPER + " close-reference"]
        lines += ["echo done> done.txt"]
        write_batch(os.path.join(work, "case.bat"), lines)
        return run_case_batch(session, name, work, steps, check, redirect, window)

    run_case(session, name, attempt, folder)


def run_case_batch(session, name, work, steps, check, redirect, window):
    """Runs the case's console and its check while the console is up; a
    harness failure, found by the evidence or by the check, is raised, and
    the console is let go whatever happened."""
    process = session.start_console(work, window)
    wait_for(os.path.join(work, "after.txt"), CONSOLE_TIMEOUT + 10, process)
    result = {
        "before": read_probe(os.path.join(work, "before.txt")),
        "after": read_probe(os.path.join(work, "after.txt")),
        "status": read_status(os.path.join(work, "status.txt")),
        "output": read_bytes(os.path.join(work, "out.bin")) if redirect else b"",
        "steps": (read_status(os.path.join(work, "steps.txt")) or "").split(),
        "launcher": process.poll(),
        "work": work,
        "session": session,
    }
    try:
        require_harness(result, steps, window)
        problems = check(result)
        if problems:
            screenshot(work)
    finally:
        open(os.path.join(work, "release.txt"), "w").close()
        launcher = finish(process)
    require(launcher != TIMED_OUT, "the console's batch did not finish within %d s" % CONSOLE_TIMEOUT)
    if not problems and not os.path.exists(os.path.join(work, "done.txt")):
        problems = ["the case's console ended before its done marker"]
    return problems


def require(condition, failure):
    """The one way a case tells a harness failure from tavrik's: raised here."""
    if not condition:
        raise HarnessFailure(failure)


def require_harness(result, steps, window):
    """Raises if the evidence shows the harness failed."""
    require(result["launcher"] != COULD_NOT_START, "the console launcher could not start the batch")
    require(not result["steps"], "harness step failed: " + "; ".join(
        steps[int(n) - 1] for n in result["steps"] if n.isdigit()))
    require(result["before"] is not None, "the first probe did not run")
    require(result["before"].get("window") == ("1" if window else "0"),
            "the console never appeared (no console window in the first probe)" if window
            else "the console meant to have no window has one")
    require(result["status"] is not None, "no status file")
    require(result["status"] != CMD_COULD_NOT_START, "cmd could not start the tool (status 9009)")
    require(result["after"] is not None, "the second probe did not run")


def keep_artifacts(session, name, work):
    target = os.path.join(session.artifacts, name)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(work, target)
    print("    kept %s" % target)
    if os.path.exists(os.path.join(target, "screen.png")):
        print("    screenshot %s" % os.path.join(target, "screen.png"))


PASSED, FAILED, SKIPPED = "passed", "**failed**", "skipped"


def record(session, name, problems, skip):
    seen = [session.observations[name]] if name in session.observations else []
    if problems is None:
        session.results.append((name, SKIPPED, [skip] + seen))
        print("SKIP %s: %s" % (name, skip))
    elif problems:
        session.results.append((name, FAILED, problems + seen))
        print("FAIL %s" % name)
        for problem in problems:
            print("    " + problem)
    else:
        session.results.append((name, PASSED, seen))
        print("ok   %s" % name)
    sys.stdout.flush()


def tally(session):
    """The closing line: N passed, N failed, N skipped."""
    results = [result for _, result, _ in session.results]
    return "%d passed, %d failed, %d skipped" % tuple(results.count(r) for r in (PASSED, FAILED, SKIPPED))


def observe(session, name, text):
    """What a case saw beside its verdict (a figure, which of several allowed
    outcomes): printed now, and kept for the summary."""
    session.observations[name] = text
    print("     (%s: %s)" % (name, text))


def write_summary(session, path, title):
    """Appends the cases as a Markdown table to path, the file that GitHub
    shows on a workflow run's page (GITHUB_STEP_SUMMARY)."""
    def cell(texts):
        return "; ".join(texts).replace("|", "\\|").replace("\n", " ")
    lines = ["### %s" % title, "", "| case | result | observation |", "|---|---|---|"]
    lines += ["| %s | %s | %s |" % (name, result, cell(texts)) for name, result, texts in session.results]
    lines += ["", tally(session), ""]
    with open(path, "a", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


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


# Fields whose failure depends on which window has the foreground.
Z_ORDER_FIELDS = ("z", "topmost")


def foreground(result):
    """Which window had the foreground at each probe: on a remote runner, a
    failed z-order or activation check is read from this line alone."""
    return "foreground before: %s; after: %s" % (result["before"].get("foreground"),
                                                 result["after"].get("foreground"))


def state_check(field_before, field_after):
    """A check that the given fields read one way before and another after."""
    def check(result):
        problems = []
        common(result, problems)
        wrong = [(when, key, value) for when, fields in (("before", field_before), ("after", field_after))
                 for key, value in fields.items() if result[when].get(key) != value]
        for when, key, value in wrong:
            problems.append("%s: %s=%s, expected %s" % (when, key, result[when].get(key), value))
        if any(key in Z_ORDER_FIELDS for _, key, _ in wrong):
            problems.append(foreground(result))
        return problems
    return check


def check_max(result):
    if result["after"].get("zoomed") != "1" and not window_manager_maximises(result["session"]):
        raise Skip("no window manager answers a maximise here")
    return state_check({"zoomed": "0"}, {"zoomed": "1", "iconic": "0", "visible": "1"})(result)


def window_manager_maximises(session):
    work = session.case_dir("max-control", 1)
    write_batch(os.path.join(work, "case.bat"), START_REFERENCE + [
        HELPER + " setup maximise-reference", save_status("status.txt"), HELPER + " close-reference"])
    finish(session.start_console(work))
    return read_status(os.path.join(work, "status.txt")) == "0"


def check_moved_to(x, y):
    def check(result):
        problems = []
        common(result, problems)
        before, after = numbers(result["before"]["rect"]), numbers(result["after"]["rect"])
        expect(problems, before[:2] != (x, y), "the window already stood at %d,%d" % (x, y))
        expect(problems, after[:2] == (x, y), "top-left %s, expected %s" % (after[:2], (x, y)))
        expect(problems, after[2] - after[0] == before[2] - before[0] and after[3] - after[1] == before[3] - before[1],
               "the size changed: %s -> %s" % (before, after))
        if result["after"]["z"] != result["before"]["z"]:
            problems += ["the z-order changed", foreground(result)]
        return problems
    return check


check_move = check_moved_to(100, 50)


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


def check_size_past_buffer_end(result):
    """size 60,30 on an area whose bottom is two rows above the buffer's last
    row: the asked area would pass the buffer's end. Windows' documentation
    says SetConsoleWindowInfo then fails; the console host's source moves
    the area back inside the buffer (or, before 2022, cut it at the last
    row). Any of the three passes, and the case says which it saw."""
    problems = []
    common(result, problems)
    left, top, right, bottom = numbers(result["before"]["area"])
    last = numbers(result["before"]["buffer"])[1] - 1
    expect(problems, top + 29 > last >= bottom, "set-up did not scroll near the buffer's end (area %s, "
           "buffer %s)" % (result["before"]["area"], result["before"]["buffer"]))
    outcomes = {(left, top, right, bottom): "refused", (left, last - 29, left + 59, last): "moved",
                (left, top, left + 59, last): "cut"}
    after = numbers(result["after"]["area"])
    outcome = outcomes.get(after, "area %s, none of refused, moved or cut" % result["after"]["area"])
    observe(result["session"], "size-past-buffer-end", "%s (area %s before, %s after; buffer's last row %d)" % (
        outcome, result["before"]["area"], result["after"]["area"], last))
    expect(problems, after in outcomes, "area %s: not refused %s, moved %s nor cut %s" % (
        result["after"]["area"], *outcomes))
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


# ---- cases with a console of their own that tavrik ends, or none ----------

def run_close(session):
    """close ends the console and the batch with it, so the exit status comes
    through a launcher that leaves the console before the tool runs."""
    def attempt(work):
        write_batch(os.path.join(work, "case.bat"), [
            HELPER + ' launch launch.txt "%s close"' % TAVRIK, "echo done> done.txt"])
        launcher = finish(session.start_console(work))
        launch = read_probe(os.path.join(work, "launch.txt"))
        require(launcher != COULD_NOT_START, "the console launcher could not start the batch")
        require(launch is not None, "the launch helper did not start tavrik or did not report")
        require(launch.get("window") == "1", "the console never appeared (no console window at launch)")
        problems = []
        expect(problems, launch.get("status") == "0", "exit status %r, expected 0" % launch.get("status"))
        expect(problems, launch.get("console") == "gone", "the console window is %r" % launch.get("console"))
        expect(problems, not os.path.exists(os.path.join(work, "done.txt")), "the batch ran on after close")
        if problems:
            screenshot(work)
        return problems
    run_case(session, "close", attempt)


def run_fault(session, name, exe, command_line):
    """No console window at all: the helper starts the tool detached from
    any console, with standard output redirected to a file."""
    def attempt(work):
        out_path = os.path.join(work, "out.bin")
        started = time.monotonic()
        with open(out_path, "wb") as out:
            completed = subprocess.run(session.helper_command("run-raw", exe, command_line), cwd=session.root,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                       timeout=60)
        elapsed = time.monotonic() - started
        require(completed.returncode != COULD_NOT_START, "the helper could not start tavrik")
        output = read_bytes(out_path)
        problems = []
        expect(problems, completed.returncode == 1, "exit status %d, expected 1" % completed.returncode)
        expect(problems, output == FAULT, "output %r, expected %r" % (output, FAULT))
        observe(session, name, "gave up after %.1f s" % elapsed)
        return problems
    run_case(session, name, attempt)


def run_version_record(session):
    def attempt(work):
        subprocess.run(session.helper_command("version", TAVRIK, "version.txt"), cwd=work,
                       timeout=60, **QUIET)
        got = read_probe(os.path.join(work, "version.txt"))
        require(got is not None, "the version helper did not report")
        return ["%s=%r, expected %r" % (k, got.get(k), v) for k, v in VERSION_RECORD.items() if got.get(k) != v]
    run_case(session, "version-record-win32", attempt)


VERSION_RECORD = {
    "file_version": VERSION_BINARY, "product_version": VERSION_BINARY, "flags_mask": "0", "flags": "0",
    "os": "4", "type": "1", "subtype": "0", "date": "0.0", "translation": "0411,03A4",
    "string.Comments": "\u30b3\u30f3\u30bd\u30fc\u30eb\u30a6\u30a3\u30f3\u30c9\u30a6\u306e\u5404\u7a2e\u5236\u5fa1",
    "string.CompanyName": "tavrik project",
    "string.FileDescription": "tavrik", "string.FileVersion": VERSION_TEXT, "string.InternalName": "tavrik",
    "string.LegalCopyright": "Copyright (C) 2026 tavrik project",
    "string.OriginalFilename": "tavrik.EXE", "string.ProductName": "tavrik", "string.ProductVersion": VERSION_TEXT,
}


def has_code_page(session, expected, cases):
    """Whether Wine (or Windows) runs the cases under the ANSI code page a pass
    is meant for: a prefix that fell back to another would pass them all and
    prove nothing."""
    with tempfile.TemporaryDirectory(dir=session.root) as work:
        subprocess.run(session.helper_command("probe", "acp.txt"), cwd=work, timeout=60, **QUIET)
        acp = (read_probe(os.path.join(work, "acp.txt")) or {}).get("acp")
    if acp != expected:
        print("FAIL code-page: the ANSI code page is %s, not %s; no case was run" % (acp, expected))
        return False
    print("e2e: the ANSI code page is %s (%s); cases: %s" % (acp, "Windows" if ON_WINDOWS else "Wine",
                                                        " ".join(cases)))
    return True


def linux_check(session, name, check):
    """A check that reads the exe with Linux tools: skipped on Windows."""
    if ON_WINDOWS:
        record(session, name, None, LINUX_ONLY[name] + ", which runs on Linux only")
    else:
        record(session, name, check(), None)


def tool_output(*args):
    """What a Linux tool prints, in the C locale: its messages are parsed here,
    and under another locale binutils, say, prints them translated."""
    return subprocess.run(args, capture_output=True, check=True, encoding="utf-8",
                          env=dict(os.environ, LC_ALL="C")).stdout


def check_exiftool(session):
    exif = json.loads(tool_output("exiftool", "-j", "-FileVersionNumber", "-ProductVersionNumber", "-ProductName",
                                  "-Comments", "-FileVersion", "-LanguageCode", session.tavrik))[0]
    problems = []
    # exiftool's JSON gives a version such as 1.0 as a number.
    for key, value in {"FileVersionNumber": VERSION_BINARY, "ProductVersionNumber": VERSION_BINARY,
                       "ProductName": "tavrik", "Comments": VERSION_RECORD["string.Comments"],
                       "FileVersion": json.loads(VERSION_TEXT), "LanguageCode": "Japanese"}.items():
        expect(problems, exif.get(key) == value, "exiftool %s=%r, expected %r" % (key, exif.get(key), value))
    return problems


def check_resources(session):
    listing = tool_output("wrestool", "-l", session.tavrik)
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
    return problems


def check_pe_image(session):
    dump = tool_output("x86_64-w64-mingw32-objdump", "-p", session.tavrik)
    dlls = sorted(line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line)
    problems = []
    expect(problems, "file format pei-x86-64" in dump, "not an x86-64 PE image")
    expect(problems, "(Windows CUI)" in dump, "not a console-subsystem executable")
    expect(problems, dlls == ["KERNEL32.dll", "USER32.dll", "msvcrt.dll"], "imports %s" % dlls)
    return problems


def run_long_path(session):
    """A program name over 300 characters on the tool's command line, far
    longer than its token buffer: the tool must still see its command. The
    helper starts tavrik.exe with that name as the command line's first
    token, as a program kept in a deep folder is started."""
    deep = "\\".join(["C:", "tavrik"] + ["a-long-directory-name-" + "x" * 20] * 8 + ["tavrik.exe"])
    tool = HELPER + ' run-named %s "%s"' % (TAVRIK, deep)
    run_console_case(session, "long-path", '"move 100,50"', check_move, tool=tool)


TWO_RUN_ROUNDS = 10


def title_kept(title, given):
    """Whether the title a batch gave with cmd's title command is still
    there: cmd may add to it ("Administrator: " when elevated, a command's
    name while it runs), but a title lost to a tavrik run is its temporary
    one, tavrik and a number."""
    return re.search(r"\b%s\b" % re.escape(given), title or "") is not None and not TAG.search(title)


def run_and_report(status, command):
    """A batch line that runs a tavrik command through the helper, which
    reports its exit status (status=) and keeps its output in files named
    after status, and leaves the title alone: cmd /c would retitle the
    console around it."""
    return '%s run-status %s.txt %s.out "%s %s"' % (HELPER, status, status, TAVRIK, command)


def two_runs_script():
    """A run started with start /b beside a foreground run, ten times, each
    under its own title. Both start through the helper, so both begin after
    the same start-up and overlap as closely as start "" /b tavrik beside
    tavrik, and only tavrik touches the title. Each round's probe waits
    until the background run has ended."""
    lines = []
    for n in range(1, TWO_RUN_ROUNDS + 1):
        lines += ["title Build %d" % n,
                  'start "" /b ' + run_and_report("bg%d" % n, "move 10,10"),
                  run_and_report("fg%d" % n, "move 200,100"),
                  HELPER + " wait-file bg%d.txt" % n, HELPER + " probe round%d.txt" % n]
    return lines


def run_status(result, name):
    """The status a run-status line reported, or None if it did not start
    the run or did not report."""
    status = (read_probe(os.path.join(result["work"], name + ".txt")) or {}).get("status")
    return None if status == str(COULD_NOT_START) else status


def check_two_runs(result):
    problems = []
    for n in range(1, TWO_RUN_ROUNDS + 1):
        statuses = [run_status(result, "%s%d" % (run, n)) for run in ("fg", "bg")]
        probe = read_probe(os.path.join(result["work"], "round%d.txt" % n))
        missing = [what for what, value in zip(("foreground status", "background status", "probe"),
                                               statuses + [probe]) if value is None]
        require(not missing, "round %d: no %s (did not start or report)" % (n, " or ".join(missing)))
        expect(problems, statuses == ["0", "0"], "round %d: exit statuses %s, expected 0 and 0" % (n, statuses))
        expect(problems, title_kept(probe.get("title"), "Build %d" % n),
               "round %d: title %r, expected 'Build %d'" % (n, probe.get("title"), n))
    corner = numbers(result["after"]["rect"])[:2]
    expect(problems, corner in ((200, 100), (10, 10)), "top-left %s, expected (200, 100) or (10, 10)" % (corner,))
    return problems


def run_ctrl_c_during_search(session):
    """Ctrl+C while tavrik searches for its window, which another thread of
    the console keeps from showing the tag: the title must come back. The
    helper holds the caption, runs tavrik and sends the Ctrl+C after 1 s;
    it starts alone (start /b, then the batch ends), so no cmd is left to
    answer the Ctrl+C with its "Terminate batch job" prompt."""
    def attempt(work):
        write_batch(os.path.join(work, "case.bat"), [
            'start "" /b %s interrupt interrupt.txt out.bin 1000 "%s move 1,1"' % (HELPER, TAVRIK)])
        process = session.start_console(work)
        wait_for(os.path.join(work, "interrupt.txt"), CONSOLE_TIMEOUT, process)
        launcher = finish(process)
        report = read_probe(os.path.join(work, "interrupt.txt"))
        require(launcher != COULD_NOT_START and report is not None, "the interrupt helper did not run or did not report")
        require(report["alone"] == "1", "the batch's cmd was still in the console")
        require(report["sent"] == "1", "no Ctrl+C was sent: %s round(s) ended before it, last status %s (%d: tavrik "
                "did not start)" % (report["slipped"], report["status"], COULD_NOT_START))
        problems = []
        status, after_ms = int(report["status"]), float(report["after_ms"])
        expect(problems, status == STATUS_CONTROL_C_EXIT, "exit status 0x%X, expected 0xC000013A" % status)
        expect(problems, report["title"] == CTRL_C_TITLE,
               "title %r after the Ctrl+C, expected %r" % (report["title"], CTRL_C_TITLE))
        # One that heeds the Ctrl+C ends at its next pause; one that lets it
        # wait runs its remaining 2 s or so of searching.
        expect(problems, after_ms <= 1500, "ended %.0f ms after the Ctrl+C, expected 1500 at most" % after_ms)
        output = read_bytes(os.path.join(work, "out.bin"))
        expect(problems, output == b"", "output %r, expected none" % output)
        observe(session, "ctrl-c-during-search", "ended %.0f ms after the Ctrl+C; %s round(s) slipped past it"
                % (after_ms, report["slipped"]))
        if problems:
            screenshot(work)
        return problems
    run_case(session, "ctrl-c-during-search", attempt)


WINDOWLESS_RUNS = 3


def windowless_runs_script():
    """Three runs at once in a console with no window, as a hidden or
    scheduled job's console is: there is nothing to find, so each must fail
    and none may leave the batch's title changed."""
    return (["title Keep This"] +
            ['start "" /b ' + run_and_report("run%d" % n, "min") for n in range(1, WINDOWLESS_RUNS + 1)] +
            [HELPER + " wait-file run%d.txt" % n for n in range(1, WINDOWLESS_RUNS + 1)])


def check_windowless_runs(result):
    problems = []
    for n in range(1, WINDOWLESS_RUNS + 1):
        status = run_status(result, "run%d" % n)
        require(status is not None, "run %d did not start or report" % n)
        output = read_bytes(os.path.join(result["work"], "run%d.out" % n))
        expect(problems, status == "1", "run %d: exit status %s, expected 1" % (n, status))
        expect(problems, output == FAULT, "run %d: output %r, expected %r" % (n, output, FAULT))
    expect(problems, title_kept(result["after"].get("title"), "Keep This"),
           "title %r, expected 'Keep This'" % result["after"].get("title"))
    return problems


# Another program's window shows the very caption a run gives its console,
# as a console left with a killed run's tag does: the run must act on its
# own console's window, or fail in a console with none, and never touch the
# other window. The helper's decoy verb starts tavrik suspended, shows a
# window captioned with its tag above all others, and lets it run.
DECOY_SCRIPT = ['%s decoy decoy.txt out.bin "%s move 321,123"' % (HELPER, TAVRIK)]


def check_window_showing_the_tag(window):
    def check(result):
        report = read_probe(os.path.join(result["work"], "decoy.txt"))
        require(report is not None, "the decoy helper did not start tavrik or did not report")
        if window:
            problems = check_moved_to(321, 123)(result)
        else:
            problems = []
            expect(problems, (result["status"], result["output"]) == ("1", FAULT),
                   "exit status %s and output %r, expected 1 and %r" % (result["status"], result["output"], FAULT))
        expect(problems, report["decoy_after"] == report["decoy_before"], "the other window captioned %s moved "
               "from %s to %s" % (report["tag"], report["decoy_before"], report["decoy_after"]))
        return problems
    return check


def run_console_code_page(session):
    """chcp 37 before a run, an EBCDIC code page, in which even the ASCII
    letters and digits of the temporary title are other bytes: the run must
    still find its window. The helper sets the console's code pages, runs
    tavrik and puts them back, since cmd reads the rest of the batch
    through them."""
    script = ['%s code-page code-page.txt 37 out.bin "%s move 100,50"' % (HELPER, TAVRIK)]
    run_console_case(session, "console-code-page-37", None, check_console_code_page, reference=False,
                     script=script)


def check_console_code_page(result):
    report = read_probe(os.path.join(result["work"], "code-page.txt"))
    require(report is not None, "the code-page helper did not report")
    if report["taken"] != "1":
        raise Skip("the console refuses code page 37")
    require(report["status"] != str(COULD_NOT_START), "the code-page helper could not start tavrik")
    problems = check_move(dict(result, status=report["status"]))
    expect(problems, report["restored"] == "1", "the console's code pages were not put back")
    return problems


# ---- the readme's ways to a classic console window ------------------------

def classic_recipe():
    """The batch recipe that re-opens itself in a classic console window,
    byte for byte as the README's code block gives it."""
    blocks = re.findall(r"(?ms)^```bat\n(.*?)^```", source_text("README.md"))
    found = [block for block in blocks if "conhost.exe" in block and "%~f0" in block]
    assert len(found) == 1, "README.md has %d recipe blocks, expected 1" % len(found)
    return found[0]


def conhost_line():
    """The line that the README and the guide give to start a batch through
    conhost.exe; its path in quotes is a placeholder."""
    texts = source_text("README.md") + source_text("docs/GUIDE.md")
    found = sorted(set(re.findall(r'`(conhost\.exe cmd /k call "[^"`]+")`', texts)))
    assert len(found) == 1, "the readmes have %d conhost.exe lines for a script, expected 1: %s" % (len(found), found)
    return found[0]


# What the re-opened batch records, after the recipe's own lines: that it
# ran and its arguments, beside itself; its console's state, in the folder
# it was started from (the helper takes ANSI paths, which a Japanese folder
# name may not fit); then it ends the console that cmd /k keeps open.
CLASSIC_RECORD = [">>\"%~dp0runs.txt\" echo run", ">\"%~dp0args.txt\" echo [%~1] [%~2] [%~3]",
                  "e2e_helper probe classic.txt", "exit"]
CLASSIC_ARGUMENTS = ['first', 'two words']
# Where users keep batch files: blanks, a hyphen, parentheses, Japanese.
CLASSIC_FOLDERS = {
    "classic-recipe-onedrive": r"Users\John Smith\OneDrive - Contoso\Desktop",
    "classic-recipe-program-files": r"Program Files (x86)\tools",
    "classic-recipe-japanese": "\u30c4\u30fc\u30eb\\\u30d3\u30eb\u30c9 \u7528",  # ツール\ビルド 用
    "classic-recipe-plain": "tools",
}


def run_classic(session, name, folder, script_lines, call_line, expected_arguments):
    """A batch in a folder below the case's, started from the case's console
    by call_line, must run again once in a console of its own, with its
    arguments, and change that console's buffer, not the first one's."""
    def prepare(work):
        target = os.path.join(work, *folder.split("\\"))
        os.makedirs(target)
        with open(os.path.join(target, "build.bat"), "wb") as f:
            f.write(("\r\n".join(script_lines) + "\r\n").encode("ascii"))

    def check(result):
        target = os.path.join(result["work"], *folder.split("\\"))
        runs = (read_bytes(os.path.join(target, "runs.txt")) or b"").decode("ascii").split()
        args = (read_bytes(os.path.join(target, "args.txt")) or b"").decode("ascii").strip()
        classic = read_probe(os.path.join(result["work"], "classic.txt")) or {}
        problems = []
        expect(problems, runs == ["run"], "the batch ran again %d times, expected once" % len(runs))
        expect(problems, args == expected_arguments, "arguments %r, expected %r" % (args, expected_arguments))
        expect(problems, classic.get("window") == "1", "the batch ran again without a console window")
        expect(problems, classic.get("buffer") == "160,3000", "the new console's buffer is %s, expected 160,3000"
               % classic.get("buffer"))
        expect(problems, result["after"]["buffer"] == result["before"]["buffer"],
               "the first console's buffer changed: %s -> %s" % (result["before"]["buffer"], result["after"]["buffer"]))
        if classic.get("area"):
            observe(result["session"], name, "new console's visible area %s" % classic["area"])
        return problems

    # tavrik and the helper (and under Wine the stand-in) on PATH; the batch
    # found by for /r, so this file stays ASCII whatever the folder's name.
    path = ["pushd ..\\..", 'set "PATH=%CD%;%PATH%"' if ON_WINDOWS else 'set "PATH=%CD%\\standin;%CD%;%PATH%"',
            "popd"]
    call = 'for /r %%f in (build.bat) do if exist "%%f" ' + call_line % {"batch": "%%f"}
    run_console_case(session, name, None, check, reference=False, redirect=False, prepare=prepare,
                     script=path + [call])


def classic_recipe_case(folder):
    """The README's recipe in a batch in the given folder, with two
    arguments, one holding a blank."""
    quoted = " ".join('"%s"' % a if " " in a else a for a in CLASSIC_ARGUMENTS)
    lines = classic_recipe().rstrip("\n").split("\n") + CLASSIC_RECORD
    expected = "[%s] [%s] []" % tuple(CLASSIC_ARGUMENTS)
    return lambda session, name: run_classic(session, name, folder, lines,
                                             'call "%(batch)s" ' + quoted.replace("%", "%%"), expected)


def conhost_line_case(session, name):
    """The README's conhost.exe line for a script in a folder with blanks."""
    line = re.sub(r'"[^"]+"', '"%(batch)s"', conhost_line().replace("%", "%%"))
    script = ["@echo off", "tavrik buffer 160,3000"] + CLASSIC_RECORD
    run_classic(session, name, r"My Scripts (old)\build tools", script, line, "[] [] []")


def console(args, check, **options):
    """A case run by run_console_case: the tool's arguments, its check, and
    how the console is set up."""
    return lambda session, name: run_console_case(session, name, args, check, **options)


def screen(args, check, setup=()):
    """A case that acts on standard output, which must stay the console."""
    return console(args, check, setup=setup, redirect=False)


def beside_batch(folder, tool):
    """The batch idioms that call a tavrik.exe kept beside the batch through
    %~dp0, from a folder of the given name: the program name must not
    swallow the command."""
    return lambda session, name: run_console_case(session, name, "move 100,50", check_move, tool=tool,
                                                  folder=folder, prepare=lambda work: shutil.copy(session.tavrik, work))


def version_checks(session, name):
    run_version_record(session)
    linux_check(session, "version-record-exiftool", lambda: check_exiftool(session))
    linux_check(session, "resources-icon", lambda: check_resources(session))
    linux_check(session, "pe-image", lambda: check_pe_image(session))


SHOWN = {"visible": "1", "iconic": "0"}
# Every case, by name (E2E_ONLY picks among them), and what runs it.
CASES = [
    ("min", console("min", state_check({"iconic": "0"}, {"iconic": "1"}))),
    ("max", console("max", check_max)),
    ("hide", console("hide", state_check({"visible": "1"}, {"visible": "0"}))),
    ("restore-from-min", console("restore", state_check({"iconic": "1"}, dict(SHOWN, z="above")),
                                 setup=("min", "below-reference"))),
    ("restore-from-hidden", console("restore", state_check({"visible": "0"}, dict(SHOWN, z="above")),
                                    setup=("hide", "below-reference"))),
    ("noactive", console("noactive", state_check({"visible": "0", "z": "below"}, {"visible": "1", "z": "below"}),
                         setup=("hide", "below-reference"))),
    ("move", console("move 100,50", check_move)),
    # A monitor left of the main one: x = -100 given as 2^32 - 100.
    ("move-negative-x", console("move 4294967196,50", check_moved_to(-100, 50))),
    ("bottom", console("bottom", state_check({"z": "above"}, {"z": "below"}), setup=("above-reference",))),
    ("top", console("top", state_check({"z": "below"}, {"z": "above"}), setup=("below-reference",))),
    ("topmost", console("topmost", state_check({"topmost": "0"}, {"topmost": "1"}))),
    ("title-outside-code-page", console("move 100,50", check_title_kept(TITLE_OUTSIDE_CODE_PAGES),
                                        setup=("title-outside-code-pages",))),
    ("buffer", screen("buffer 120,300", check_buffer)),
    ("size", screen("size 60,20", check_size, setup=("scroll",))),
    ("size-past-buffer-end", screen("size 60,30", check_size_past_buffer_end, setup=("scroll-near-end",))),
    ("size-refused-0-0", screen("size 0,0", check_unchanged)),
    ("size-refused-no-height", screen("size 80", check_unchanged)),
    ("size-refused-65535-1", screen("size 65535,1", check_unchanged)),
    ("buffer-refused-smaller-than-window", screen("buffer 10,5", check_unchanged)),
    ("usage-no-command", console("", check_usage, reference=False)),
    ("usage-unknown-word", console("bogus", check_usage, reference=False)),
    ("usage-upper-case", console("MIN", check_usage, reference=False)),
    ("usage-trailing-comma", console("top,", check_usage, reference=False)),
    ("close", lambda session, name: run_close(session)),
    ("long-path", lambda session, name: run_long_path(session)),
    # From folders whose names leave ASCII: the bare form only where there is
    # no blank. In code page 932 the second byte of ソ and of 表 is 0x5C, a
    # backslash.
    ("accented-folder", beside_batch("Jos\u00e9", "%~dp0tavrik.exe")),
    ("folder-quoted-in-part", beside_batch("My Tools", '"%~dp0"tavrik.exe')),
    ("sjis-folder", beside_batch("\u30bd\u30d5\u30c8\u8868\u793a", "%~dp0tavrik.exe")),  # ソフト表示
    ("sjis-folder-blank-quoted", beside_batch("\u30bd\u30d5\u30c8 \u8868\u793a", '"%~dp0tavrik.exe"')),  # ソフト 表示
    ("sjis-folder-blank-quoted-in-part", beside_batch("\u8868\u793a \u30bd\u30d5\u30c8", '"%~dp0"tavrik.exe')),
    ("two-runs-one-console", console(None, check_two_runs, reference=False, script=two_runs_script())),
    ("ctrl-c-during-search", lambda session, name: run_ctrl_c_during_search(session)),
    ("three-runs-no-window", console(None, check_windowless_runs, reference=False,
                                     script=windowless_runs_script(), window=False)),
    ("console-code-page-37", lambda session, name: run_console_code_page(session)),
    ("window-showing-the-tag", console(None, check_window_showing_the_tag(True), reference=False,
                                       script=DECOY_SCRIPT)),
    ("window-showing-the-tag-no-window", console(None, check_window_showing_the_tag(False), reference=False,
                                                 script=DECOY_SCRIPT, window=False)),
    ("fault", lambda session, name: run_fault(session, name, "", "tavrik.exe min")),
    ("fault-empty-command-line", lambda session, name: run_fault(session, name, "tavrik.exe", "")),
    *[(name, classic_recipe_case(folder)) for name, folder in CLASSIC_FOLDERS.items()],
    ("conhost-line-folder-with-blanks", conhost_line_case),
    ("version", version_checks),
]


def main():
    # A Windows runner's pipe is in the ANSI code page; a title in a failure
    # message must not end the run before its summary.
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="backslashreplace")
    tavrik, helper, artifacts = sys.argv[1:4]
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    session = Session(tavrik, helper, artifacts)
    only = set(os.environ.get("E2E_ONLY", "").split()) or None
    code_page = os.environ.get("E2E_CODE_PAGE")
    if code_page and not has_code_page(session, code_page, sorted(only or ["every case"])):
        return 1

    for name, runner in CASES:
        if only is None or name in only:
            runner(session, name)

    if os.environ.get("GITHUB_STEP_SUMMARY"):
        write_summary(session, os.environ["GITHUB_STEP_SUMMARY"], "tavrik end to end, %s%s%s" % (
            platform.platform(terse=True), "" if ON_WINDOWS else " under Wine",
            ", ANSI code page " + code_page if code_page else ""))
    print("e2e: " + tally(session))
    return 1 if any(result == FAILED for _, result, _ in session.results) else 0


if __name__ == "__main__":
    sys.exit(main())
