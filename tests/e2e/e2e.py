#!/usr/bin/env python3
"""End-to-end cases for tavrik.exe, on Windows or under Wine (in the session
that run_e2e.sh starts). Each case gets its own console window: the console
helper runs a generated batch file (set-up, a probe of the console's state,
the tool, its exit status, a second probe) in a new console. The probes are
compared while the console is still open, so a failing case is photographed
before it closes. Only the launch prefix and the checks that need Linux
tools differ between the platforms.

usage: e2e.py TAVRIK_EXE HELPER_EXE ARTIFACT_DIR   (Python 3, standard library)
  E2E_ONLY="CASE ..."  runs only the cases named (an unknown name stops the run)
  E2E_CODE_PAGE=932    runs the cases where the code page matters, after
                       checking that the ANSI code page is that one
  GITHUB_STEP_SUMMARY=FILE  appends a Markdown table of the cases to FILE
"""
import collections
import contextlib
import json
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import version  # noqa: E402
from console_batch import LAUNCH, read_report, start as start_batch, status as batch_status, write_batch  # noqa: E402


def source_text(name):
    """A file of the sources, which this suite takes its figures from."""
    with open(os.path.join(ROOT, name), encoding="utf-8") as f:
        return f.read()


def expected(name):
    """What tavrik prints, byte for byte as tests/expected/ holds it."""
    with open(os.path.join(ROOT, "tests", "expected", name), "rb") as f:
        text = f.read()
    assert text, "tests/expected/%s is empty" % name
    return text


USAGE, FAULT = expected("usage.txt"), expected("fault.txt")
VERSION = version.read(ROOT)
CONSOLE_TIMEOUT = 60
# Statuses in the helper's reports: a batch or program past its limit, one
# that could not be started; and cmd's for a program it could not start.
TIMED_OUT, COULD_NOT_START, CMD_COULD_NOT_START = "124", "125", "9009"
STATUS_CONTROL_C_EXIT = 0xC000013A

# The platform differences: Windows runs the exes itself, Linux through Wine;
# checks that need Linux tools are skipped on Windows.
ON_WINDOWS = os.name == "nt"

# Cases run in cases/<folder>/ below the session directory, which holds the exes.
HELPER = r"..\..\e2e_helper.exe"
TAVRIK = r"..\..\tavrik.exe"
START_REFERENCE = ['start "" /b %s reference' % HELPER, HELPER + " wait-reference"]
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Skip(Exception):
    pass


class HarnessFailure(Exception):
    """The case's own evidence shows the harness failed, not tavrik."""


def require(condition, failure):
    """The one way a case tells a harness failure from tavrik's: raised here."""
    if not condition:
        raise HarnessFailure(failure)


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
        self.consoles = []  # the consoles the attempt under way has opened: (launcher, work, done marker)

    def case_dir(self, folder, attempt):
        path = os.path.join(self.root, "cases", folder if attempt == 1 else "%s-%d" % (folder, attempt))
        os.makedirs(path)
        return path

    def open_console(self, work, lines, window=True, done=None):
        """The batch case.bat in a console of its own, with a window unless
        told otherwise; it stays until let_go. The launcher's own messages
        go to launcher.txt; done names the file the batch writes last."""
        with open(os.path.join(work, "launcher.txt"), "wb") as log:
            launcher = start_batch(self.helper, work, "case", lines, CONSOLE_TIMEOUT, window, output=log)
        self.consoles.append((launcher, work, done))
        return launcher

    def let_go(self):
        """Lets every console of the attempt end (release.txt), waits for
        each, and returns (harness failures, problems): a console that did
        not end in time, and one whose batch ended before its done marker."""
        failures, problems = [], []
        for launcher, work, done in self.consoles:
            open(os.path.join(work, "release.txt"), "w").close()
            finish(launcher)
            if batch_status(work, "case") == TIMED_OUT:
                failures.append("the console's batch did not finish within %d s" % CONSOLE_TIMEOUT)
            elif done and not os.path.exists(os.path.join(work, done)):
                problems.append("the case's console ended before its done marker")
        self.consoles = []
        return failures, problems

    def run_helper(self, work, *args):
        """The helper in work, with no console of its own (plain wine gives
        none), for the cases that need none."""
        subprocess.run(LAUNCH + [self.helper] + list(args), cwd=work, timeout=90, **QUIET)


def finish(process):
    """Waits for a launcher, which ends its case's processes at its limit."""
    try:
        return process.wait(timeout=CONSOLE_TIMEOUT + 30)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()


def run_case(session, name, attempt, folder=None):
    """Runs attempt(work) in a fresh directory; it returns a list of problems
    or raises Skip or HarnessFailure. A failing attempt's screen is taken
    while its consoles are still up; then they are let go. A harness failure
    is retried once, from a fresh directory; a second one fails the case.
    Problems never are. The directory of a failed attempt is kept."""
    for number in (1, 2):
        work = session.case_dir(folder or name, number)
        try:
            try:
                problems = attempt(work)
                if problems:
                    screenshot(work)
            finally:
                failures, late_problems = session.let_go()
            problems = problems or late_problems
            require(problems or not failures, "; ".join(failures))
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


def numbers(text):
    return tuple(int(v) for v in text.split(","))


