"""The readme check against drifts planted in a copy of the real files: each
must be reported, and the real files must pass. A planted change to a
Markdown or source file has its readmes made again first, so only the drift itself is
left to find; a change to a readme must be found as a stale one. And the
generator's line filling, on lines made for it."""
import contextlib
import io
import os
import re
import shutil
import sys
import tempfile
import unittest
from unittest import mock

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import readme_txt  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import readme_check  # noqa: E402

# The documents, and the sources the check reads facts from.
FILES = [name for d in readme_txt.DOCUMENTS for name in (d.source, d.target)] + [
    "res/version.h", "cmdline/parse_command.cpp", "tests/expected/usage.txt", "tests/expected/fault.txt"]
with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
    # The exe's checksum as "Verify your download" publishes it, whatever it is now.
    CHECKSUM = re.search(r"(?m)^ +([0-9a-f]{64})$", readme.read()).group(1)

# (what is planted, [(file, text, replacement)], what the check must say)
DRIFTS = [
    ("an example changed in README.md only",
     [("README.md", "tavrik size 120,30\ntavrik move 0,0\n", "tavrik size 120,30\ntavrik move 0,1\n")],
     "example 2 differs between README.md and README.ja.md"),
    ("a stale checksum in README.ja.md", [("README.ja.md", "    %s\n" % CHECKSUM, "    %s\n" % ("0" * 64))],
     "the checksum '%s' is only in README.ja.md" % ("0" * 64)),
    ("a toolchain line dropped from docs/GUIDE.ja.md",
     [("docs/GUIDE.ja.md", "    binutils-mingw-w64-x86-64 2.40-2+10.4\n", "")],
     "the toolchain line 'binutils-mingw-w64-x86-64 2.40-2+10.4' is only in docs/GUIDE.md"),
    ("an example changed in the English guide only",
     [("docs/GUIDE.md", "tavrik size 80,25\ntavrik buffer 80,300", "tavrik size 80,25\ntavrik buffer 80,301")],
     "differs between docs/GUIDE.md and docs/GUIDE.ja.md"),
    ("docs/GUIDE.txt edited by hand", [("docs/GUIDE.txt", "Windows Terminal", "Windows terminal")],
     "docs/GUIDE.txt is not what docs/GUIDE.md gives"),
    ("an exit status no longer listed in README.ja.md", [("README.ja.md", "- `-1073741510`:", "- -1073741510:")],
     "the exit status '-1073741510' is only in README.md"),
    ("the fault message reworded in README.ja.md",
     [("README.ja.md", "Console window getting fault.", "Console window getting fault!")],
     "the program text 'Console window getting fault.' is only in README.md"),
    ("a command word gone from README.ja.md",
     [("README.ja.md", "`noactive`", "`noaktive`"), ("README.ja.md", "`tavrik noactive`", "`tavrik noaktive`")],
     "the command word 'noactive' is only in README.md"),
    ("an example added to the end of README.ja.md only",
     [("README.ja.md", "にまとめてあります。\n", "にまとめてあります。\n\n```bat\ntavrik top\n```\n")],
     " examples, README.ja.md has "),
    ("the usage text changed in both languages alike",
     [(name, "  Close window  - close\n", "  Close window  - close it\n") for name in ("README.md", "README.ja.md")],
     "docs/README.txt: no copy of the usage text that tavrik prints"),
    ("docs/README.ja.txt without its byte-order mark", [("docs/README.ja.txt", readme_txt.BOM, "")],
     "docs/README.ja.txt is not what README.ja.md gives"),
    ("docs/README.txt edited by hand", [("docs/README.txt", "minimises the window", "minimizes the window")],
     "docs/README.txt is not what README.md gives"),
    ("a code span wrapped across lines",
     [("docs/README.txt", "tavrik size 80,25 > nul\r\n", "tavrik size\r\n  80,25 > nul\r\n")],
     "docs/README.txt is not what README.md gives"),
    ("a bracketed name split across lines",
     [("docs/GUIDE.ja.txt", "[複数のタブを閉じるときに警告する]", "[複数のタブを閉じる\r\n    ときに警告する]")],
     "docs/GUIDE.ja.txt is not what docs/GUIDE.ja.md gives"),
    ("a command without its entry, in a command table laid out another way",
     [("cmdline/parse_command.cpp", '{"min", RequestKind::', '{ "min" , RequestKind ::')] +
     [(name, "| `min` |", "| `mini` |") for name in ("README.md", "README.ja.md")],
     "docs/README.txt: no entry for the command min"),
    ("both READMEs' exit statuses written otherwise, and README.ja.md saying 7 for 1",
     [(name, "- `%s`:" % status, "- Exit status `%s`:" % status) for name in ("README.md", "README.ja.md")
      for status in ("0", "1", "-1073741510")] + [("README.ja.md", "- Exit status `1`:", "- Exit status `7`:")],
     "README.ja.md lacks the exit status '1'"),
    ("both READMEs' exit statuses in a form the check cannot read",
     [(name, "- `%s`:" % status, "- %s:" % status) for name in ("README.md", "README.ja.md")
      for status in ("0", "1", "-1073741510")],
     "README.md lacks the exit status '0'"),
    ("the checksum gone from both READMEs",
     [(name, CHECKSUM, "(see the release notes)") for name in ("README.md", "README.ja.md")],
     "README.md holds no checksum that the check can read"),
    ("the toolchain lines gone from both guides",
     [(name, "    binutils-mingw-w64-x86-64", "    binutils") for name in ("docs/GUIDE.md", "docs/GUIDE.ja.md")] +
     [(name, "    mingw-w64-x86-64-dev", "    mingw-dev") for name in ("docs/GUIDE.md", "docs/GUIDE.ja.md")] +
     [(name, "    g%s-mingw-w64-x86-64-posix" % c, "    g%s-posix" % c) for name in ("docs/GUIDE.md", "docs/GUIDE.ja.md")
      for c in ("++", "cc")],
     "docs/GUIDE.md holds no toolchain line that the check can read"),
    ("top gone from README.ja.md, topmost still there",
     [("README.ja.md", "| `top` |", "| `top-` |"), ("README.ja.md", "`tavrik top` |", "`tavrik top-` |")],
     "README.ja.md lacks the command word 'top'"),
    ("the guide's copy naming README.md, which the zip does not hold",
     [("docs/GUIDE.txt", "The details behind README.txt", "The details behind README.md")],
     "docs/GUIDE.txt holds 'README.md'"),
    ("a readme's copy with the repository's placeholder left in its gh line",
     [("docs/README.txt", "--repo ${repository}", "--repo <owner>/<repo>")], "docs/README.txt holds '<owner>/<repo>'"),
    ("a command table whose rows do not begin with their words",
     [("cmdline/parse_command.cpp", '{"min", RequestKind::', '{.keyword = "min", .kind = RequestKind::')],
     'found no word in the row {.keyword = "min"'),
]


