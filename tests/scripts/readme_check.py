#!/usr/bin/env python3
"""The release's gate on the download's documents: each .txt must be what
scripts/readme_txt.py makes from its Markdown now; the readme must hold an
entry for every command word, the usage text and the fault message as the
program's source has them; and the two languages of each document must
hold the same examples in the same order and the same facts (command
words, exit statuses, program texts, checksums, toolchain lines). What is
read from the program's source must be found there: a source laid out
otherwise stops the check instead of passing it.
usage: readme_check.py   (prints each problem, then ok or a count)"""
import difflib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import readme_txt  # noqa: E402
from readme_txt import read  # noqa: E402

# The documents whose languages must agree, and the readmes that must hold
# the commands and the program's texts.
PAIRS = [("README.md", "README.ja.md"), ("docs/GUIDE.md", "docs/GUIDE.ja.md")]
READMES = ["docs/README.txt", "docs/README.ja.txt"]


class SourceChanged(Exception):
    """The program's source no longer reads the way this check expects."""


def found_in_source(name, found, what):
    if not found:
        raise SourceChanged("found no %s in %s: read it the way the file is now laid out" % (what, name))
    return found


def command_words(root):
    """The word of each row of the command table, kCommands: every row must
    begin with its word, or the check stops."""
    name = "cmdline/parse_command.cpp"
    table = found_in_source(name, re.search(r"\bkCommands\[\]\s*=\s*\{(.*?)\n\s*\};", read(root, name), re.S),
                            "command table (kCommands)")
    words = []
    for row in found_in_source(name, re.findall(r"\{([^{}]*)\}", table.group(1)), "command words"):
        words.append(found_in_source(name, re.match(r'\s*"(\w+)"\s*,', row), "word in the row {%s}" % row).group(1))
    return words


def program_texts(root):
    """The usage text and the fault message, from the program's own source."""
    source = read(root, "app/run.cpp")
    texts = []
    for name in ("kUsageText", "kFaultMessage"):
        body = found_in_source("app/run.cpp", re.search(r"\b%s\[\]\s*=((?:\s*\"[^\"]*\")+)\s*;" % name, source),
                               name)
        texts.append("".join(re.findall(r'"([^"]*)"', body.group(1))).replace("\\n", "\n"))
    return texts


def content(text, root):
    """What a download's readme must never lack."""
    found = []
    unix = text.lstrip(readme_txt.BOM).replace("\r\n", "\n")
    for keyword in command_words(root):
        # A table's entry: the word, perhaps its numbers, then an indented cell.
        if not re.search(r"(?m)^%s(?: [^\n]*)?\n    \S" % keyword, unix):
            found.append("no entry for the command %s" % keyword)
    usage, fault = program_texts(root)
    if "".join(("    " + line if line else "") + "\n" for line in usage.split("\n")[:-1]) not in unix:
        found.append("no copy of the usage text that tavrik prints")
    if fault not in unix:
        found.append("no fault message %r" % fault)
    return found


# What both languages must hold alike: the code blocks, in order, and each
# kind of fact, as the things of that kind that a Markdown text holds.
EXAMPLE = re.compile(r"(?ms)^ *```[^\n]*\n(.*?)^ *```")
FACTS = [
    ("command word", lambda md, root: [w for w in command_words(root) if "`%s" % w in md]),
    ("exit status", lambda md, root: re.findall(r"(?m)^- `(-?\d+)`", md)),
    ("program text", lambda md, root: [t.strip() for t in program_texts(root) if t.strip() in md]),
    ("checksum", lambda md, root: re.findall(r"\b[0-9a-f]{64}\b", md)),
    ("toolchain line", lambda md, root: [" ".join(line) for line in readme_txt.toolchain(md)]),
]


def drift(first_name, first, second_name, second, root):
    """Examples that differ or stand in another order, and facts that one
    language holds and the other does not."""
    found = []
    ours, theirs = EXAMPLE.findall(first), EXAMPLE.findall(second)
    for index, (a, b) in enumerate(zip(ours, theirs), 1):
        if a != b:
            found.append("example %d differs between %s and %s: %r against %r"
                         % (index, first_name, second_name, a.strip()[:60], b.strip()[:60]))
            break
    if len(ours) != len(theirs):
        found.append("%s has %d examples, %s has %d" % (first_name, len(ours), second_name, len(theirs)))
    for kind, extract in FACTS:
        ours, theirs = set(extract(first, root)), set(extract(second, root))
        for name, have, lack in ((first_name, ours, theirs), (second_name, theirs, ours)):
            for fact in sorted(have - lack):
                found.append("the %s %r is only in %s" % (kind, fact, name))
    return found


def check(root):
    """Every problem with the download's documents under root."""
    found = []
    for source, target, text in readme_txt.generate(root):
        current = read(root, target) if os.path.exists(os.path.join(root, target)) else ""
        if current != text:
            sys.stdout.writelines(difflib.unified_diff(current.splitlines(True), text.splitlines(True),
                                                       target, "from " + source, n=1))
            found.append("%s is not what %s gives: run scripts/readme_txt.py" % (target, source))
        for bad in ("](", "apt-get", "```"):
            if bad in current:
                found.append("%s holds %r" % (target, bad))
        if target in READMES:
            found += ["%s: %s" % (target, problem) for problem in content(current, root)]
    for first, second in PAIRS:
        found += drift(first, read(root, first), second, read(root, second), root)
    return found


def main():
    try:
        found = check(ROOT)
    except SourceChanged as error:
        found = [str(error)]
    for problem in found:
        print("readmes: " + problem)
    print("readmes: %s" % ("ok" if not found else "%d problem(s)" % len(found)))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
