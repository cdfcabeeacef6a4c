#!/usr/bin/env python3
"""Makes the zip's plain-text docs (docs/*.txt) from README.md, README.ja.md
and docs/GUIDE*.md: CRLF, no links or pictures, tables as entries with each
cell under its heading, lines of at most 76 columns (a Japanese character
takes two), a UTF-8 BOM on text beyond ASCII, code byte for byte. Each is
a template for release/pack.py: ${repository} is owner/name, $$ a dollar.
usage: readme_txt.py [--toolchain (prints the guide's toolchain lines)
                     | --list (prints the .txt files, one a line)]
Their checks: tests/scripts/readme_check.py."""
import collections
import os
import re
import sys
import unicodedata

import version

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH = 76
BOM = "\ufeff"
SKIP_START, SKIP_END = "<!-- not in the download's readme -->", "<!-- end not in the download's readme -->"
HOME = "https://github.com/${repository}"

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


# Where a line may break: at blanks, but not before a particle nor between
# katakana words; after 、。 and a closing bracket no particle follows; before
# an opening bracket; where hiragana meets a kanji or katakana word. Never
# inside a katakana word, between ASCII letters or digits, or inside a code
# span, a bracketed name, a number with its unit (and 約), a quoted word.
CLOSING = set("、。，．・：；？！）」』】〕…")
OPENING = set("（「『【〔")
NO_LINE_START = CLOSING | set("ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ)")
NO_LINE_END = OPENING | set("(")
UNITS = "ミリ秒|秒|バイト|ビット|行|列|回|個|つ|ms|s|%"
WIDE = "\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef"
SPAN_START, SPAN_END = "\x01", "\x02"  # around a code span while it is wrapped; never written
GLUED = re.compile(r"\s+|\x01[^\x02]*\x02|\[[^\]]{1,60}\]|(?:約 ?)?\d[\d,.]*(?: ?(?:%s))?(?![^\s\x01\x02%s])"
                   r'|"[^"]{1,40}"|[^\s\x01\x02\[%s]+|.' % (UNITS, WIDE, WIDE))
LEAD = re.compile(r" *(?:[-*] |\d+\. )?")


is_hiragana = lambda c: "\u3041" <= c <= "\u309f"  # noqa: E731
is_katakana = lambda c: "\u30a1" <= c <= "\u30fa" or c == "ー"  # noqa: E731


def is_word_start(c):  # a kanji or a katakana that can begin a word
    return ("\u4e00" <= c <= "\u9fff" or is_katakana(c)) and c not in NO_LINE_START


def may_break(left, right):
    """Whether a line may end after the piece left and go on with right."""
    a, b = plain(left)[-1:], plain(right)[:1]
    if not a or not b or b in NO_LINE_START or a in NO_LINE_END:
        return False
    return (a in "、。" or a in CLOSING and not is_hiragana(b) or b in OPENING
            or is_hiragana(a) and is_word_start(b))


def pieces(text):
    """The pieces a line may break between; a blank where it may, alone."""
    tokens, out, glue = GLUED.findall(text), [], False
    for index, token in enumerate(tokens):
        following = plain(tokens[index + 1])[:1] if index + 1 < len(tokens) else ""
        if out and (glue or not token.isspace() and not out[-1].isspace() and not may_break(out[-1], token)):
            out[-1] += token
        else:
            out.append(token)
        # 「[編集] を」: a particle never starts a line; 「スマート アプリ
        # コントロール」: a name written in katakana words stays whole.
        glue = token.isspace() and len(out) > 1 and (
            is_hiragana(following) or is_katakana(out[-2][-1:]) and is_katakana(following))
        if glue:
            out[-2:] = [out[-2] + " "]
    return out


def width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in plain(text))


plain = lambda text: text.replace(SPAN_START, "").replace(SPAN_END, "")  # noqa: E731


def wrap(line, indent=None):
    """The line filled to WIDTH from its pieces; continuation lines are
    indented like the text after a list marker, or by indent when given."""
    lead = LEAD.match(line).group(0)
    indent = " " * len(lead) if indent is None else indent
    lines, current = [], lead
    for piece in pieces(line[len(lead):]):
        if piece.isspace():
            current += " " if current.strip() else ""
            continue
        if width(current + piece) > WIDTH and current.strip():
            lines.append(current.rstrip())
            current = indent
        current += piece
        if width(current) > WIDTH:
            raise ValueError("cannot fit in %d columns: %r" % (WIDTH, plain(piece)))
    return [plain(text) for text in lines + [current.rstrip()]]


def inline(text, span_form="%s"):
    """A Markdown line's text: no pictures, links as their text, each code
    span in the language's form and marked as one piece."""
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text).replace("**", "")
    text = re.sub(r"`([^`]*)`", lambda m: SPAN_START + span_form % m.group(1) + SPAN_END, text)
    if not span_form.isascii():
        # 「」 set a span apart already: no blank between it and Japanese text.
        text = re.sub(r"(?<=[%s]) (?=\x01)|(?<=\x02) (?=[%s])" % (WIDE, WIDE), "", text)
    return text


def table(rows, span_form):
    """Each body row as an entry: its first cell, then each other cell
    indented under its column's heading. A cell of nothing but code is bare."""
    cells = [[inline(c.strip(), span_form if re.sub(r"`[^`]*`|[,、\s]", "", c) else "%s")
              for c in row.strip().strip("|").split("|")] for row in rows]
    header, body = cells[0], [r for r in cells[1:] if not set("".join(r)) <= set("-: ")]
    out = []
    for row in body:
        out += wrap(row[0])
        for heading, text in zip(header[1:], row[1:]):
            out += wrap("    %s: %s" % (plain(heading), text), indent="    ")
        out.append("")
    return out


def convert(markdown, version, span_form, footer):
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
            out.append("    " + line if line.strip() else "")
        elif line.startswith("# "):
            title = re.sub(r"\btavrik\b", "tavrik " + version, line[2:], count=1)
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
            out += wrap(inline(line, span_form).rstrip())
    text = "\n".join(out + [""] + footer).strip("\n") + "\n"
    text = re.sub(r"\n{3,}", "\n\n", text).replace("\n", "\r\n")
    text = text.replace("$", "$$").replace("$${repository}", "${repository}")
    return text if text.isascii() else BOM + text


def read(root, name):
    with open(os.path.join(root, name), encoding="utf-8", newline="") as f:
        return f.read()


def toolchain(markdown):
    """(package, version) of the toolchain that made the published bytes."""
    return re.findall(r"(?m)^ {4,}(\S*mingw-w64\S*) (\S+)$", markdown)


def generate(root):
    """Each document: (its Markdown's name, the file's name, its text)."""
    text = version.read(root)["text"]
    return [(d.source, d.target, convert(read(root, d.source), text, d.span_form, d.footer)) for d in DOCUMENTS]


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