def read_bytes(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def read_status(path):
    """The status= line of a report: a program's exit status, as the helper
    or a save_status line wrote it."""
    return (read_report(path) or {}).get("status")


def save_status(path):
    # The redirection first: "echo 0> f" would redirect handle 0.
    return ">%s echo status=%%ERRORLEVEL%%" % path


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
                     tool=TAVRIK, folder=None, prepare=None, script=None, window=True, reports_status=False,
                     hold=None):
    """A case in its own console: the check runs on both probes while the
    console is still up. A script (batch lines) takes the place of the one
    tool command; with reports_status it writes status.txt itself, through
    the helper's run verb. window=False gives the console no window at all.
    hold, a context manager, is entered once the console is up and left
    once the command has run: for a state no other console may meet."""
    steps = (START_REFERENCE if reference else []) + [HELPER + " setup " + action for action in setup]
    command = script or [tool + (" " + tool_args if tool_args else "") + (" > out.bin" if redirect else "")]

    def attempt(work):
        if prepare:
            prepare(work)
        lines = checked(steps) + [HELPER + " probe before.txt"] + (
            [HELPER + " wait-file held.txt"] if hold else []) + command + (
            [] if reports_status else [save_status("status.txt")]) + [
            HELPER + " probe after.txt", HELPER + " wait-file release.txt"]
        if reference:
            lines += [HELPER + " close-reference"]
        lines += ["echo done> done.txt"]
        launcher = session.open_console(work, lines, window, done="done.txt")
        if hold and wait_for(os.path.join(work, "before.txt"), CONSOLE_TIMEOUT, launcher):
            with hold():
                open(os.path.join(work, "held.txt"), "w").close()
                wait_for(os.path.join(work, "after.txt"), CONSOLE_TIMEOUT + 10, launcher)
        else:
            wait_for(os.path.join(work, "after.txt"), CONSOLE_TIMEOUT + 10, launcher)
        return judge(collect(session, name, work, redirect), steps, window, check)

    run_case(session, name, attempt, folder)


def judge(result, steps, window, check):
    """A console case's verdict on what it left: a harness failure raised,
    or the check's problems. A first probe with no status after it is not
    the harness's doing: the command never ended, and a retry must not hide
    that."""
    require_harness(result, steps, window)
    if result["status"] is None:
        return ["no exit status: the command had not ended when the console's batch was ended after %d s"
                % CONSOLE_TIMEOUT]
    require(result["status"] != CMD_COULD_NOT_START, "cmd could not start the tool (status 9009)")
    require(result["after"] is not None, "the second probe did not run")
    return check(result)


def collect(session, name, work, redirect):
    """What a console case left: both probes, the status report, the tool's
    output, the harness steps that failed, the launcher's status once it
    has ended."""
    report = read_report(os.path.join(work, "status.txt"))
    return {
        "before": read_report(os.path.join(work, "before.txt")),
        "after": read_report(os.path.join(work, "after.txt")),
        "report": report or {},
        "status": (report or {}).get("status"),
        "output": read_bytes(os.path.join(work, "out.bin")) if redirect else b"",
        "steps": (read_bytes(os.path.join(work, "steps.txt")) or b"").decode("ascii").split(),
        "launcher": batch_status(work, "case"),
        "work": work,
        "session": session,
        "name": name,
    }


def require_harness(result, steps, window):
    """Raises if the evidence shows the harness failed."""
    require(result["launcher"] != COULD_NOT_START, "the console launcher could not start the batch")
    require(not result["steps"], "harness step failed: " + "; ".join(
        steps[int(n) - 1] for n in result["steps"] if n.isdigit()))
    require(result["before"] is not None, "the first probe did not run")
    require(result["before"].get("window") == ("1" if window else "0"),
            "the console never appeared (no console window in the first probe)" if window
            else "the console meant to have no window has one")


def keep_artifacts(session, name, work):
    target = os.path.join(session.artifacts, name)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(work, target)
    print("    kept %s" % target)
    if os.path.exists(os.path.join(target, "screen.png")):
        print("    screenshot %s" % os.path.join(target, "screen.png"))


PASSED, FAILED, SKIPPED = "passed", "**failed**", "skipped"


def record(session, name, problems, skip):
    seen = session.observations.get(name, [])
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


def observe(result, text):
    """What a case saw beside its verdict (a figure, which of several allowed
    outcomes): printed now, and kept for the summary. result names the
    session and the case (a check's result, or a dict of the two)."""
    if result.get("session") is None:
        return
    result["session"].observations.setdefault(result["name"], []).append(text)
    print("     (%s: %s)" % (result["name"], text))


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
    if result["after"].get("zoomed") != "1" and not window_manager_maximises(result["session"], result["work"]):
        raise Skip("no window manager answers a maximise here")
    return state_check({"zoomed": "0"}, {"zoomed": "1", "iconic": "0", "visible": "1"})(result)


def window_manager_maximises(session, work):
    """The control for max, in a console and folder of its own beside the
    attempt's: whether the window manager maximises a plain window at all."""
    control = session.case_dir(os.path.basename(work) + "-control", 1)
    start_batch(session.helper, control, "case", checked(START_REFERENCE) + [
        HELPER + " setup maximise-reference", save_status("status.txt"), HELPER + " close-reference"],
        CONSOLE_TIMEOUT).wait()
    return maximise_control_verdict(read_report(os.path.join(control, "status.txt")),
                                    read_bytes(os.path.join(control, "steps.txt")))


def maximise_control_verdict(report, failed_steps):
    """Whether the control maximised its window: status 0 yes, 3 no; any
    other end (no report, a reference window that never came) is the
    harness's."""
    require(report is not None and not failed_steps,
            "the max control's console did not run (report %r, failed steps %r)" % (report, failed_steps))
    require(report.get("status") in ("0", "3"), "the max control ended with status %r" % report.get("status"))
    return report["status"] == "0"


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

# The screen buffer as the probe reads it through CONOUT$; a probe that
# could not open it leaves these out.
BUFFER_FIELDS = ("buffer", "area", "cursor")


def require_buffer_read(result):
    require(all(key in result[when] for key in BUFFER_FIELDS for when in ("before", "after")),
            "a probe could not read the screen buffer (CONOUT$): %s" % [
                "%s lacks %s" % (when, key) for when in ("before", "after") for key in BUFFER_FIELDS
                if key not in result[when]])


