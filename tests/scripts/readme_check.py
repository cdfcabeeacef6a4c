#!/usr/bin/env python3
"""The release's gate on the download's documents: each .txt must be what
scripts/readme_txt.py makes from its Markdown now; the readmes must hold an
entry for every command word the program's table has, its exit statuses,
and the usage text and fault message as tests/expected/ holds them (the
texts every check compares tavrik's output with); and the two languages of
each document must hold the same examples in the same order and the same
facts. Each kind of fact a document must hold is required, not just
compared: a readme in which the check finds none fails it, so a fact
written in a form the check cannot read never passes as agreement.
usage: readme_check.py   (prints each problem, then ok or a count)"""
import difflib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import readme_txt  # noqa: E402
from readme_txt import DOCUMENTS, read  # noqa: E402

# The statuses tavrik exits with: done, no console window, and Ctrl+C
# during the window search (STATUS_CONTROL_C_EXIT as cmd shows it).
EXIT_STATUSES = {"0", "1", "-1073741510"}


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
    """The usage text and the fault message, as tests/expected/ holds them."""
    texts = [read(root, "tests/expected/" + name) for name in ("usage.txt", "fault.txt")]
    if not all(texts):
        raise SourceChanged("tests/expected/ lacks the usage text or the fault message")
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


def words_in(md, root):
    """The command words a text names in a code span of their own: the word,
    the word and its numbers, or a tavrik command line (so top is not found
    in topmost)."""
    return [w for w in command_words(root) if re.search(r"`(?:tavrik )?%s[` ]" % re.escape(w), md)]


def statuses_in(md, root):
    """The exit statuses a text lists: a list entry whose first code span
    is a whole number, in whatever words the entry begins."""
    return re.findall(r"(?m)^- [^`\n]*`(-?\d+)`", md)


# What both languages must hold alike: the code blocks, in order, and each
# kind of fact, as the things of that kind that a Markdown text holds, and
# what each kind of document must hold of it (None: any one or more).
EXAMPLE = re.compile(r"(?ms)^ *```[^\n]*\n(.*?)^ *```")
FACTS = [
    ("command word", words_in, {"readme": lambda root: set(command_words(root))}),
    ("exit status", statuses_in, {"readme": lambda root: EXIT_STATUSES}),
    ("program text", lambda md, root: [t.strip() for t in program_texts(root) if t.strip() in md],
     {"readme": lambda root: {t.strip() for t in program_texts(root)}}),
    ("checksum", lambda md, root: re.findall(r"\b[0-9a-f]{64}\b", md), {"readme": None}),
    ("toolchain line", lambda md, root: [" ".join(line) for line in readme_txt.toolchain(md)], {"guide": None}),
]


def lacking(name, kind, md, root):
    """The facts a document of its kind must hold and does not."""
    found = []
    for fact, extract, needs in FACTS:
        if kind not in needs:
            continue
        have, required = set(extract(md, root)), needs[kind]
        wanted = required(root) if required else set()
        if required is None and not have:
            found.append("%s holds no %s that the check can read" % (name, fact))
        for missing in sorted(wanted - have):
            found.append("%s lacks the %s %r" % (name, fact, missing))
    return found


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
    for kind, extract, _ in FACTS:
        ours, theirs = set(extract(first, root)), set(extract(second, root))
        for name, have, lack in ((first_name, ours, theirs), (second_name, theirs, ours)):
            for fact in sorted(have - lack):
                found.append("the %s %r is only in %s" % (kind, fact, name))
    return found


def broken_phrases(filled):
    """Where a line of a Japanese document breaks a phrase that BudouX keeps
    together, in a phrase no wider than a line: filled holds each filled
    text and its lines, as the generator made them."""
    found = []
    for (text, lines), parts in zip(filled, readme_txt.phrases([text for text, _ in filled])):
        bounds, at = {0}, 0
        for part in parts:
            at += len(part)
            bounds.add(at)
        at = 0
        for number, line in enumerate(lines):
            while text[at:at + 1] == " ":
                at += 1
            if text[at:at + len(line)] != line:
                raise SourceChanged("the filled line %r is not in its text %r" % (line, text))
            if number and at not in bounds and not (text[at - 1] == " " and at - 1 in bounds):
                start = max(b for b in bounds if b < at)
                phrase = parts[sorted(bounds).index(start)]
                if readme_txt.width(phrase) <= readme_txt.WIDTH - 4:
                    found.append("%s｜%s" % (text[max(at - 12, 0):at].rstrip(), text[at:at + 12]))
            at += len(line)
    return found


# What no copy in the zip may hold: a link, a build step, a fence, the name
# of a document the zip does not hold, the repository's placeholder.
FOREIGN = ["](", "apt-get", "```", "README.md", "README.ja.md", "GUIDE.md", "GUIDE.ja.md", readme_txt.PLACEHOLDER]


def check(root):
    """Every problem with the download's documents under root."""
    found = []
    filled = {}
    for document, (source, target, text) in zip(DOCUMENTS, readme_txt.generate(root, filled)):
        current = read(root, target) if os.path.exists(os.path.join(root, target)) else ""
        if current != text:
            sys.stdout.writelines(difflib.unified_diff(current.splitlines(True), text.splitlines(True),
                                                       target, "from " + source, n=1))
            found.append("%s is not what %s gives: run scripts/readme_txt.py" % (target, source))
        for bad in FOREIGN:
            if bad in current:
                found.append("%s holds %r" % (target, bad))
        if document.language == "ja":
            if not filled[target]:
                raise SourceChanged("the generator recorded no filled line of %s: no break can be checked" % target)
            found += ["%s breaks a phrase: %s" % (target, where) for where in broken_phrases(filled[target])]
        if document.kind == "readme":
            found += ["%s: %s" % (target, problem) for problem in content(current, root)]
        found += lacking(source, document.kind, read(root, source), root)
    kinds = sorted({d.kind for d in DOCUMENTS})
    for kind in kinds:
        pair = [d.source for d in DOCUMENTS if d.kind == kind]
        if len(pair) != 2:
            raise SourceChanged("the documents of kind %s are %s, not one in each language" % (kind, pair))
        found += drift(pair[0], read(root, pair[0]), pair[1], read(root, pair[1]), root)
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