# (Markdown line, how a code span stands, width, the lines it must wrap to)
WRAPS = [
    ("word word word word word word word", "%s", 20, ["word word word word", "word word word"]),
    ("go to `tavrik move 100,50` now", "%s", 20, ["go to", "tavrik move 100,50", "now"]),  # a span stays whole
    ("about 3 s in all, or 100 ms more", "%s", 12, ["about 3 s in", "all, or", "100 ms more"]),  # so does 3 s
    # Japanese breaks between BudouX's phrases only: never inside a word, a
    # katakana name, a number and its unit, nor before a particle or a 。.
    ("ウィンドウを最小化します。コンソールウィンドウの表示領域を変更します。", "「%s」", 24,
     ["ウィンドウを", "最小化します。", "コンソールウィンドウの", "表示領域を変更します。"]),
    ("すべてのタブを含む Windows ターミナルのウィンドウ全体", "「%s」", 30,
     ["すべてのタブを", "含む Windows ターミナルの", "ウィンドウ全体"]),
    ("x = -n の場合は 4294967296 - n を指定します", "「%s」", 30, ["x = -n の場合は", "4294967296 - n を指定します"]),
    ("設定はスマート アプリ コントロール です", "「%s」", 34, ["設定は", "スマート アプリ コントロール です"]),
    ("あいうえお [複数のタブを閉じる] です", "「%s」", 30, ["あいうえお", "[複数のタブを閉じる] です"]),
    ("- 箇条書きの項目はウィンドウを移動します", "「%s」", 20, ["- 箇条書きの項目は", "  ウィンドウを", "  移動します"]),
    ("表示までに約 3 秒かかります", "「%s」", 22, ["表示までに", "約 3 秒かかります"]),
    # Where bold ends after 。 the Markdown needs a blank; Japanese text does not.
    ("- **フォーカスを奪います。** Windows は、**借ります。** tavrik は", "「%s」", 76,
     ["- フォーカスを奪います。Windows は、借ります。tavrik は"]),
    # A phrase wider than a line breaks at a blank; a span stays whole.
    ("これは `tavrik min` のことです", "「%s」", 26, ["これは「tavrik min」の", "ことです"]),
    ("バージョン 1.14.1432.0 以降", "「%s」", 14, ["バージョン", "1.14.1432.0", "以降"]),
]