def check_buffer(result):
    require_buffer_read(result)
    problems = []
    common(result, problems)
    expect(problems, result["before"]["buffer"] != "120,300", "the buffer was already 120 x 300")
    expect(problems, result["after"]["buffer"] == "120,300",
           "buffer %s, expected 120,300" % result["after"]["buffer"])
    expect(problems, result["after"]["cursor"] == result["before"]["cursor"], "something was written")
    return problems


def check_size(result):
    require_buffer_read(result)
    problems = []
    common(result, problems)
    left, top, right, bottom = numbers(result["before"]["area"])
    expect(problems, top > 0, "set-up did not scroll the visible area (area %s)" % result["before"]["area"])
    expected_area = (left, top, left + 59, top + 19)
    expect(problems, numbers(result["after"]["area"]) == expected_area,
           "area %s, expected %s" % (result["after"]["area"], expected_area))
    expect(problems, result["after"]["cursor"] == result["before"]["cursor"], "something was written")
    return problems


def check_size_past_buffer_end(result):
    """size 60,30 on an area whose bottom is two rows above the buffer's last
    row: the asked area would pass the buffer's end. Windows' documentation
    says SetConsoleWindowInfo then fails; the console host's source moves
    the area back inside the buffer (or, before 2022, cut it at the last
    row). Any of the three passes, and the case says which it saw."""
    require_buffer_read(result)
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
    observe(result, "%s (area %s before, %s after; buffer's last row %d)" % (
        outcome, result["before"]["area"], result["after"]["area"], last))
    expect(problems, after in outcomes, "area %s: not refused %s, moved %s nor cut %s" % (
        result["after"]["area"], *outcomes))
    expect(problems, result["after"]["cursor"] == result["before"]["cursor"], "something was written")
    return problems


def check_unchanged(result):
    """A request Windows refuses: exit 0, nothing written, nothing changed,
    the buffer's fields included, which both probes must have read."""
    require_buffer_read(result)
    problems = []
    common(result, problems)
    for key in BUFFER_FIELDS + ("rect", "iconic", "zoomed", "visible", "topmost"):
        expect(problems, result["before"].get(key) == result["after"].get(key),
               "%s changed: %s -> %s" % (key, result["before"].get(key), result["after"].get(key)))
    return problems


def check_usage(result):
    problems = []
    common(result, problems, output=USAGE)
    return problems


def outside_code_pages(title, pages=("cp1252", "cp932")):
    """Whether no ANSI code page here can hold the title."""
    def fits(page):
        try:
            title.encode(page)
            return True
        except UnicodeEncodeError:
            return False
    return bool(title) and not any(fits(page) for page in pages)


def check_title_outside_code_pages(result):
    """The helper titled the console with text that no ANSI code page
    here can hold; the run must hand it back exactly, and move."""
    before = result["before"].get("title", "")
    require(outside_code_pages(before), "the set-up title %r fits an ANSI code page" % before)
    problems = []
    common(result, problems)
    expect(problems, result["after"]["rect"].startswith("100,50,"), "the move did not happen")
    return problems


# ---- cases with a console of their own that tavrik ends, or none ----------

def run_close(session, name):
    """close ends the console and the batch with it, so the exit status comes
    through the helper, which leaves the console before the tool runs."""
    def attempt(work):
        launcher = session.open_console(work, [HELPER + ' run launch.txt "%s close" leave' % TAVRIK,
                                               "echo done> done.txt"])
        finish(launcher)
        launch = read_report(os.path.join(work, "launch.txt"))
        require(batch_status(work, "case") != COULD_NOT_START, "the console launcher could not start the batch")
        require(launch is not None, "the helper did not start tavrik or did not report")
        require(launch.get("window") == "1", "the console never appeared (no console window at launch)")
        problems = []
        expect(problems, launch.get("status") == "0", "exit status %r, expected 0" % launch.get("status"))
        expect(problems, launch.get("console") == "gone", "the console window is %r" % launch.get("console"))
        expect(problems, not os.path.exists(os.path.join(work, "done.txt")), "the batch ran on after close")
        return problems
    run_case(session, name, attempt)


def fault(exe, command_line):
    """No console window at all: the helper starts the tool detached from
    any console, with standard output in a file."""
    def runner(session, name):
        def attempt(work):
            session.run_helper(work, "run", "report.txt", command_line, "detached", "out=out.bin",
                               *(["exe=..\\..\\" + exe] if exe else []))
            report = read_report(os.path.join(work, "report.txt"))
            require(report is not None and report.get("status") != COULD_NOT_START,
                    "the helper could not start tavrik or did not report: %r" % report)
            output = read_bytes(os.path.join(work, "out.bin"))
            problems = []
            expect(problems, report["status"] == "1", "exit status %s, expected 1" % report["status"])
            expect(problems, output == FAULT, "output %r, expected %r" % (output, FAULT))
            observe({"session": session, "name": name}, "gave up after %.2f s" % (
                (float(report["ended_ms"]) - float(report["started_ms"])) / 1000))
            return problems
        run_case(session, name, attempt)
    return runner


VERSION_RECORD = {
    "file_version": VERSION["binary"], "product_version": VERSION["binary"], "flags_mask": "0", "flags": "0",
    "os": "4", "type": "1", "subtype": "0", "date": "0.0", "translation": "0411,03A4",
    "string.Comments": "\u30b3\u30f3\u30bd\u30fc\u30eb\u30a6\u30a3\u30f3\u30c9\u30a6\u306e\u5404\u7a2e\u5236\u5fa1",
    "string.CompanyName": "tavrik project",
    "string.FileDescription": "tavrik", "string.FileVersion": VERSION["text"], "string.InternalName": "tavrik",
    "string.LegalCopyright": "Copyright (C) 2026 tavrik project",
    "string.OriginalFilename": "tavrik.EXE", "string.ProductName": "tavrik", "string.ProductVersion": VERSION["text"],
}


