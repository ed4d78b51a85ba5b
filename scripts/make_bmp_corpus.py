#!/usr/bin/env python3
"""Writes the BMP test files: malformed files, each named for its defect
(tests/imaging/data/bad/), and small valid files of every supported layout
(tests/imaging/data/good/, also the fuzz seed corpus fuzz/corpus/bmp/).

    scripts/make_bmp_corpus.py [REPO]
"""
import os
import struct
import sys


def bmp(width, height, bits, data, compression=0, offset=None, masks=b"", size_image=None, file_size=None):
    offset = 54 + len(masks) if offset is None else offset
    size_image = len(data) if size_image is None else size_image
    file_size = offset + len(data) if file_size is None else file_size
    header = struct.pack("<2sIHHI", b"BM", file_size & 0xFFFFFFFF, 0, 0, offset & 0xFFFFFFFF)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, size_image & 0xFFFFFFFF, 0, 0, 0, 0)
    return header + info + masks + data


def rows(width, height, bits, seed=7):
    row_size = (width * bits + 31) // 32 * 4
    return bytes((seed + 31 * i) & 0xFF for i in range(row_size * height))


MASKS_565 = struct.pack("<III", 0xF800, 0x07E0, 0x001F)


def good():
    return {
        "rgb24_bottom_up_5x3.bmp": bmp(5, 3, 24, rows(5, 3, 24)),
        "rgb24_top_down_5x3.bmp": bmp(5, -3, 24, rows(5, 3, 24)),
        "rgb32_top_down_4x4.bmp": bmp(4, -4, 32, rows(4, 4, 32)),
        "rgb555_3x2.bmp": bmp(3, 2, 16, rows(3, 2, 16)),
        "rgb565_bitfields_3x2.bmp": bmp(3, 2, 16, rows(3, 2, 16), compression=3, masks=MASKS_565),
        "rgb555_gap_before_data_2x2.bmp": bmp(2, 2, 16, b"\xAA" * 10 + rows(2, 2, 16), offset=64),
        "palette8_read_as_rows_4x2.bmp": bmp(4, 2, 8, rows(4, 2, 8)),
    }


def bad():
    ok24 = rows(4, 4, 24)
    return {
        "empty_file.bmp": b"",
        "truncated_file_header.bmp": b"BM\x00\x01\x00\x00\x00\x00",
        "truncated_info_header.bmp": bmp(4, 4, 24, ok24)[:40],
        "zero_width.bmp": bmp(0, 4, 24, ok24),
        "zero_height.bmp": bmp(4, 0, 24, ok24),
        "width_minimum_int.bmp": bmp(-2**31, 4, 24, ok24),
        "height_minimum_int.bmp": bmp(4, -2**31, 24, ok24),
        "width_beyond_32767.bmp": bmp(40000, 1, 24, ok24),
        "height_beyond_32767_top_down.bmp": bmp(1, -40000, 24, ok24),
        "pixel_product_beyond_512_mib.bmp": bmp(30000, 30000, 24, ok24),
        "width_times_bits_overflows_32_bits.bmp": bmp(32767, 32767, 32, ok24),
        "bit_count_zero.bmp": bmp(4, 4, 0, ok24),
        "bit_count_48.bmp": bmp(4, 4, 48, rows(4, 4, 48)),
        "rows_longer_than_file.bmp": bmp(1000, 1000, 24, ok24),
        "last_row_one_byte_short.bmp": bmp(4, 4, 24, ok24[:-1]),
        "top_down_truncated.bmp": bmp(4, -4, 24, ok24[:20]),
        "rgb555_data_offset_past_end.bmp": bmp(2, 2, 16, rows(2, 2, 16), offset=0x7FFFFFF0),
        "rgb555_data_offset_leaves_too_few_rows.bmp": bmp(2, 2, 16, rows(2, 2, 16), offset=60),
        "rgb565_masks_missing.bmp": bmp(3, 2, 16, b"", compression=3),
        "rgb565_masks_cut_short.bmp": bmp(3, 2, 16, b"", compression=3) + MASKS_565[:5],
        "header_claims_small_size_rows_missing.bmp": bmp(64, 64, 32, b"", size_image=16, file_size=70),
    }


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    targets = {
        os.path.join(repo, "tests", "imaging", "data", "bad"): bad(),
        os.path.join(repo, "tests", "imaging", "data", "good"): good(),
        os.path.join(repo, "fuzz", "corpus", "bmp"): good(),
    }
    for folder, files in targets.items():
        os.makedirs(folder, exist_ok=True)
        for name, content in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)


if __name__ == "__main__":
    main()
