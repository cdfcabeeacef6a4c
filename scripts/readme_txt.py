#!/usr/bin/env python3
"""Makes the plain-text readmes in the release zip, docs/README.txt from
README.md and docs/README.ja.txt from README.ja.md: the Markdown without its
title and the parts marked as not in the download's readme, with CRLF line
ends, no Markdown links or pictures, tables as indented entries, lines
wrapped by display width (a Japanese character takes two columns), and a
UTF-8 byte-order mark on any text beyond ASCII, so no editor has to guess
the encoding. Code is copied byte for byte: a code span stays whole on one
line, bare in English and in 「」 in Japanese, and a code block is indented
with a blank line after it. No line break falls inside a bracketed name
([...]) or between a number and its unit. With --check it writes nothing
and fails when a readme breaks one of these rules, is stale or lacks a
command, or when the two languages have drifted apart: other examples, or
a command word, exit status, program text, checksum or toolchain line that
only one of them holds.
usage: readme_txt.py [--check]"""
import difflib
import os
import re
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH = 76
BOM = "\ufeff"
SKIP_START, SKIP_END = "<!-- not in the download's readme -->", "<!-- end not in the download's readme -->"

# Each language: its Markdown, the readme made from it, how a code span
# stands in a sentence there, and the last lines of that readme, which point
# to what the download leaves out. English has no mark for code that cmd
# would not take as part of it, so a span stands bare and whole; Japanese
# has 「」.
LANGUAGES = [
    ("README.md", "docs/README.txt", "%s",
     ["How tavrik is built and tested: README.md and docs/DEVELOPMENT.md in",
      "the sources of this release, on its page on GitHub."]),
    ("README.ja.md", "docs/README.ja.txt", "「%s」",
     ["ビルドとテストの方法は、このリリースの GitHub のページにあるソースの",
      "README.ja.md、README.md、docs/DEVELOPMENT.md (英語) に書かれています。"]),
]

# Characters that must not start a line (closing marks, small kana) or end
# one (opening marks) in Japanese text.
NO_LINE_START = set("、。，．・：；？！）」』】〕ー…ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ)")
NO_LINE_END = set("（「『【〔(")
# The indent and list marker before a line's text.
LEAD = re.compile(r" *(?:[-*] |\d+\. )?")
# A code span in a line being made, between these two, so that it wraps as
# one atom; neither is ever written.
SPAN_START, SPAN_END = "\x01", "\x02"
# Units that stay on the line of the number before them, and the words that
# stay with a number after them.
UNITS = "ミリ秒|秒|バイト|ビット|行|列|回|個|つ|ms|s|%"
WIDE_RANGES = "\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef"
WIDE, NARROW = "[%s]" % WIDE_RANGES, "[^\\s\x01\x02%s]" % WIDE_RANGES
# What never breaks: a code span; a bracketed name; a number with its unit
# (and 約 before it); a quoted word; a run of narrow characters; one wide
# character. Lines may break at blanks, and between two wide characters.
ATOM = re.compile(r"\s+|\x01[^\x02]*\x02|\[[^\]]{1,60}\]|(?:約 ?)?\d[\d,.]*(?: ?(?:%s))?(?!%s)"
                  r'|"[^"]{1,40}"|(?:(?!\[)%s)+|.' % (UNITS, NARROW, NARROW))


def read(root, name):
    with open(os.path.join(root, name), encoding="utf-8", newline="") as f:
        return f.read()


def width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text
               if c not in (SPAN_START, SPAN_END))


def plain(text):
    return text.replace(SPAN_START, "").replace(SPAN_END, "")


def wrap(line, indent=None):
    """The line as is when it fits, else broken at blanks or between two wide
    characters; continuation lines are indented like the text after a list
    marker, or by `indent` when given. A mark that may not start a line takes
    the atom before it along, and one that may not end a line goes down."""
    if width(line) <= WIDTH:
        return [plain(line)]
    lead = LEAD.match(line).group(0)
    indent = " " * len(lead) if indent is None else indent
    atoms = ATOM.findall(line[len(lead):])
    lines, current = [], [lead]
    for atom in atoms:
        if atom.isspace() or width("".join(current) + atom) <= WIDTH or len(current) == 1:
            if not (atom.isspace() and len(current) == 1):
                current.append(atom)
            continue
        carried = []
        while len(current) > 2 and (current[-1][-1] in NO_LINE_END or atom[0] in NO_LINE_START
                                    and (not carried or carried[0][0] in NO_LINE_START)):
            carried.insert(0, current.pop())
        lines.append("".join(current).rstrip())
        current = [indent] + [a for a in carried if not a.isspace()] + [atom]
    lines.append("".join(current).rstrip())
    return [plain(line) for line in lines]