def run_version_record(session, name):
    def attempt(work):
        session.run_helper(work, "version", TAVRIK, "version.txt")
        got = read_report(os.path.join(work, "version.txt"))
        require(got is not None, "the version helper did not report")
        return ["%s=%r, expected %r" % (k, got.get(k), v) for k, v in VERSION_RECORD.items() if got.get(k) != v]
    run_case(session, name, attempt)


def has_code_page(session, expected_page, cases):
    """Whether Wine (or Windows) runs the cases under the ANSI code page a pass
    is meant for: a prefix that fell back to another would pass them all and
    prove nothing."""
    with tempfile.TemporaryDirectory(dir=session.root) as work:
        session.run_helper(work, "probe", "acp.txt")
        acp = (read_report(os.path.join(work, "acp.txt")) or {}).get("acp")
    if acp != expected_page:
        print("FAIL code-page: the ANSI code page is %s, not %s; no case was run" % (acp, expected_page))
        return False
    print("e2e: the ANSI code page is %s (%s); cases: %s" % (acp, "Windows" if ON_WINDOWS else "Wine",
                                                        " ".join(cases)))
    return True


def linux_only(check, needs):
    """A check that reads the exe with Linux tools: skipped on Windows."""
    def runner(session, name):
        def attempt(work):
            if ON_WINDOWS:
                raise Skip("needs %s, which runs on Linux only" % needs)
            return check(session)
        run_case(session, name, attempt)
    return runner


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
    for key, value in {"FileVersionNumber": VERSION["binary"], "ProductVersionNumber": VERSION["binary"],
                       "ProductName": "tavrik", "Comments": VERSION_RECORD["string.Comments"],
                       "FileVersion": json.loads(VERSION["text"]), "LanguageCode": "Japanese"}.items():
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


def helper_run(report, command_line, *options):
    """A batch line that runs a command line through the helper, which
    reports how it ended in REPORT (status=, and when it started and ended)
    and leaves the console's title to the program: cmd /c would retitle the
    console around it."""
    return '%s run %s "%s" %s' % (HELPER, report, command_line.replace('"', '\\"'), " ".join(options))


# A program name over 300 characters on the tool's command line, far longer
# than its token buffer: the tool must still see its command. The helper
# starts tavrik.exe with that name as the command line's first token, as a
# program kept in a deep folder is started.
LONG_NAME = "\\".join(["C:", "tavrik"] + ["a-long-directory-name-" + "x" * 20] * 8 + ["tavrik.exe"])


TWO_RUN_ROUNDS = 10


def title_kept(probe, given):
    """Whether the title a batch gave with cmd's title command is still
    there: cmd may add to it ("Administrator: " when elevated, a command's
    name while it runs), but a title lost to a tavrik run shows its
    temporary one, as the helper reads it (tagged=1)."""
    title = (probe or {}).get("title") or ""
    return re.search(r"\b%s\b" % re.escape(given), title) is not None and (probe or {}).get("tagged") == "0"


def two_runs_script():
    """A run started with start /b beside a foreground run, ten times, each
    under its own title. Both start through the helper, so both begin after
    the same start-up, and only tavrik touches the title. Each round's probe
    waits until the background run has ended."""
    lines = []
    for n in range(1, TWO_RUN_ROUNDS + 1):
        lines += ["title Build %d" % n,
                  'start "" /b ' + helper_run("bg%d.txt" % n, TAVRIK + " move 10,10", "out=bg%d.out" % n),
                  helper_run("fg%d.txt" % n, TAVRIK + " move 200,100", "out=fg%d.out" % n),
                  HELPER + " wait-file bg%d.txt" % n, HELPER + " probe round%d.txt" % n]
    return lines


def run_reports(result, names):
    """The helper's reports of the named runs; a run that did not start or
    did not report is the harness's failure."""
    reports = [read_report(os.path.join(result["work"], name + ".txt")) for name in names]
    missing = [name for name, report in zip(names, reports) if not report or report.get("status") == COULD_NOT_START]
    require(not missing, "no report, or not started: %s" % ", ".join(missing))
    return reports


def overlapped(first, second):
    """Whether two runs' lifetimes, from the helper's reports, overlapped."""
    return (max(float(first["started_ms"]), float(second["started_ms"])) <
            min(float(first["ended_ms"]), float(second["ended_ms"])))


def check_two_runs(result):
    problems, overlaps = [], 0
    for n in range(1, TWO_RUN_ROUNDS + 1):
        fg, bg = run_reports(result, ["fg%d" % n, "bg%d" % n])
        probe = read_report(os.path.join(result["work"], "round%d.txt" % n))
        require(probe is not None, "round %d: no probe" % n)
        overlaps += overlapped(fg, bg)
        statuses = [fg["status"], bg["status"]]
        expect(problems, statuses == ["0", "0"], "round %d: exit statuses %s, expected 0 and 0" % (n, statuses))
        expect(problems, title_kept(probe, "Build %d" % n),
               "round %d: title %r, expected 'Build %d'" % (n, probe.get("title"), n))
    # Rounds whose runs never overlapped prove nothing of two at once.
    require(overlaps > 0, "in none of %d rounds did the two runs overlap" % TWO_RUN_ROUNDS)
    observe(result, "the runs overlapped in %d of %d rounds" % (overlaps, TWO_RUN_ROUNDS))
    corner = numbers(result["after"]["rect"])[:2]
    expect(problems, corner in ((200, 100), (10, 10)), "top-left %s, expected (200, 100) or (10, 10)" % (corner,))
    return problems


