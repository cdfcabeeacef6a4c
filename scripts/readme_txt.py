#!/usr/bin/env python3
"""Makes the zip's plain-text docs (docs/*.txt) from README.md, README.ja.md
and docs/GUIDE*.md: CRLF, no links or pictures, tables as entries with each
cell under its heading, lines of at most 76 columns (a Japanese character
takes two), a UTF-8 BOM on text beyond ASCII, code byte for byte, and the
zip's own names for the documents. English lines break at blanks; Japanese
lines only between the phrases BudouX finds (scripts/phrases.js), or, in a
phrase wider than a line, at a blank or before a bracket. Neither breaks
inside a code span or a bracketed name (a Windows setting). Each .txt is a
template for release/pack.py: ${repository} is owner/name, $$ a dollar.
usage: readme_txt.py [--toolchain (prints the guide's toolchain lines)
                     | --list (prints the .txt files, one a line)]
Their checks: tests/scripts/readme_check.py."""
import collections
import json
import os
import re
import subprocess
import sys
import unicodedata

import version

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH = 76
BOM = "\ufeff"
SKIP_START, SKIP_END = "<!-- not in the download's readme -->", "<!-- end not in the download's readme -->"
HOME = "https://github.com/${repository}"
# The placeholder a command in the Markdown carries for the repository; the
# zip's copies have it filled in.
PLACEHOLDER = "<owner>/<repo>"

# Each document: its Markdown, its .txt, its language and kind (the two
# languages of a kind must agree), how a code span stands in a sentence
# (bare and whole in English; Japanese has 「」), its last lines. The one
# list of the download's documents: the checks and the release read it.
Document = collections.namedtuple("Document", "source target language kind span_form footer")
DOCUMENTS = [
    Document("README.md", "docs/README.txt", "en", "readme", "%s",
             ["The guide, GUIDE.txt, has the details and the source of each Windows fact.",
              "Sources, releases and issues: " + HOME]),
    Document("README.ja.md", "docs/README.ja.txt", "ja", "readme", "「%s」",
             ["詳しい説明と、Windows に関する各事項の出典は、ガイド (GUIDE.ja.txt) にあります。",
              "ソース、リリース、問題の報告: " + HOME]),
    Document("docs/GUIDE.md", "docs/GUIDE.txt", "en", "guide", "%s", ["Sources, releases and issues: " + HOME]),
    Document("docs/GUIDE.ja.md", "docs/GUIDE.ja.txt", "ja", "guide", "「%s」", ["ソース、リリース、問題の報告: " + HOME]),
]
# A document's Markdown name, in prose, becomes the name its copy has in the zip.
ZIP_NAMES = re.compile(r"\b(?:docs/)?(README|GUIDE)(\.ja)?\.md\b")

SPAN_START, SPAN_END = "\x01", "\x02"  # around a code span while it is wrapped; never written
# Kept whole in English: a code span, a bracketed name, a quoted word, a
# number and its unit.
ENGLISH_PIECE = re.compile(r'\s+|\x01[^\x02]*\x02|\[[^\]]{1,60}\]|"[^"]{1,40}"|\d[\d,.]* ?(?:ms|s|%)(?![\w%])'
                           r"|[^\s\x01\x02]+")
LEAD = re.compile(r" *(?:[-*] |\d+\. )?")
# Where no Japanese line may begin or end, whatever the phrases.
NO_LINE_START = set("、。，．・：；？！）」』】〕…)]")
NO_LINE_END = set("（「『【〔([")

plain = lambda text: text.replace(SPAN_START, "").replace(SPAN_END, "")  # noqa: E731


def width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in plain(text))


PHRASES = {}  # text: its phrases, as BudouX found them in this process


def phrases(texts):
    """BudouX's phrases of each text, from one run of scripts/phrases.js for
    those not met before."""
    new = sorted(set(texts) - set(PHRASES))
    if new:
        try:
            done = subprocess.run(["node", os.path.join(ROOT, "scripts", "phrases.js")], check=True,
                                  capture_output=True, input=json.dumps(new).encode("utf-8"))
        except (OSError, subprocess.CalledProcessError) as error:
            raise SystemExit("BudouX did not run (%s): run scripts/install-deps.sh" % error)
        found = json.loads(done.stdout.decode("utf-8"))
        if len(found) != len(new) or any("".join(parts) != text for text, parts in zip(new, found)):
            raise SystemExit("BudouX's phrases do not make up the texts they were found in")
        PHRASES.update(zip(new, found))
    return [PHRASES[text] for text in texts]


