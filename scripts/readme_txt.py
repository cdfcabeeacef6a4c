#!/usr/bin/env python3
"""Makes docs/README.txt, the plain-text readme in the release zip, from the
user part of README.md (from its '---' line to "Building and testing"), so
the two cannot drift: CRLF line ends, no Markdown links or pictures, tables
as indented entries. With --check it writes nothing and fails when
docs/README.txt is not what README.md gives, or lacks a command.
usage: readme_txt.py [--check]"""
import difflib
import os
import re
import sys
import textwrap

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGET = os.path.join(ROOT, "docs", "README.txt")
WIDTH = 76
SKIP_START, SKIP_END = "<!-- not in README.txt -->", "<!-- end not in README.txt -->"


def code(match):
    """A code span: in double quotes where it has blanks (so a command reads
    apart from the sentence around it), bare otherwise."""
    span = match.group(1)
    return '"%s"' % span if " " in span and '"' not in span else span


def inline(text, quote=True):
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)        # pictures go
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)    # links keep their text
    return re.sub(r"`([^`]*)`", code if quote else r"\1", text).replace("**", "")


def table(rows):
    """Each body row as an entry: its first cell, then the others indented,
    labelled with their column's heading from the third column on, or from
    the second in a table of four columns or more, which compares them. A
    cell holds one thing, so its code needs no quotes."""
    cells = [[inline(c.strip(), quote=False) for c in row.strip().strip("|").split("|")] for row in rows]
    header, body = cells[0], [r for r in cells[1:] if not set("".join(r)) <= set("-: ")]
    first_labelled = 1 if len(header) >= 4 else 2
    out = []
    for row in body:
        out.append(row[0])
        for index, cell in enumerate(row[1:], 1):
            text = cell if index < first_labelled else "%s: %s" % (header[index], cell)
            out += textwrap.wrap(text, WIDTH, initial_indent="    ", subsequent_indent="    ",
                                 break_on_hyphens=False)
        out.append("")
    return out


def convert(markdown, version):
    part = markdown.split("\n---\n", 1)[1].split("\n## Building and testing", 1)[0]
    title = "tavrik %s" % version
    out = [title, "=" * len(title), ""]
    lines = part.strip("\n").split("\n")
    i, skipping, fenced = 0, False, False
    while i < len(lines):
        line = lines[i]
        i += 1
        if line.strip() in (SKIP_START, SKIP_END):
            skipping = line.strip() == SKIP_START
            continue
        if skipping:
            continue
        if line.strip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            out.append("    " + line if line.strip() else "")
        elif line.startswith("## "):
            heading = inline(line[3:])
            out += [heading, "-" * len(heading)]
        elif line.startswith("|"):
            rows = [line]
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(lines[i])
                i += 1
            out += table(rows)
        else:
            out.append(inline(line).rstrip())
    out += ["", "Sources and build instructions: the release's sources, published with",
            "it (README.md)."]
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(out).strip("\n") + "\n")
    return text.replace("\n", "\r\n")


def problems(text):
    """What a download's readme must never lack or hold."""
    found = []
    source = open(os.path.join(ROOT, "cmdline", "parse_command.cpp")).read()
    for keyword in re.findall(r'\{"(\w+)", RequestKind::', source):
        if not re.search(r"(?m)^%s\b" % keyword, text.replace("\r\n", "\n")):
            found.append("no entry for the command %s" % keyword)
    for bad in ("](", "apt-get", "```"):
        if bad in text:
            found.append("holds %r" % bad)
    if "\n" in text.replace("\r\n", ""):
        found.append("a line end that is not CRLF")
    return found


def main():
    markdown = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    version = re.search(r'#define TAVRIK_VERSION_TEXT "(.*)"', open(os.path.join(ROOT, "res", "version.h")).read())
    text = convert(markdown, version.group(1))
    found = problems(text)
    if "--check" not in sys.argv[1:]:
        with open(TARGET, "w", encoding="utf-8", newline="") as f:
            f.write(text)
    else:
        current = open(TARGET, encoding="utf-8", newline="").read() if os.path.exists(TARGET) else ""
        if current != text:
            sys.stdout.writelines(difflib.unified_diff(current.splitlines(True), text.splitlines(True),
                                                       "docs/README.txt", "from README.md", n=1))
            found.append("docs/README.txt differs from README.md's user part: run scripts/readme_txt.py")
    for problem in found:
        print("README.txt: " + problem)
    print("README.txt: %s" % ("ok" if not found else "%d problem(s)" % len(found)))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