def run_ctrl_c_during_search(session, name):
    """Ctrl+C while tavrik searches for its window, which another thread of
    the console keeps from showing the tag: the title must come back. The
    helper holds the caption, runs tavrik and sends the Ctrl+C after 1 s;
    it starts alone (start /b, then the batch ends), so no cmd is left to
    answer the Ctrl+C with its "Terminate batch job" prompt."""
    def attempt(work):
        launcher = session.open_console(work, [
            'start "" /b ' + helper_run("interrupt.txt", TAVRIK + " move 1,1", "out=out.bin", "interrupt=1000")])
        wait_for(os.path.join(work, "interrupt.txt"), CONSOLE_TIMEOUT, launcher)
        finish(launcher)
        report = read_report(os.path.join(work, "interrupt.txt"))
        require(report is not None, "the helper did not run or did not report")
        return check_ctrl_c(report, read_bytes(os.path.join(work, "out.bin")), session, name)
    run_case(session, name, attempt)


def check_ctrl_c(report, output, session=None, name=None):
    require(report["alone"] == "1", "the batch's cmd was still in the console")
    require(report["sent"] == "1", "no Ctrl+C was sent: %s round(s) ended before it, last status %s (%s: tavrik "
            "did not start)" % (report["slipped"], report["status"], COULD_NOT_START))
    problems = []
    status, after_ms = int(report["status"]), float(report["after_ms"])
    expect(problems, status == STATUS_CONTROL_C_EXIT, "exit status 0x%X, expected 0xC000013A" % status)
    expect(problems, report["title"] == report["title_set"],
           "title %r after the Ctrl+C, expected %r" % (report["title"], report["title_set"]))
    # One that heeds the Ctrl+C ends at its next pause; one that lets it
    # wait runs its remaining 2 s or so of searching.
    expect(problems, after_ms <= 1500, "ended %.0f ms after the Ctrl+C, expected 1500 at most" % after_ms)
    expect(problems, output == b"", "output %r, expected none" % output)
    observe({"session": session, "name": name}, "ended %.0f ms after the Ctrl+C; %s round(s) slipped past it"
            % (after_ms, report["slipped"]))
    return problems


WINDOWLESS_RUNS = 3


def windowless_runs_script():
    """Three runs at once in a console with no window, as a hidden or
    scheduled job's console is: there is nothing to find, so each must fail
    and none may leave the batch's title changed."""
    return (["title Keep This"] +
            ['start "" /b ' + helper_run("run%d.txt" % n, TAVRIK + " min", "out=run%d.out" % n)
             for n in range(1, WINDOWLESS_RUNS + 1)] +
            [HELPER + " wait-file run%d.txt" % n for n in range(1, WINDOWLESS_RUNS + 1)])


def check_windowless_runs(result):
    problems = []
    names = ["run%d" % n for n in range(1, WINDOWLESS_RUNS + 1)]
    for name, report in zip(names, run_reports(result, names)):
        output = read_bytes(os.path.join(result["work"], name + ".out"))
        expect(problems, report["status"] == "1", "%s: exit status %s, expected 1" % (name, report["status"]))
        expect(problems, output == FAULT, "%s: output %r, expected %r" % (name, output, FAULT))
    expect(problems, title_kept(result["after"], "Keep This"),
           "title %r, expected 'Keep This'" % result["after"].get("title"))
    return problems


# Another program's window shows the very caption a run gives its console,
# as a console left with a killed run's tag does: the run must act on its
# own console's window and never touch the other window. The helper starts
# tavrik suspended, shows a window captioned with its tag above all others,
# lets it run, and notes what a search for the tag found first while the
# console showed it.
DECOY_SCRIPT = [helper_run("status.txt", TAVRIK + " move 321,123", "out=out.bin", "decoy")]


def check_window_showing_the_tag(result):
    report = result["report"]
    require(report.get("tag_seen") == "1", "the console never showed the tag %s while the helper watched"
            % report.get("tag"))
    require(report.get("first_match") == "decoy", "a search for %s first found %s, not the decoy: the decoy was "
            "not in play" % (report.get("tag"), report.get("first_match")))
    problems = check_moved_to(321, 123)(result)
    expect(problems, report["decoy_after"] == report["decoy_before"], "the other window captioned %s moved "
           "from %s to %s" % (report["tag"], report["decoy_before"], report["decoy_after"]))
    return problems


def check_window_showing_the_tag_no_window(result):
    """In a console with no window the run has nothing of its own to find:
    it must give up without ever giving the console the tag, which is what
    keeps the window that shows it out of reach."""
    report = result["report"]
    problems = []
    expect(problems, (result["status"], result["output"]) == ("1", FAULT),
           "exit status %s and output %r, expected 1 and %r" % (result["status"], result["output"], FAULT))
    expect(problems, report.get("tag_seen") == "0", "the console showed the tag %s" % report.get("tag"))
    expect(problems, report.get("decoy_after") == report.get("decoy_before"), "the other window captioned %s "
           "moved from %s to %s" % (report.get("tag"), report.get("decoy_before"), report.get("decoy_after")))
    return problems


def check_console_code_page(result):
    """chcp 37 before a run, an EBCDIC code page, in which even the ASCII
    letters and digits of the temporary title are other bytes: the run must
    still find its window. The helper sets the console's code pages, runs
    tavrik and puts them back, since cmd reads the rest of the batch
    through them."""
    report = result["report"]
    if report.get("taken") != "1":
        raise Skip("the console refuses code page 37")
    problems = check_move(result)
    expect(problems, report.get("restored") == "1", "the console's code pages were not put back")
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


