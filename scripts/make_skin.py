#!/usr/bin/env python3
"""Draws the sample skin and sample key frames as Windows BMP files.

    scripts/make_skin.py [REPO]

writes data/skin/MaterialManagement/*.bmp (the stock icons and clip
backgrounds the thumbnail cache loads, 64 x 48, 24-bit, the list icon strip
of ten 32 x 32 icons) and data/thumbnails/*.bmp (key frames of a few clips in
16, 24 and 32 bits and both row orders). Everything is drawn here from simple
shapes and a 3 x 5 pixel font; the output is the same on every run.
"""
import math
import os
import struct
import sys

FONT = {  # 3 x 5 glyphs, rows top first, 1 = ink
    "A": "010101111101101", "B": "110101110101110", "C": "011100100100011", "D": "110101101101110",
    "E": "111100110100111", "F": "111100110100100", "G": "011100101101011", "J": "001001001101010",
    "L": "100100100100111", "M": "101111111101101", "N": "110101101101101", "O": "010101101101010",
    "P": "110101110100100", "Q": "010101101110011", "R": "110101110101101", "S": "011100010001110", "T": "111010010010010",
    "V": "101101101101010", "W": "101101111111101", "X": "101101010101101", "?": "110001010000010",
    "0": "111101101101111", "1": "010110010010111",
}


class Canvas:
    def __init__(self, w, h, colour):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = colour

    def frame(self, x0, y0, x1, y1, colour, t=1):
        self.rect(x0, y0, x1, y0 + t, colour)
        self.rect(x0, y1 - t, x1, y1, colour)
        self.rect(x0, y0, x0 + t, y1, colour)
        self.rect(x1 - t, y0, x1, y1, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.px[y][x] = colour

    def text(self, x, y, s, colour, scale=2):
        for ch in s:
            glyph = FONT.get(ch, FONT["?"])
            for i, bit in enumerate(glyph):
                if bit == "1":
                    gx, gy = i % 3, i // 3
                    self.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, colour)
            x += 4 * scale

    def centred_text(self, s, colour, y=None, scale=2):
        width = len(s) * 4 * scale - scale
        self.text((self.w - width) // 2, (self.h - 5 * scale) // 2 if y is None else y, s, colour, scale)


def write_bmp(path, canvas, bits=24, top_down=False, bitfields565=False):
    w, h = canvas.w, canvas.h
    row_size = (w * bits + 31) // 32 * 4
    rows = []
    order = range(h) if top_down else range(h - 1, -1, -1)
    for y in order:
        out = bytearray()
        for (r, g, b) in canvas.px[y]:
            if bits == 24:
                out += bytes((b, g, r))
            elif bits == 32:
                out += bytes((b, g, r, 255))
            elif bitfields565:
                out += struct.pack("<H", ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
            else:
                out += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        out += bytes(row_size - len(out))
        rows.append(bytes(out))
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F) if bitfields565 else b""
    offset = 54 + len(masks)
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, bits, 3 if bitfields565 else 0,
                       len(data), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + masks + data)


WHITE, BLACK = (255, 255, 255), (0, 0, 0)
NAVY, SLATE, STEEL = (28, 40, 64), (52, 64, 84), (90, 110, 140)
AMBER, GREEN, RED, BLUE = (240, 170, 40), (70, 170, 90), (200, 60, 50), (60, 120, 210)


def clip_background(selected, accent):
    c = Canvas(64, 48, (70, 90, 130) if selected else SLATE)
    c.frame(0, 0, 64, 48, AMBER if selected else STEEL, 2)
    for x in range(6, 60, 8):  # sprocket holes of a film strip
        c.rect(x, 4, x + 4, 7, accent)
        c.rect(x, 41, x + 4, 44, accent)
    return c


def document(label, colour):
    c = Canvas(64, 48, (235, 235, 230))
    c.rect(14, 4, 50, 44, WHITE)
    c.frame(14, 4, 50, 44, (120, 120, 120))
    c.rect(14, 4, 50, 14, colour)
    c.centred_text(label, WHITE, y=5, scale=2 if len(label) < 4 else 1)
    for y in range(18, 40, 5):
        c.rect(18, y, 46, y + 2, (170, 170, 170))
    return c


def folder(colour):
    c = Canvas(64, 48, (235, 235, 230))
    c.rect(8, 10, 28, 16, colour)
    c.rect(8, 14, 56, 40, colour)
    c.frame(8, 14, 56, 40, (150, 110, 20))
    return c


def badge(label, back, ink=WHITE):
    c = Canvas(64, 48, back)
    c.frame(0, 0, 64, 48, BLACK)
    c.centred_text(label, ink, scale=3 if len(label) <= 3 else 2)
    return c


