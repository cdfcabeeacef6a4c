#!/usr/bin/env python3
"""Writes res/tavrik.ico: one 32 x 32, 16-colour icon (4 bits per pixel plus a
1-bit mask, 744 bytes of image) showing a small console window with a prompt.
The picture is kept here as text so it can be read and changed in review; the
output is byte-for-byte the same on every run."""
import struct
import sys

# The standard 16-colour palette (RGB), indexed by the letters below.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# '.' is transparent; every other letter is an opaque palette entry.
COLOURS = {"K": 0, "N": 4, "G": 2, "L": 7, "D": 8, "R": 9, "g": 10, "Y": 11,
           "B": 12, "W": 15}

PICTURE = """
................................
................................
................................
DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD
DNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNK
DNWWWNNNNNNNNNNNNNNNNLLNLLNRRNNK
DNWBWNWWWWWWWWWWNNNNNLLNLLNRRNNK
DNWWWNNNNNNNNNNNNNNNNNNNNNNNNNNK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKLK
DKKLLLLLLLKKLLLLLLLLLLKKKKKKKKLK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKLLLLKLLLLLLLLKKLLLLLLKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKLLLLLLLLLKKLLLLKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKggKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKggKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKggKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKKggKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKggKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKggKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKggKKKKWWWWWWKKKKKKKKKKKKKKKDK
DKKKKKKKKWWWWWWKKKKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKDK
DKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK
KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK
................................
................................
"""


def icon_bytes():
    rows = PICTURE.split()
    assert len(rows) == 32 and all(len(r) == 32 for r in rows), "the picture must be 32 x 32"
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, 512 + 128, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIB rows run bottom-up
        indexes = [COLOURS.get(c, 0) for c in row]
        colour += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, 32, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask += struct.pack(">I", bits)
    image = header + palette + bytes(colour) + bytes(mask)
    assert len(image) == 744
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res/tavrik.ico"
    with open(out, "wb") as f:
        f.write(icon_bytes())