def inline(text, span_form="%s"):
    """The text of a Markdown line: pictures go, links keep their text, and
    each code span, in the language's form, is marked as one atom."""
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = text.replace("**", "")
    text = re.sub(r"`([^`]*)`", lambda m: SPAN_START + span_form % m.group(1) + SPAN_END, text)
    if not span_form.isascii():
        # 「」 set a span apart already: no blank between it and Japanese text.
        text = re.sub(r"(?<=%s) (?=\x01)|(?<=\x02) (?=%s)" % (WIDE, WIDE), "", text)
    return text


def table(rows, span_form):
    """Each body row as an entry: its first cell, then the others indented,
    labelled with their column's heading from the third column on, or from
    the second in a table of four columns or more, which compares them. A
    cell of nothing but code needs no marks around it; in a sentence, code
    has the language's."""
    def cell(text):
        alone = not re.sub(r"`[^`]*`|[,、\s]", "", text)
        return inline(text, "%s" if alone else span_form)
    cells = [[cell(c.strip()) for c in row.strip().strip("|").split("|")] for row in rows]
    header, body = cells[0], [r for r in cells[1:] if not set("".join(r)) <= set("-: ")]
    first_labelled = 1 if len(header) >= 4 else 2
    out = []
    for row in body:
        out.append(plain(row[0]))
        for index, cell in enumerate(row[1:], 1):
            text = cell if index < first_labelled else "%s: %s" % (header[index], cell)
            out += wrap("    " + text, indent="    ")
        out.append("")
    return out


def convert(markdown, version, span_form, footer):
    title = "tavrik %s" % version
    out = [title, "=" * len(title), ""]
    lines = markdown.strip("\n").split("\n")
    i, skipping, fenced = 0, False, False
    while i < len(lines):
        line = lines[i]
        i += 1
        if line.strip() in (SKIP_START, SKIP_END):
            skipping = line.strip() == SKIP_START
            continue
        if skipping or line.startswith("# "):
            continue
        if line.strip().startswith("```"):
            fenced = not fenced
            if not fenced:
                out.append("")  # a code block never runs into the next item
            continue
        if fenced:
            out.append("    " + line if line.strip() else "")
        elif line.startswith("## "):
            heading = plain(inline(line[3:], span_form))
            out += [heading, "-" * width(heading)]
        elif line.startswith("|"):
            rows = [line]
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(lines[i])
                i += 1
            out += table(rows, span_form)
        elif line.startswith("    "):  # an indented code block stays as it is
            out.append(line.rstrip())
        else:
            out += wrap(inline(line, span_form).rstrip())
    out += [""] + footer
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(out).strip("\n") + "\n").replace("\n", "\r\n")
    return text if text.isascii() else BOM + text


def program_texts(root):
    """The usage text and the fault message, from the program's own source."""
    source = read(root, "app/run.cpp")
    def literal(name):
        body = re.search(r"%s\[\] =((?:\s*\"[^\"]*\")+);" % name, source).group(1)
        return "".join(re.findall(r'"([^"]*)"', body)).replace("\\n", "\n")
    return literal("kUsageText"), literal("kFaultMessage")


def command_words(root):
    source = read(root, "cmdline/parse_command.cpp")
    return re.findall(r'\{"(\w+)", RequestKind::', source)