# Lines that cannot be filled without breaking what must stay whole.
TOO_WIDE = [("コンソールウィンドウのタイトル", "「%s」", 10), ("a `tavrik move 100,50` b", "%s", 12)]

# (filled text, its lines, the broken phrases the check must name)
PHRASES = [
    ("含む Windows ターミナルのウィンドウ全体", ["含む Windows", "ターミナルのウィンドウ全体"], ["含む Windows｜ターミナルのウィンドウ全"]),
    ("符号のない 10 進数です", ["符号のない 10", "進数です"], ["符号のない 10｜進数です"]),
    ("テキストは折り返されます。", ["テキストは折り", "返されます。"], ["テキストは折り｜返されます。"]),
    ("テキストは折り返されます。", ["テキストは", "折り返されます。"], []),
    # A phrase wider than a line may break where it must.
    ("「" + "x" * 80 + "」を", ["「" + "x" * 60, "x" * 20 + "」を"], []),
]


class Table(unittest.TestCase):
    def test_every_cell_after_the_first_keeps_its_column_heading(self):
        rows = ["| Windows Terminal | In a classic console window | In Windows Terminal |", "|---|---|---|",
                "| 1.14 and later | acts on it | acts on the whole window |"]
        self.assertEqual(readme_txt.convert("\n".join(rows), "1.0", "%s", []).split("\r\n"), [
            "1.14 and later", "    In a classic console window: acts on it",
            "    In Windows Terminal: acts on the whole window", ""])


class Wrap(unittest.TestCase):
    def test_lines_break_by_display_width_and_only_where_they_may(self):
        for line, span_form, width, expected in WRAPS:
            with self.subTest(line), mock.patch.object(readme_txt, "WIDTH", width):
                self.assertEqual(readme_txt.filled(line, span_form), expected)

    def test_a_piece_wider_than_a_line_stops_the_generator(self):
        for line, span_form, width in TOO_WIDE:
            with self.subTest(line), mock.patch.object(readme_txt, "WIDTH", width):
                with self.assertRaises(ValueError):
                    readme_txt.filled(line, span_form)

    def test_the_check_names_each_phrase_a_line_breaks(self):
        for text, lines, broken in PHRASES:
            with self.subTest(lines=lines):
                self.assertEqual(readme_check.broken_phrases([(text, lines)]), broken)


class ReadmeCheck(unittest.TestCase):
    def check(self, changes):
        with tempfile.TemporaryDirectory() as root:
            for name in FILES:
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                shutil.copy(os.path.join(ROOT, name), os.path.join(root, name))
            for name, text, replacement in changes:
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", newline="") as f:
                    content = f.read()
                self.assertIn(text, content, "the planted drift no longer applies to %s" % name)
                with open(path, "w", encoding="utf-8", newline="") as f:
                    f.write(content.replace(text, replacement))
            if changes and not any(name.endswith(".txt") for name, _, _ in changes):
                for _, target, text in readme_txt.generate(root):
                    with open(os.path.join(root, target), "w", encoding="utf-8", newline="") as f:
                        f.write(text)
            try:
                with contextlib.redirect_stdout(io.StringIO()):  # the stale readmes' diffs
                    return readme_check.check(root)
            except readme_check.SourceChanged as error:
                return [str(error)]

    def test_the_real_files_pass(self):
        self.assertEqual(self.check([]), [])

    def test_a_generator_that_records_no_filled_line_stops_the_check(self):
        # Nothing to check is no pass: the phrase check needs the lines.
        with mock.patch.object(readme_txt, "wrap", lambda fill, pieces, record=None: [readme_txt.plain(fill.text)]):
            self.assertIn("recorded no filled line", " ".join(self.check([])))

    def test_every_planted_drift_is_reported(self):
        for what, changes, expected in DRIFTS:
            with self.subTest(what):
                found = self.check(changes)
                self.assertTrue(any(expected in problem for problem in found),
                                "%s: expected %r among %r" % (what, expected, found))


if __name__ == "__main__":
    unittest.main()
