#!/usr/bin/env python3
"""Times tavrik.exe from process start to exit against floors built with the
same toolchain, alternating in one console window (A B C D E, A B C D E,
...), and prints the figures. Runs on Windows, or under Wine in a session
that scripts/bench.sh starts; the console comes from the console helper,
as in the end-to-end suite. It asserts nothing.
usage: start_to_exit.py HELPER_EXE DIR ROUNDS
DIR holds tavrik.exe, proc_timer.exe and the floors; times.txt is left there.
With GITHUB_STEP_SUMMARY set, the figures are appended to that file too."""
import os
import platform
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e"))
import console_batch  # noqa: E402

PROGRAMS = [("tavrik.exe move 10,10", "tavrik.exe move 10,10"),
            ("noop_user32.exe", "noop_user32.exe (one USER32 call)"),
            ("noop.exe", "noop.exe (does nothing)"),
            ("direct_move.exe", "direct_move.exe (no title search)"),
            ("title_swap.exe", "title_swap.exe (title set and put back)")]


def read_times(path):
    """{command index: [(round, ms, exit status)]}; ms < 0 when it did not start."""
    runs = {}
    with open(path) as f:
        for line in f:
            round_, command, ms, status = line.split()
            runs.setdefault(int(command), []).append((int(round_), float(ms), int(status)))
    return runs


def report(lines):
    """Prints the figures and, on a GitHub workflow run, appends them to the
    run's summary page as they are printed."""
    print("\n".join(lines))
    if os.environ.get("GITHUB_STEP_SUMMARY"):
        with open(os.environ["GITHUB_STEP_SUMMARY"], "a", encoding="utf-8") as f:
            f.write("```text\n%s\n```\n\n" % "\n".join(lines))


def where_measured():
    return "%s%s" % (platform.platform(terse=True), "" if os.name == "nt" else " under Wine")


def main():
    helper, where, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    commands = " ".join('"%s"' % command for command, _ in PROGRAMS)
    console_batch.run(helper, where, "times", ["proc_timer.exe times.txt %d %s" % (rounds, commands)], 900)
    runs = read_times(os.path.join(where, "times.txt"))

    lines = ["start-to-exit time (ms), %d rounds, one console window, %s:" % (len(runs[0]), where_measured())]
    for index, (_, name) in enumerate(PROGRAMS):
        started = [(ms, status) for _, ms, status in runs[index] if ms >= 0]
        times = [ms for ms, _ in started]
        failed = len(runs[index]) - len(started)  # CreateProcess refused: left out
        lines.append("  %-42s median %7.2f   min %7.2f   max %7.2f   exit %s%s" % (
            name, statistics.median(times), min(times), max(times), sorted({s for _, s in started}),
            "   (%d failed to start)" % failed if failed else ""))
    for other in range(1, len(PROGRAMS)):
        ratios = [a[1] / b[1] for a, b in zip(runs[0], runs[other]) if a[1] > 0 and b[1] > 0]
        lines.append("  median of pairwise ratios tavrik / %-18s %.3f"
                     % (PROGRAMS[other][0], statistics.median(ratios)))
    report(lines)


if __name__ == "__main__":
    main()