# The arguments a script author passes: one with a blank, and a quoted one
# that ends in a backslash, which CommandLineToArgvW would read as a quote,
# followed by another.
CLASSIC_ARGUMENTS = 'first "C:\\Data\\" "two words" last'
# Where users keep batch files: blanks, a hyphen, parentheses, &, letters
# outside ASCII.
CLASSIC_FOLDERS = {
    "classic-recipe-onedrive": r"Users\John Smith\OneDrive - Contoso\Desktop",
    "classic-recipe-program-files": r"Program Files (x86)\tools",
    "classic-recipe-ampersand": r"Work\R&D",
    "classic-recipe-accented": "Jos\u00e9\\scripts",
    "classic-recipe-japanese": "\u30c6\u30b9\u30c8\\\u30d3\u30eb\u30c9 \u7528",  # テスト\ビルド 用
    "classic-recipe-plain": "tools",
}


def classic_record(ending):
    """What the batch records after the recipe's own lines: that it ran,
    its arguments and its environment's names, beside itself (through
    %~dp0, so a recipe that loses %0 loses them); its console's state, in
    the folder it was started from (the helper takes ANSI paths, which a
    Japanese folder name may not fit); then it ends: exit closes the
    console that cmd /k keeps open, exit /b returns to the caller's."""
    return ['>>"%~dp0runs.txt" echo run', '>"%~dp0args.txt" echo [%1] [%2] [%3] [%4] [%5]',
            'set > "%~dp0env.txt"', "e2e_helper probe classic.txt", ending]


def recipe_body(variable):
    """A recipe line's tavrik command, as "buffer W,H" and the like."""
    found = re.findall(r"(?m)^tavrik (%s) (\d+,\d+)$" % variable, classic_recipe())
    assert len(found) == 1, "the recipe has %d 'tavrik %s' lines, expected 1" % (len(found), variable)
    return found[0][1]


def env_names(text):
    return {line.split("=", 1)[0].upper() for line in text.splitlines() if "=" in line}


def run_classic(session, name, folder, script_lines, call_line, expected_arguments, where="new", hold=None,
                observe_arguments=False, tavrik_beside=False):
    """A batch in a folder below the case's, started from the case's console
    by call_line, must run once with its arguments: in a new console of its
    own that it sets up (where="new"), or in the first one (where="here"),
    and leave no variable of its own behind. tavrik_beside puts a tavrik.exe
    in the batch's folder too."""
    def prepare(work):
        target = os.path.join(work, *folder.split("\\"))
        os.makedirs(target)
        write_batch(os.path.join(target, "build.bat"), script_lines)
        if tavrik_beside:
            shutil.copy(session.tavrik, target)

    def check(result):
        target = os.path.join(result["work"], *folder.split("\\"))
        runs = (read_bytes(os.path.join(target, "runs.txt")) or b"").decode("ascii").split()
        args = (read_bytes(os.path.join(target, "args.txt")) or b"").decode("ascii").strip()
        classic = read_report(os.path.join(result["work"], "classic.txt")) or {}
        before_env = (read_bytes(os.path.join(result["work"], "env-before.txt")) or b"").decode("utf-8", "replace")
        env = (read_bytes(os.path.join(target, "env.txt")) or b"").decode("utf-8", "replace")
        require(env_names(before_env), "the case's console did not record its environment")
        buffer = recipe_body("buffer")
        first = (result["before"]["buffer"], result["after"]["buffer"])
        problems = []
        expect(problems, runs == ["run"], "the batch ran %d times, expected once" % len(runs))
        if observe_arguments:
            given = (read_bytes(os.path.join(target, "given.txt")) or b"").decode("ascii").splitlines()
            observe(result, "given %s, arrived %s" % (given[0] if given else "nothing", args))
        expect(problems, args.startswith(expected_arguments), "arguments %r, expected %r" % (args, expected_arguments))
        expect(problems, not env or not env_names(env) - env_names(before_env),
               "the batch's environment gained %s" % sorted(env_names(env) - env_names(before_env)))
        expect(problems, classic.get("window") == "1", "the batch ran without a console window")
        expect(problems, classic.get("buffer") == buffer, "the batch's console has buffer %s, expected %s"
               % (classic.get("buffer"), buffer))
        if where == "new":
            expect(problems, first[0] == first[1], "the first console's buffer changed: %s -> %s" % first)
            expect(problems, result["status"] == "0", "the caller saw exit status %s, expected 0" % result["status"])
        else:
            expect(problems, first[1] == buffer, "the batch did not run in the first console (its buffer %s -> %s)"
                   % first)
        if classic.get("area") and where == "new":
            observe(result, "new console's visible area %s" % classic["area"])
        return problems

    # tavrik and the helper (and under Wine the stand-in) on PATH; the batch
    # found by for /r, so this file stays ASCII whatever the folder's name.
    path = ["pushd ..\\..", 'set "PATH=%CD%;%PATH%"' if ON_WINDOWS else 'set "PATH=%CD%\\standin;%CD%;%PATH%"',
            "popd", "set > env-before.txt"]
    call = 'for /r %%f in (build.bat) do if exist "%%f" ' + call_line % {"batch": "%%f"}
    run_console_case(session, name, None, check, reference=False, redirect=False, prepare=prepare,
                     script=path + [call], hold=hold)


# The re-opened batch ends its console with a status of its own, which its
# caller must not see: conhost.exe exits with 0.
NEW_CONSOLE_END = "exit 3"
EXPECTED_ARGUMENTS = '[first] ["C:\\Data\\"] ["two words"] [last] []'


def classic_recipe_case(folder, arguments=CLASSIC_ARGUMENTS, expected_arguments=EXPECTED_ARGUMENTS, **options):
    """The README's recipe, byte for byte, in a batch in the given folder,
    called with the given arguments. To observe what it loses, the batch
    also records them as given, before the recipe."""
    where = options.get("where", "new")
    ending = NEW_CONSOLE_END if where == "new" else "exit /b"
    lines = classic_recipe().rstrip("\n").split("\n") + classic_record(ending)
    if options.get("observe_arguments"):
        lines.insert(1, '>>"%~dp0given.txt" echo [%1] [%2] [%3] [%4] [%5]')
    return lambda session, name: run_classic(session, name, folder, lines,
                                             'call "%(batch)s" ' + arguments.replace("%", "%%"),
                                             expected_arguments, **options)


