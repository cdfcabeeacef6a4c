#!/usr/bin/env python3
"""Runs batch lines in a console window of their own, through the console
helper's console verb: the one way the end-to-end suite, the benchmark and
the scripts that show tavrik at work (scripts/build.sh, bench.sh,
screenshots.sh) open a console. Windows runs the helper itself, Linux
through Wine (in a session that scripts/wine-session.sh started).
usage: console_batch.py HELPER_EXE DIR NAME SECONDS LINE...
  writes DIR/NAME.bat (CRLF, "@echo off" first), runs it, waits, and prints
  the batch's exit status (124: still running after SECONDS, ended; 125:
  it could not be started)"""
import os
import subprocess
import sys

LAUNCH = [] if os.name == "nt" else ["wine"]


def write_batch(path, lines):
    """A batch file of the lines, CRLF, ASCII. %ERRORLEVEL% goes on a line
    of its own: within one line cmd expands it before the line runs."""
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


def read_report(path):
    """A key=value report as a dict; None when there is none."""
    if not os.path.exists(path):
        return None
    report = {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            key, _, value = line.partition("=")
            report[key] = value
    return report


def start(helper, where, name, lines, seconds, window=True, output=None):
    """Starts NAME.bat in DIR in a console of its own (with no window at all
    when window is False) and returns the launcher's process; its report is
    NAME.status.txt, its own messages go to output (a file), or are ours."""
    write_batch(os.path.join(where, name + ".bat"), ["@echo off"] + list(lines))
    args = ["console", name + ".status.txt", name + ".bat", str(seconds)] + ([] if window else ["no-window"])
    return subprocess.Popen(LAUNCH + [os.path.abspath(helper)] + args, cwd=where, stdin=subprocess.DEVNULL,
                            stdout=output, stderr=output)


def status(where, name):
    """The batch's exit status as the launcher reported it, or None."""
    return (read_report(os.path.join(where, name + ".status.txt")) or {}).get("status")


def run(helper, where, name, lines, seconds, window=True):
    """Runs the batch, waits for it and returns its exit status, or None when
    the launcher did not report."""
    start(helper, where, name, lines, seconds, window).wait()
    return status(where, name)


def main(argv):
    if len(argv) < 5:
        sys.exit("usage: " + __doc__.split("usage: ", 1)[1])
    helper, where, name, seconds, lines = argv[0], argv[1], argv[2], argv[3], argv[4:]
    print(run(helper, where, name, lines, int(seconds)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
