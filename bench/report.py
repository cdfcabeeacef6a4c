#!/usr/bin/env python3
"""Prints the benchmark figures that scripts/bench.sh collected, besides the
start-to-exit times that start_to_exit.py prints.
usage: report.py SESSION_DIR WINDOWS_BUILD NATIVE_BUILD"""
import json
import os
import platform
import re
import subprocess
import sys

from start_to_exit import read_times

session, win, native = sys.argv[1:4]


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, %d cores, %s, %s" % (cpu, os.cpu_count(), platform.platform(terse=True), wine)


print("machine: " + machine())
print()

with open(os.path.join(session, "relay.log"), errors="replace") as f:
    relay = f.read()
# Calls by the thread that searched, so cmd's own calls are left out.
calls = re.findall(r"^([0-9a-f]+):Call (?:user32|KERNEL32)\.(\w+)\(", relay, re.M)
searchers = {thread for thread, name in calls if name == "FindWindowExW"}
counted = [name for thread, name in calls if thread in searchers]
title_calls = ", ".join("%s %d" % (name, counted.count(name)) for name in
                        ("GetConsoleTitleW", "GetConsoleTitleA", "SetConsoleTitleA", "SetConsoleTitleW"))
print("locator: %d FindWindowExW, %d GetAncestor, %d Sleep call(s); title calls: %s; in one run (Wine relay trace)"
      % (counted.count("FindWindowExW"), counted.count("GetAncestor"), counted.count("Sleep"), title_calls))

fault = read_times(os.path.join(session, "fault.txt"))[0]
print("fault path (no console window): %s ms, exit %s" % (
    ", ".join("%.0f" % ms for _, ms, _ in fault), sorted({s for _, _, s in fault})))

print()
print("file size (bytes) and imports:")
for path in ("tavrik.exe", "bench/noop.exe", "bench/noop_resources.exe", "bench/noop_user32.exe",
             "bench/direct_move.exe", "bench/title_swap.exe"):
    full = os.path.join(win, path)
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", full], capture_output=True, text=True).stdout
    dlls = [line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line]
    print("  %-28s %7d   %s" % (os.path.basename(path), os.path.getsize(full), ", ".join(dlls)))
print("  tavrik.exe - noop.exe: %d bytes; tavrik.exe - noop_resources.exe: %d bytes" % (
    os.path.getsize(os.path.join(win, "tavrik.exe")) - os.path.getsize(os.path.join(win, "bench/noop.exe")),
    os.path.getsize(os.path.join(win, "tavrik.exe")) - os.path.getsize(os.path.join(win, "bench/noop_resources.exe"))))

bench = os.path.join(native, "bench", "parse_command_bench")
result = json.loads(subprocess.run([bench, "--benchmark_format=json", "--benchmark_min_time=1"],
                                   capture_output=True, text=True, check=True).stdout)
per_second = result["benchmarks"][0]["items_per_second"]
print()
print("parse_command (native, optimised build): %.1f ns per line" % (1e9 / per_second))

repeat = 10000
out = os.path.join(native, "callgrind.out")
subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
                "--toggle-collect=parse_command(char const*)", bench, "--repeat", str(repeat)],
               capture_output=True, check=True)
totals = subprocess.run(["callgrind_annotate", out], capture_output=True, text=True, check=True).stdout
instructions = int(re.search(r"([\d,]+)\s+\(100\.0%\)\s+PROGRAM TOTALS", totals).group(1).replace(",", ""))
print("parse_command (native): %.0f instructions per line (callgrind, %d lines)" % (
    instructions / (repeat * 6), repeat * 6))