def beside_the_batch(session, name):
    """The README's recipe in a batch that calls a tavrik.exe kept beside
    it, not on PATH, as "%~dp0tavrik.exe": %0 must survive the recipe."""
    lines = [line.replace("tavrik ", '"%~dp0tavrik.exe" ', 1) if line.startswith("tavrik ") else line
             for line in classic_recipe().rstrip("\n").split("\n")] + classic_record(NEW_CONSOLE_END)
    run_classic(session, name, r"Build Tools (x86)\R&D", lines, 'call "%(batch)s" ' + CLASSIC_ARGUMENTS,
                EXPECTED_ARGUMENTS, tavrik_beside=True)


@contextlib.contextmanager
def legacy_console():
    """Windows' "Use legacy console" for the console the case starts: HKCU\\
    Console ForceV2 = 0, read by every conhost.exe started meanwhile, and
    put back as it was when the case's command has run."""
    key, value = "HKCU\\Console", "ForceV2"
    query = subprocess.run(LAUNCH + ["reg", "query", key, "/v", value], capture_output=True, text=True)
    before = re.search(r"ForceV2\s+REG_DWORD\s+(0x[0-9a-fA-F]+)", query.stdout)
    subprocess.run(LAUNCH + ["reg", "add", key, "/v", value, "/t", "REG_DWORD", "/d", "0", "/f"], check=True, **QUIET)
    try:
        yield
    finally:
        restore = (["add", key, "/v", value, "/t", "REG_DWORD", "/d", str(int(before.group(1), 16)), "/f"]
                   if before else ["delete", key, "/v", value, "/f"])
        subprocess.run(LAUNCH + ["reg"] + restore, check=True, **QUIET)


def conhost_line_case(session, name):
    """The guide's conhost.exe line for a script in a folder with blanks."""
    line = re.sub(r'"[^"]+"', '"%(batch)s"', conhost_line().replace("%", "%%"))
    script = ["@echo off", "tavrik buffer %s" % recipe_body("buffer")] + classic_record("exit")
    run_classic(session, name, r"My Scripts (old)\build tools", script, line, "[] [] [] [] []")


def console(args, check, **options):
    """A case run by run_console_case: the tool's arguments, its check, and
    how the console is set up."""
    return lambda session, name: run_console_case(session, name, args, check, **options)


def screen(args, check, setup=()):
    """A case that acts on standard output, which must stay the console."""
    return console(args, check, setup=setup, redirect=False)


def scripted(script, check, **options):
    """A case whose batch lines report the status themselves, through the
    helper's run verb."""
    return console(None, check, reference=False, script=script, reports_status=True, **options)


def beside_batch(folder, tool):
    """The batch idioms that call a tavrik.exe kept beside the batch through
    %~dp0, from a folder of the given name: the program name must not
    swallow the command."""
    return lambda session, name: run_console_case(session, name, "move 100,50", check_move, tool=tool,
                                                  folder=folder, prepare=lambda work: shutil.copy(session.tavrik, work))


SHOWN = {"visible": "1", "iconic": "0"}
Case = collections.namedtuple("Case", "name runner code_page")


def case(name, runner, code_page=False):
    """A row of CASES: its name, what runs it, and whether it runs again in
    the pass under code page 932 (the cases where the code page matters)."""
    return Case(name, runner, code_page)