def problems(text, root, markdown):
    """What a download's readme must never lack or hold."""
    found = []
    unix = text.lstrip(BOM).replace("\r\n", "\n")
    for keyword in command_words(root):
        if not re.search(r"(?m)^%s\b" % keyword, unix):
            found.append("no entry for the command %s" % keyword)
    usage, fault = program_texts(root)
    if "".join(("    " + line if line else "") + "\n" for line in usage.split("\n")[:-1]) not in unix:
        found.append("no copy of the usage text that tavrik prints")
    if fault not in unix:
        found.append("no fault message %r" % fault)
    for bad in ("](", "apt-get", "```"):
        if bad in text:
            found.append("holds %r" % bad)
    lines = unix.split("\n")
    for line in lines:
        body = line[LEAD.match(line).end():]
        code = line.startswith("    ") and line.isascii()  # a code block's, or a table's in English
        if width(line) > WIDTH and not code:
            found.append("a line wider than %d columns: %r" % (WIDTH, line[:40]))
        if not code and (body[:1] in NO_LINE_START or line.rstrip()[-1:] in NO_LINE_END):
            found.append("a line that starts or ends with a mark that may not: %r" % line[:40])
        if line.count("[") > line.count("]"):
            found.append("a bracketed name broken across lines: %r" % line[-40:])
    for line, following in zip(lines, lines[1:]):
        if (re.search(r"(?:(?:^|[^\w.])\d[\d,.]*|約)$", line.rstrip()) and
                re.match(r" *(?:\d|(?:%s)(?!%s))" % (UNITS, NARROW), following)):
            found.append("a number split from its unit: %r / %r" % (line[-20:], following.strip()[:20]))
    for span in code_spans(markdown):
        if not any(span in line for line in lines):
            found.append("the code span %r is not whole on one line" % span)
        elif unix.count('"%s"' % span) > markdown.count('"%s"' % span):
            found.append("the code span %r has gained quotes" % span)
    if "\n" in text.replace("\r\n", ""):
        found.append("a line end that is not CRLF")
    if not text.lstrip(BOM).isascii() and not text.startswith(BOM):
        found.append("text beyond ASCII without a UTF-8 byte-order mark")
    return found


def code_spans(markdown):
    """The code spans of the part of a Markdown text that the download's
    readme holds, code blocks aside."""
    spans, skipping, fenced = [], False, False
    for line in markdown.split("\n"):
        if line.strip() in (SKIP_START, SKIP_END):
            skipping = line.strip() == SKIP_START
        elif line.strip().startswith("```"):
            fenced = not fenced
        elif not (skipping or fenced or line.startswith("    ")):
            spans += re.findall(r"`([^`]+)`", line)
    return spans


# A package and its version in the list of the toolchain that made the
# published bytes (the release scripts read the list from README.md too).
TOOLCHAIN_LINE = re.compile(r"(?m)^ {4,}(\S*mingw-w64\S*) (\S+)$")
# What both languages must hold alike: the code blocks, in order, and each
# kind of fact, as the things of that kind that a Markdown text holds.
EXAMPLE = re.compile(r"(?ms)^ *```[^\n]*\n(.*?)^ *```")
FACTS = [
    ("command word", lambda md, root: [w for w in command_words(root) if "`%s" % w in md]),
    ("exit status", lambda md, root: re.findall(r"(?m)^- `(-?\d+)`", md)),
    ("program text", lambda md, root: [t.strip() for t in program_texts(root) if t.strip() in md]),
    ("checksum", lambda md, root: re.findall(r"\b[0-9a-f]{64}\b", md)),
    ("toolchain line", lambda md, root: [" ".join(line) for line in TOOLCHAIN_LINE.findall(md)]),
]


def drift(markdowns, root):
    """Examples that differ or stand in another order, and facts that one
    language holds and the other does not."""
    (first_name, first), (second_name, second) = markdowns
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


def check(root, write=False):
    """Every problem with the readmes under root; with write, the readmes
    are written first, so only problems of the Markdown itself remain."""
    version = re.search(r'#define TAVRIK_VERSION_TEXT "(.*)"', read(root, "res/version.h")).group(1)
    found, markdowns = [], []
    for source, target, span_form, footer in LANGUAGES:
        markdown = read(root, source)
        markdowns.append((source, markdown))
        text = convert(markdown, version, span_form, footer)
        path = os.path.join(root, target)
        if write:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
        current = read(root, target) if os.path.exists(path) else ""
        if current != text:
            sys.stdout.writelines(difflib.unified_diff(current.splitlines(True), text.splitlines(True),
                                                       target, "from " + source, n=1))
            found.append("%s is not what %s gives: run scripts/readme_txt.py" % (target, source))
        # The file as it stands is what a release would ship.
        found += ["%s: %s" % (target, problem) for problem in problems(current, root, markdown)]
    return found + drift(markdowns, root)


def main():
    found = check(ROOT, write="--check" not in sys.argv[1:])
    for problem in found:
        print("readmes: " + problem)
    print("readmes: %s" % ("ok" if not found else "%d problem(s)" % len(found)))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
