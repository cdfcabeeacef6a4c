#!/usr/bin/env python3
"""Prints how soon a new console title shows as the console window's caption
(caption_latency.exe, in a console window of its own from the console
helper), on Windows or under Wine, in rounds 50 ms apart as a script's
runs meet an idle console. That delay decides whether tavrik's first
window search hits or pays a 100 ms pause. It asserts nothing.
usage: caption.py HELPER_EXE DIR [ROUNDS]   (DIR holds caption_latency.exe;
caption.txt is left there; with GITHUB_STEP_SUMMARY set, the line is appended
to that file too)"""
import os
import sys

from start_to_exit import console_batch, report, where_measured


def main():
    helper, where = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    result = os.path.join(where, "caption.txt")
    if os.path.exists(result):
        os.remove(result)
    console_batch.run(helper, where, "caption", ["caption_latency.exe %d > caption.txt" % rounds], 300)
    if os.path.exists(result):
        with open(result, encoding="ascii", errors="replace") as f:
            figures = f.read().strip()
    else:
        figures = "caption_latency.exe did not report"
    report(["caption latency, one console window, %s:" % where_measured(), "  " + figures])


if __name__ == "__main__":
    main()