def protected(text):
    """The positions of text (with span marks) where no line may break: in
    a code span, and in a bracketed name no wider than three quarters of
    a line (a longer one breaks between its phrases)."""
    inside, span, opened = set(), False, None
    for i, c in enumerate(text):
        if c == SPAN_START:
            span = True
        elif c == SPAN_END:
            span = False
        elif not span and c == "[":
            opened = i
        elif not span and c == "]" and opened is not None:
            if width(text[opened:i + 1]) <= WIDTH * 3 // 4:
                inside.update(range(opened + 1, i + 1))
            opened = None
        if span:
            inside.add(i + 1)
    return inside


def split_at(text, cuts):
    """text cut at the given positions; the blanks at a cut stand alone."""
    pieces, last = [], 0
    for cut in sorted(set(cuts)) + [len(text)]:
        if cut > last:
            pieces.append(text[last:cut])
            last = cut
    out = []
    for piece in pieces:
        stripped = piece.lstrip(" ")
        if stripped != piece:
            out.append(" ")
        if stripped:
            out.append(stripped)
    return out


def may_cut(text, i, inside):
    """Whether a line may end before text[i]."""
    before, after = plain(text[:i]).rstrip(" ")[-1:], plain(text[i:]).lstrip(" ")[:1]
    return (0 < i < len(text) and i not in inside and after not in NO_LINE_START and before not in NO_LINE_END
            and before != "")


def japanese_pieces(text, parts):
    """The pieces of a marked Japanese text: its BudouX phrases, merged where
    a cut is not allowed; a piece wider than a line is cut again at its
    blanks or before its brackets."""
    # Positions in the marked text of each plain character.
    where = [i for i, c in enumerate(text) if c not in (SPAN_START, SPAN_END)] + [len(text)]
    inside, cuts, at = protected(text), [], 0
    for part in parts[:-1]:
        at += len(part)
        cut = where[at]
        # A span's marks go with the span: its start with the piece after the
        # cut, its end with the piece before.
        while cut > 0 and text[cut - 1] == SPAN_START:
            cut -= 1
        while cut < len(text) and text[cut] == SPAN_END:
            cut += 1
        if may_cut(text, cut, inside):
            cuts.append(cut)
    pieces = []
    for piece in split_at(text, cuts):
        if width(piece) <= WIDTH or piece == " ":
            pieces.append(piece)
            continue
        again = protected(piece)
        pieces += split_at(piece, [i for i, c in enumerate(piece) if c in " [(" and may_cut(piece, i, again)])
    return pieces


def english_pieces(text):
    """The pieces of a marked English text: what stands between blanks,
    with what must stay whole kept so."""
    pieces = []
    for token in ENGLISH_PIECE.findall(text):
        if token.isspace():
            pieces.append(" ")
        elif pieces and pieces[-1] != " ":
            pieces[-1] += token
        else:
            pieces.append(token)
    return pieces


class Fill:
    """A prose line to fill, once its pieces are known: continuation lines
    are indented like the text after a list marker, or by indent."""
    def __init__(self, line, indent=None):
        self.lead = LEAD.match(line).group(0)
        self.text = line[len(self.lead):]
        self.indent = " " * len(self.lead) if indent is None else indent


def wrap(fill, pieces, record=None):
    """The line filled to WIDTH from its pieces. record, when given, gets
    (the text without its lead, the text of each line without its lead or
    indent), as the readme check reads the breaks."""
    lines, current = [], fill.lead
    for piece in pieces:
        if piece == " ":
            current += " " if current.strip() else ""
            continue
        if width(current + piece) > WIDTH and current.strip():
            lines.append(current.rstrip())
            current = fill.indent
        current += piece
        if width(current) > WIDTH:
            raise ValueError("cannot fit in %d columns: %r" % (WIDTH, plain(piece)))
    lines = [plain(text) for text in lines + [current.rstrip()]]
    if record is not None:
        record.append((plain(fill.text).strip(), [lines[0][len(fill.lead):]] + [l[len(fill.indent):] for l in lines[1:]]))
    return lines


def pieces_of(fills, span_form):
    """The pieces of each line to fill: English by its blanks, Japanese by
    its phrases (one run of BudouX for them all)."""
    if span_form.isascii():
        return [english_pieces(fill.text) for fill in fills]
    found = phrases([plain(fill.text) for fill in fills])
    return [japanese_pieces(fill.text, parts) for fill, parts in zip(fills, found)]


def filled(line, span_form="%s"):
    """One Markdown line of prose, filled as convert fills it."""
    fill = Fill(inline(line, span_form))
    return wrap(fill, pieces_of([fill], span_form)[0])


