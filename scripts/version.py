#!/usr/bin/env python3
"""tavrik's version as res/version.h writes it down, read in this one place
for every Python script and handed down to the shell ones: the version
text (1.0), the four binary parts (1.0.0.0), and the release date as
seconds since 1970, which SOURCE_DATE_EPOCH overrides (CMake reads the
header for the PE time stamp the same way).
usage: version.py text|binary|epoch   (prints that value)"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def definition(header, name, pattern):
    found = re.search(r"(?m)^#define %s (%s)$" % (name, pattern), header)
    if not found:
        raise SystemExit("res/version.h has no line '#define %s' of the form %s" % (name, pattern))
    return found.group(1)


def read(root=ROOT):
    """{"text": "1.0", "binary": "1.0.0.0", "epoch": "1796601600"}"""
    with open(os.path.join(root, "res", "version.h"), encoding="utf-8") as f:
        header = f.read()
    binary = definition(header, "TAVRIK_VERSION_BINARY", r"\d+, \d+, \d+, \d+")
    return {"text": definition(header, "TAVRIK_VERSION_TEXT", r'"\d+(?:\.\d+)*"').strip('"'),
            "binary": binary.replace(", ", "."),
            "epoch": os.environ.get("SOURCE_DATE_EPOCH") or definition(header, "TAVRIK_RELEASE_EPOCH", r"\d+")}


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("text", "binary", "epoch"):
        sys.exit("usage: " + __doc__.rsplit("usage: ", 1)[1])
    print(read()[sys.argv[1]])
