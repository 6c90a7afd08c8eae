#!/usr/bin/env python3
"""Checks a screenshot of a window, as the Windows test programs write them
(tests/win32/host/screenshot.c): a 24-bit BMP of the window with its frame.

Usage: check-screenshot.py <bmp> [<width> <height>] [--min-ink FRACTION]
                           [--min-body-ink FRACTION] [--caption-band PIXELS]
                           [--png PATH]

The expected size is the window's size as the program measured it
(GetWindowRect); without <width> <height> it is read from the first line of
"<bmp>.txt", which the capture writes beside the picture.

Fails (exit 1, "SCREENSHOT FAILED <bmp>: <reason>") when the file is missing
or not a 24-bit uncompressed BMP, when its size differs from the expected
size, or when the picture is blank: a single colour, too few pixels that
differ from the most common colour (the background) over the whole picture
(--min-ink, default 0.01), or too few of them below the caption band and
inside the frame (--min-body-ink, default 0.002; the band is the top
--caption-band pixels, default 30, and the frame 4 pixels on each side), so
that a window whose frame and caption were drawn but whose content was not
is caught too. Prints "SCREENSHOT OK <bmp> <width>x<height> ..." and exits 0
otherwise; exits 2 on wrong arguments. With --png the picture is also
written as a PNG file (for viewers that do not read BMP), whatever the
verdict, when it could be read.
"""
import argparse
import os
import struct
import sys
import zlib
from collections import Counter

# Two colours closer than this (sum of the channel differences) count as the
# same: anti-aliased edges of an empty area are not content.
SAME_COLOUR = 24
FRAME = 4


class Failure(Exception):
    pass


def read_bmp(path):
    """(width, height, rows): rows top to bottom, each a bytes of B,G,R triples."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise Failure(f"cannot read the picture ({e.strerror})")
    if len(data) < 54 or data[:2] != b"BM":
        raise Failure("not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    header_size = struct.unpack_from("<I", data, 14)[0]
    if header_size < 40:
        raise Failure(f"unsupported BMP header of {header_size} bytes")
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0 or planes != 1:
        raise Failure(f"not a 24-bit uncompressed BMP ({bits} bits, compression {compression})")
    if width <= 0 or height == 0:
        raise Failure(f"empty picture ({width}x{height})")
    top_down = height < 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    if offset + stride * height > len(data):
        raise Failure(f"the file is cut short ({len(data)} bytes for {width}x{height})")
    rows = [data[offset + stride * y: offset + stride * y + width * 3] for y in range(height)]
    if not top_down:
        rows.reverse()
    return width, height, rows


def write_png(path, width, height, rows):
    """An 8-bit RGB PNG of the B,G,R rows."""
    raw = bytearray()
    for row in rows:
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        raw += b"\0" + rgb  # no filter

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def expected_size(bmp, width, height):
    if width is not None and height is not None:
        return width, height
    side = bmp + ".txt"
    try:
        with open(side, encoding="utf-8") as f:
            first = f.readline().split()
        return int(first[0]), int(first[1])
    except (OSError, ValueError, IndexError):
        raise Failure(f"no expected size given and none readable in {side}")


def differs(pixel, background):
    return sum(abs(a - b) for a, b in zip(pixel, background)) > SAME_COLOUR


def ink_counts(width, height, rows, band):
    """(colours, background, ink over all, pixels in the body, ink in the body)."""
    counts = Counter()
    for row in rows:
        counts.update(row[i:i + 3] for i in range(0, len(row), 3))
    background = counts.most_common(1)[0][0]
    ink = 0
    body_pixels = body_ink = 0
    for y, row in enumerate(rows):
        in_body_row = band <= y < height - FRAME
        for x in range(width):
            if differs(row[3 * x:3 * x + 3], background):
                ink += 1
                if in_body_row and FRAME <= x < width - FRAME:
                    body_ink += 1
        if in_body_row:
            body_pixels += max(0, width - 2 * FRAME)
    return len(counts), background, ink, body_pixels, body_ink


def check(bmp, width=None, height=None, min_ink=0.01, min_body_ink=0.002, caption_band=30, png=None):
    """Returns the OK line; raises Failure with the reason otherwise."""
    if not os.path.isfile(bmp):
        raise Failure("no such file")
    got_width, got_height, rows = read_bmp(bmp)
    if png:
        write_png(png, got_width, got_height, rows)
    want = expected_size(bmp, width, height)
    if (got_width, got_height) != want:
        raise Failure(f"the picture is {got_width}x{got_height}, the window {want[0]}x{want[1]}")
    colours, background, ink, body_pixels, body_ink = ink_counts(got_width, got_height, rows, caption_band)
    total = got_width * got_height
    if colours == 1:
        raise Failure("blank: one colour only")
    if ink < min_ink * total:
        raise Failure(f"blank: {ink} of {total} pixels differ from the background (needs {min_ink:.2%})")
    if body_pixels and body_ink < min_body_ink * body_pixels:
        raise Failure(f"blank content: {body_ink} of {body_pixels} pixels inside the frame and below the "
                      f"caption differ from the background (needs {min_body_ink:.2%})")
    body_share = body_ink / body_pixels if body_pixels else 0.0
    r, g, b = background[2], background[1], background[0]
    return (f"SCREENSHOT OK {bmp} {got_width}x{got_height} colours {colours} background #{r:02x}{g:02x}{b:02x} "
            f"ink {ink / total:.1%} content {body_share:.1%}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bmp")
    parser.add_argument("width", nargs="?", type=int)
    parser.add_argument("height", nargs="?", type=int)
    parser.add_argument("--min-ink", type=float, default=0.01)
    parser.add_argument("--min-body-ink", type=float, default=0.002)
    parser.add_argument("--caption-band", type=int, default=30)
    parser.add_argument("--png", help="also write the picture to this PNG file")
    args = parser.parse_args(argv)
    if (args.width is None) != (args.height is None):
        parser.error("give both <width> and <height>, or neither")
    try:
        print(check(args.bmp, args.width, args.height, args.min_ink, args.min_body_ink, args.caption_band,
                    args.png))
    except Failure as e:
        print(f"SCREENSHOT FAILED {args.bmp}: {e}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