def inline(text, span_form="%s"):
    """A Markdown line's text: no pictures, links as their text, each code
    span in the language's form and marked as one piece."""
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text).replace("**", "")
    text = ZIP_NAMES.sub(lambda m: "%s%s.txt" % (m.group(1), m.group(2) or ""), text)
    text = re.sub(r"`([^`]*)`", lambda m: SPAN_START + span_form % m.group(1) + SPAN_END, text)
    if not span_form.isascii():
        # 「」 set a span apart already, and Japanese needs no blank after a
        # full stop (the Markdown has one where bold ends there).
        wide = "\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef"
        text = re.sub(r"(?<=[%s]) (?=\x01)|(?<=\x02) (?=[%s])|(?<=[。、]) (?=\S)" % (wide, wide), "", text)
    return text


def table(rows, span_form):
    """Each body row as an entry: its first cell, then each other cell
    indented under its column's heading. A cell of nothing but code is bare."""
    cells = [[inline(c.strip(), span_form if re.sub(r"`[^`]*`|[,、\s]", "", c) else "%s")
              for c in row.strip().strip("|").split("|")] for row in rows]
    header, body = cells[0], [r for r in cells[1:] if not set("".join(r)) <= set("-: ")]
    out = []
    for row in body:
        out.append(Fill(row[0]))
        for heading, text in zip(header[1:], row[1:]):
            out.append(Fill("    %s: %s" % (plain(heading), text), indent="    "))
        out.append("")
    return out


def convert(markdown, version_text, span_form, footer, record=None):
    out, skipping, fenced, lines, i = [], False, False, markdown.strip("\n").split("\n"), 0
    while i < len(lines):
        line, i = lines[i], i + 1
        if line.strip() in (SKIP_START, SKIP_END):
            skipping = line.strip() == SKIP_START
        elif skipping:
            continue
        elif line.strip().startswith("```"):
            fenced = not fenced
            if not fenced:
                out.append("")  # a code block never runs into the next item
        elif fenced:
            out.append("    " + line.replace(PLACEHOLDER, "${repository}") if line.strip() else "")
        elif line.startswith("# "):
            title = re.sub(r"\btavrik\b", "tavrik " + version_text, line[2:], count=1)
            out += [title, "=" * width(title), "", HOME, ""]
        elif line.startswith("## "):
            heading = plain(inline(line[3:], span_form))
            out += [heading, "-" * width(heading)]
        elif line.startswith("|"):
            end = next((j for j in range(i, len(lines)) if not lines[j].startswith("|")), len(lines))
            out, i = out + table([line] + lines[i:end], span_form), end
        elif line.startswith("    "):  # an indented code block stays as it is
            out.append(line.rstrip())
        else:
            out.append(Fill(inline(line, span_form).rstrip()))
    fills = [item for item in out if isinstance(item, Fill)]
    by_fill = dict(zip(map(id, fills), pieces_of(fills, span_form)))
    text_lines = []
    for item in out:
        text_lines += wrap(item, by_fill[id(item)], record) if isinstance(item, Fill) else [item]
    text = "\n".join(text_lines + [""] + footer).strip("\n") + "\n"
    text = re.sub(r"\n{3,}", "\n\n", text).replace("\n", "\r\n")
    text = text.replace("$", "$$").replace("$${repository}", "${repository}")
    return text if text.isascii() else BOM + text


def read(root, name):
    with open(os.path.join(root, name), encoding="utf-8", newline="") as f:
        return f.read()


def toolchain(markdown):
    """(package, version) of the toolchain that made the published bytes."""
    return re.findall(r"(?m)^ {4,}(\S*mingw-w64\S*) (\S+)$", markdown)


def generate(root, record=None):
    """Each document: (its Markdown's name, the file's name, its text).
    record, a dict, gets each document's filled lines, by its .txt's name."""
    text = version.read(root)["text"]
    made = []
    for d in DOCUMENTS:
        filled = record.setdefault(d.target, []) if record is not None else None
        made.append((d.source, d.target, convert(read(root, d.source), text, d.span_form, d.footer, filled)))
    return made


def main(argv):
    if argv == ["--toolchain"]:
        lines = ["%s %s" % entry for entry in toolchain(read(ROOT, "docs/GUIDE.md"))]
        print("\n".join(lines) if lines else sys.exit("docs/GUIDE.md names no toolchain packages"))
        return 0
    if argv == ["--list"]:
        print("\n".join(d.target for d in DOCUMENTS))
        return 0
    for _, target, text in generate(ROOT):
        with open(os.path.join(ROOT, target), "w", encoding="utf-8", newline="") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