# Every case: E2E_ONLY picks among them by name, E2E_CODE_PAGE the marked ones.
CASES = [
    case("min", console("min", state_check({"iconic": "0"}, {"iconic": "1"}))),
    case("max", console("max", check_max)),
    case("hide", console("hide", state_check({"visible": "1"}, {"visible": "0"}))),
    case("restore-from-min", console("restore", state_check({"iconic": "1"}, dict(SHOWN, z="above")),
                                     setup=("min", "below-reference"))),
    case("restore-from-hidden", console("restore", state_check({"visible": "0"}, dict(SHOWN, z="above")),
                                        setup=("hide", "below-reference"))),
    case("noactive", console("noactive", state_check({"visible": "0", "z": "below"}, {"visible": "1", "z": "below"}),
                             setup=("hide", "below-reference"))),
    case("move", console("move 100,50", check_move)),
    # A monitor left of the main one: x = -100 given as 2^32 - 100.
    case("move-negative-x", console("move 4294967196,50", check_moved_to(-100, 50))),
    case("bottom", console("bottom", state_check({"z": "above"}, {"z": "below"}), setup=("above-reference",))),
    case("top", console("top", state_check({"z": "below"}, {"z": "above"}), setup=("below-reference",))),
    case("topmost", console("topmost", state_check({"topmost": "0"}, {"topmost": "1"}))),
    case("title-outside-code-page", console("move 100,50", check_title_outside_code_pages,
                                            setup=("title-outside-code-pages",)), code_page=True),
    case("buffer", screen("buffer 120,300", check_buffer)),
    case("size", screen("size 60,20", check_size, setup=("scroll",))),
    case("size-past-buffer-end", screen("size 60,30", check_size_past_buffer_end, setup=("scroll-near-end",))),
    case("size-refused-0-0", screen("size 0,0", check_unchanged)),
    case("size-refused-no-height", screen("size 80", check_unchanged)),
    case("size-refused-65535-1", screen("size 65535,1", check_unchanged)),
    case("buffer-refused-smaller-than-window", screen("buffer 10,5", check_unchanged)),
    case("usage-no-command", console("", check_usage, reference=False), code_page=True),
    case("usage-unknown-word", console("bogus", check_usage, reference=False)),
    case("usage-upper-case", console("MIN", check_usage, reference=False)),
    case("usage-trailing-comma", console("top,", check_usage, reference=False)),
    case("close", run_close),
    case("long-path", scripted([helper_run("status.txt", '"%s" move 100,50' % LONG_NAME, "exe=" + TAVRIK,
                                           "out=out.bin")], check_move)),
    # From folders whose names leave ASCII: the bare form only where there is
    # no blank. In code page 932 the second byte of ソ and of 表 is 0x5C, a
    # backslash.
    case("accented-folder", beside_batch("Jos\u00e9", "%~dp0tavrik.exe"), code_page=True),
    case("folder-quoted-in-part", beside_batch("My Tools", '"%~dp0"tavrik.exe'), code_page=True),
    case("sjis-folder", beside_batch("\u30bd\u30d5\u30c8\u8868\u793a", "%~dp0tavrik.exe"), code_page=True),
    case("sjis-folder-blank-quoted", beside_batch("\u30bd\u30d5\u30c8 \u8868\u793a", '"%~dp0tavrik.exe"'),
         code_page=True),
    case("sjis-folder-blank-quoted-in-part", beside_batch("\u8868\u793a \u30bd\u30d5\u30c8", '"%~dp0"tavrik.exe'),
         code_page=True),
    case("two-runs-one-console", console(None, check_two_runs, reference=False, script=two_runs_script())),
    case("ctrl-c-during-search", run_ctrl_c_during_search),
    case("three-runs-no-window", console(None, check_windowless_runs, reference=False,
                                         script=windowless_runs_script(), window=False)),
    case("console-code-page-37", scripted([helper_run("status.txt", TAVRIK + " move 100,50", "out=out.bin",
                                                      "code-page=37")], check_console_code_page)),
    case("window-showing-the-tag", scripted(DECOY_SCRIPT, check_window_showing_the_tag)),
    case("window-showing-the-tag-no-window", scripted(DECOY_SCRIPT, check_window_showing_the_tag_no_window,
                                                      window=False)),
    case("fault", fault("", "tavrik.exe min"), code_page=True),
    case("fault-empty-command-line", fault("tavrik.exe", "")),
    *[case(name, classic_recipe_case(folder), code_page=not folder.isascii())
      for name, folder in CLASSIC_FOLDERS.items()],
    # "Use legacy console": conhost.exe starts nothing, and the batch runs on
    # in the console it was started in.
    case("classic-recipe-legacy-console", classic_recipe_case(r"Work\R&D", where="here", hold=legacy_console)),
    case("classic-recipe-tavrik-beside-the-batch", beside_the_batch),
    # A quoted & and a doubled quote must pass; what becomes of a caret and a
    # percent sign (given as x^y and "5%") is observed, not asserted.
    case("classic-recipe-special-characters",
         classic_recipe_case("tools", arguments='"a&b" "q""q" x^^^^y "5%%%%"', expected_arguments='["a&b"] ["q""q"]',
                             observe_arguments=True)),
    case("conhost-line-folder-with-blanks", conhost_line_case),
    case("version-record-win32", run_version_record),
    case("version-record-exiftool", linux_only(check_exiftool, "exiftool")),
    case("resources-icon", linux_only(check_resources, "wrestool")),
    case("pe-image", linux_only(check_pe_image, "MinGW objdump")),
]


def select(cases, only, code_page):
    """The cases a run is asked for: those named in E2E_ONLY (every name must
    be a case), else those of the code-page pass, else all. Never none."""
    names = [c.name for c in cases]
    duplicates = sorted({name for name in names if names.count(name) > 1})
    if duplicates:
        raise ValueError("cases named twice: %s" % " ".join(duplicates))
    if only:
        unknown = sorted(set(only) - set(names))
        if unknown:
            raise ValueError("E2E_ONLY names no case %s (cases: %s)" % (" ".join(unknown), " ".join(names)))
        chosen = [c for c in cases if c.name in only]
    else:
        chosen = [c for c in cases if c.code_page or not code_page]
    if not chosen:
        raise ValueError("no case to run")
    return chosen


def unrecorded(chosen, results):
    """The cases chosen that recorded no result, or more than one."""
    names = [name for name, _, _ in results]
    return [c.name for c in chosen if names.count(c.name) != 1]


def main():
    # A Windows runner's pipe is in the ANSI code page; a title in a failure
    # message must not end the run before its summary.
    for stream in (sys.stdout, sys.stderr):
        stream.reconfigure(errors="backslashreplace")
    tavrik, helper, artifacts = sys.argv[1:4]
    code_page = os.environ.get("E2E_CODE_PAGE")
    try:
        chosen = select(CASES, os.environ.get("E2E_ONLY", "").split(), code_page)
    except ValueError as error:
        print("e2e: %s" % error)
        return 1
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)
    session = Session(tavrik, helper, artifacts)
    if code_page and not has_code_page(session, code_page, [c.name for c in chosen]):
        return 1

    for c in chosen:
        c.runner(session, c.name)

    if os.environ.get("GITHUB_STEP_SUMMARY"):
        write_summary(session, os.environ["GITHUB_STEP_SUMMARY"], "tavrik end to end, %s%s%s" % (
            platform.platform(terse=True), "" if ON_WINDOWS else " under Wine",
            ", ANSI code page " + code_page if code_page else ""))
    missing = unrecorded(chosen, session.results)
    if missing:
        print("FAIL e2e: no single result for %s" % " ".join(missing))
    print("e2e: " + tally(session))
    return 1 if missing or any(result == FAILED for _, result, _ in session.results) else 0


if __name__ == "__main__":
    sys.exit(main())
