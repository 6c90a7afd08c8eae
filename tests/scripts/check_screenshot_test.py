#!/usr/bin/env python3
"""Tests of scripts/check-screenshot.py through its command line: the
pictures are made here, shaped like the captures of the Windows runs (a
frame, a caption bar, content on a plain background)."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-screenshot.py")

GREY = (0xF0, 0xF0, 0xF0)
BLUE = (0x80, 0x30, 0x00)  # B, G, R
BLACK = (0, 0, 0)


def window_picture(width, height, content=True, caption=True, text_top=40):
    """Rows top to bottom of B,G,R pixels: a grey window with a dark frame,
    a caption bar and, with `content`, a block of black 'text'."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if x in (0, width - 1) or y in (0, height - 1):
                pixel = BLACK
            elif caption and y < 20:
                pixel = BLUE
            elif content and text_top <= y < text_top + 10 and 10 <= x < width - 10 and x % 3:
                pixel = BLACK
            else:
                pixel = GREY
            row.append(pixel)
        rows.append(row)
    return rows


def bmp_bytes(rows, bits=24, top_down=False, cut=0):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in (rows if top_down else reversed(rows)):
        line = bytearray()
        for pixel in row:
            line += bytes(pixel)
        body += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0, len(body),
                          2835, 2835, 0, 0)
    data = header + bytes(body)
    return data[:len(data) - cut] if cut else data


class CheckScreenshotTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, data, size_line=None):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as f:
            f.write(data)
        if size_line is not None:
            with open(path + ".txt", "w", encoding="utf-8") as f:
                f.write(size_line)
        return path

    def run_checker(self, *args):
        done = subprocess.run([sys.executable, CHECKER, *args], capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout.strip()

    def assert_fails(self, expected_reason, *args):
        code, out = self.run_checker(*args)
        self.assertEqual(code, 1, out)
        self.assertIn("SCREENSHOT FAILED", out)
        self.assertIn(expected_reason, out)

    def test_a_drawn_window_of_the_measured_size_passes(self):
        path = self.write("box.bmp", bmp_bytes(window_picture(217, 107)), "217 107\nVKTCom\n")
        code, out = self.run_checker(path, "217", "107")
        self.assertEqual(code, 0, out)
        self.assertTrue(out.startswith("SCREENSHOT OK"), out)
        self.assertIn("217x107", out)
        # The size written beside the picture serves as well.
        self.assertEqual(self.run_checker(path)[0], 0)
        # Rows stored top to bottom are read as such, odd widths with padding.
        path = self.write("top.bmp", bmp_bytes(window_picture(101, 60), top_down=True))
        self.assertEqual(self.run_checker(path, "101", "60")[0], 0)

    def test_the_png_copy_keeps_the_pixels(self):
        rows = window_picture(30, 25)
        path = self.write("box.bmp", bmp_bytes(rows))
        png = os.path.join(self.folder.name, "box.png")
        # Written even when the verdict is a failure (here: the size).
        self.assertEqual(self.run_checker(path, "31", "25", "--png", png)[0], 1)
        with open(png, "rb") as f:
            data = f.read()
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        width, height = struct.unpack(">II", data[16:24])
        self.assertEqual((width, height), (30, 25))
        start = data.index(b"IDAT") + 4
        length = struct.unpack(">I", data[start - 8:start - 4])[0]
        raw = zlib.decompress(data[start:start + length])
        line = 1 + 3 * width
        for y, x in ((0, 0), (5, 5), (24, 29), (10, 15)):
            b, g, r = rows[y][x]
            self.assertEqual(tuple(raw[y * line + 1 + 3 * x: y * line + 4 + 3 * x]), (r, g, b))

    def test_a_picture_of_another_size_fails(self):
        path = self.write("box.bmp", bmp_bytes(window_picture(200, 100)), "200 101\n")
        self.assert_fails("the picture is 200x100, the window 200x101", path)
        self.assert_fails("the window 199x100", path, "199", "100")

    def test_missing_or_unreadable_pictures_fail(self):
        self.assert_fails("no such file", os.path.join(self.folder.name, "none.bmp"), "10", "10")
        path = self.write("nosize.bmp", bmp_bytes(window_picture(50, 40)))
        self.assert_fails("no expected size", path)
        self.assert_fails("not a BMP", self.write("png.bmp", b"\x89PNG\r\n\x1a\n" + b"\0" * 100), "1", "1")
        self.assert_fails("not a 24-bit", self.write("32.bmp", bmp_bytes(window_picture(50, 40), bits=32)), "50",
                          "40")
        self.assert_fails("cut short", self.write("cut.bmp", bmp_bytes(window_picture(50, 40), cut=7)), "50", "40")

    def test_blank_pictures_fail(self):
        one = [[GREY] * 80 for _ in range(60)]
        self.assert_fails("one colour", self.write("grey.bmp", bmp_bytes(one)), "80", "60")
        black = [[BLACK] * 80 for _ in range(60)]
        self.assert_fails("one colour", self.write("black.bmp", bmp_bytes(black)), "80", "60")
        # Differences too faint to be drawing: still blank.
        faint = [[(0xF0, 0xF0, 0xF0 - (x + y) % 3) for x in range(80)] for y in range(60)]
        self.assert_fails("blank:", self.write("faint.bmp", bmp_bytes(faint)), "80", "60")
        # Frame and caption drawn, nothing inside: the content check.
        empty = window_picture(300, 200, content=False)
        self.assert_fails("blank content", self.write("empty.bmp", bmp_bytes(empty)), "300", "200")
        # A window without a caption (the progress popup) whose text is near
        # its top: blank below a caption band, drawn when judged from the top.
        popup = window_picture(319, 99, caption=False, text_top=6)
        path = self.write("popup.bmp", bmp_bytes(popup))
        self.assert_fails("blank content", path, "319", "99")
        self.assertEqual(self.run_checker(path, "319", "99", "--caption-band", "0")[0], 0)

    def test_wrong_arguments_are_refused(self):
        path = self.write("box.bmp", bmp_bytes(window_picture(50, 40)))
        self.assertEqual(self.run_checker(path, "50")[0], 2)


if __name__ == "__main__":
    unittest.main()