def wave(back, ink):
    c = Canvas(64, 48, back)
    for x in range(4, 60):
        a = int(14 * math.sin(x / 3.0) * math.sin(x / 17.0))
        c.rect(x, 24 - abs(a), x + 1, 24 + abs(a) + 1, ink)
    return c


def list_strip():
    icons = ["V", "A", "P", "T", "E", "C", "F", "N", "S", "W"]
    colours = [BLUE, GREEN, AMBER, (150, 90, 190), RED, (40, 160, 160), (200, 150, 40), (120, 120, 120),
               (90, 60, 40), (20, 100, 60)]
    c = Canvas(32 * len(icons), 32, BLACK)
    for i, (label, colour) in enumerate(zip(icons, colours)):
        c.rect(32 * i + 2, 2, 32 * i + 30, 30, colour)
        c.text(32 * i + 10, 9, label, WHITE, scale=3)
    return c


def key_frame_sunrise():
    c = Canvas(192, 108, BLACK)
    for y in range(108):
        t = y / 107
        c.rect(0, y, 192, y + 1, (int(40 + 200 * t), int(60 + 120 * t), int(160 - 100 * t)))
    c.disc(96, 78, 24, (255, 220, 120))
    c.rect(0, 78, 192, 108, (30, 60, 40))
    return c


def key_frame_bars():
    bars = [(192, 192, 192), (192, 192, 0), (0, 192, 192), (0, 192, 0), (192, 0, 192), (192, 0, 0), (0, 0, 192)]
    c = Canvas(168, 126, BLACK)
    for i, colour in enumerate(bars):
        c.rect(24 * i, 0, 24 * i + 24, 90, colour)
    for i in range(7):
        c.rect(24 * i, 90, 24 * i + 24, 126, (int(255 * i / 6),) * 3)
    return c


def key_frame_test_card():
    c = Canvas(160, 120, (90, 90, 90))
    for x in range(0, 160, 16):
        c.rect(x, 0, x + 1, 120, (200, 200, 200))
    for y in range(0, 120, 16):
        c.rect(0, y, 160, y + 1, (200, 200, 200))
    c.disc(80, 60, 44, (30, 30, 30))
    c.disc(80, 60, 40, (60, 110, 200))
    c.centred_text("QV", WHITE, scale=5)
    return c


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    skin = os.path.join(repo, "data", "skin", "MaterialManagement")
    films = (230, 230, 230)
    pictures = {
        "ClipBKSmall_Normal.bmp": clip_background(False, films),
        "ClipBKSmall_Selected.bmp": clip_background(True, films),
        "ClipBKCaptureNormal.bmp": clip_background(False, RED),
        "ClipBKCaptureSelected.bmp": clip_background(True, RED),
        "ClipBKNoFilesNormal.bmp": clip_background(False, (120, 120, 120)),
        "ClipBKNoFilesSelected.bmp": clip_background(True, (120, 120, 120)),
        "ClipBKFrame_Select.bmp": Canvas(64, 48, AMBER),
        "ClipBKFrame_Normal.bmp": Canvas(64, 48, STEEL),
        "AudioClipSmall.bmp": wave(NAVY, GREEN),
        "ListIcon.bmp": list_strip(),
        "TXT.bmp": document("TXT", (110, 110, 110)),
        "PowerPoint.bmp": document("PPT", (210, 90, 40)),
        "Word.bmp": document("DOC", BLUE),
        "Excel.bmp": document("XLS", GREEN),
        "PDF.bmp": document("PDF", RED),
        "Project.bmp": document("PRJ", (150, 90, 190)),
        "Folder_100.bmp": folder((240, 190, 70)),
        "Folder_100b.bmp": folder((120, 160, 220)),
        "AClip.bmp": wave((20, 50, 30), (120, 230, 140)),
        "VClip.bmp": badge("V", BLUE),
        "Audio.bmp": wave(NAVY, AMBER),
        "Template.bmp": badge("TPL", (150, 90, 190)),
        "EDL_100.bmp": badge("EDL", (40, 160, 160)),
        "Program.bmp": badge("PGM", RED),
        "NoStamp_100.bmp": badge("?", (120, 120, 120)),
        "CG_100.bmp": badge("CG", AMBER, BLACK),
    }
    for name, canvas in pictures.items():
        write_bmp(os.path.join(skin, name), canvas)
    frames = os.path.join(repo, "data", "thumbnails")
    write_bmp(os.path.join(frames, "sunrise_24bit.bmp"), key_frame_sunrise())
    write_bmp(os.path.join(frames, "colour_bars_32bit_top_down.bmp"), key_frame_bars(), bits=32, top_down=True)
    write_bmp(os.path.join(frames, "test_card_565.bmp"), key_frame_test_card(), bits=16, bitfields565=True)
    write_bmp(os.path.join(frames, "test_card_555.bmp"), key_frame_test_card(), bits=16)


if __name__ == "__main__":
    main()
