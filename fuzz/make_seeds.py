#!/usr/bin/env python3
"""Writes the seed corpora of the parser and flate fuzz targets, and the PNG
pictures of the stamp target.

The seeds are the inputs of the unit tests of the lexer, the object parser and
the flate decoder, one small file each, and small PNG files of every colour
type. Run from anywhere; the files are
written to fuzz/corpus/<Target>/ beside this script, replacing earlier ones.
"""

import hashlib
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_corpus(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds:
        digest = hashlib.sha1(data).hexdigest()[:8]
        with open(os.path.join(folder, f"{name}-{digest}"), "wb") as out:
            out.write(data)


def stream_object(entries, data, length=None):
    if length is None:
        length = len(data)
    return (b"<< " + entries + b" /Length " + str(length).encode() + b" >>\nstream\n"
            + data + b"\nendstream\n")


def parser_seeds():
    seeds = [
        ("literal-escapes", rb"(a\n\r\t\b\f\(\)\\ \q \101 \0053 \7 (nested (deep)) end)"),
        ("literal-continuation", b"(one\\\ntwo\\\r\nthree\\\rfour)"),
        ("literal-unterminated", b"(open (still open \\"),
        ("hex-strings", b"<48 65> <4> <> <zz 00 ff> <abc"),
        ("names", b"/A#42 /A#G /A#4 x /A#00B /#20 / /a/b /\x80\xff"),
        ("numbers", b"1.5.2 - --5 +5 1e5 .5 -.5 5. 00012 -0 0.000001 123456789012"),
        ("integers-wrap", b"2147483647 2147483648 4294967296 -2147483649 9223372036854775807 "
                          b"18446744073709551621"),
        ("keywords", b"true false True null NULL obj endobj R stream endstream xref trailer startxref"),
        ("delimiters", b"[ ] << >> > ) { } ( ) < >"),
        ("vertical-tab", b"12\x0bab 3"),
        ("comments", b"1%comment\r2% another\n3 %at the end"),
        ("comment-eof", b"4 % no line end"),
        ("arrays", b"[1 2.5 (s) <6869> /N [true null] << /K 1 >> 3 0 R] []"),
        ("dictionary", b"<< /Type /Page /A 1 /A 2 /B [1 2] /C << /D 3 0 R >> >>"),
        ("dictionary-stray", b"<< 1 /B 2 (x) /C 3 >> << /A ) /B 2 >> << /K >>"),
        ("references", b"5 0 R 5 0 obj 1 2 3 R 7 R -1 0 R 2147483648 0 R"),
        ("object-frame", b"12 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"),
        ("unterminated-array", b"[1 2 [3"),
        ("unterminated-dictionary", b"<< /A 1 /B << /C"),
        ("nested-arrays", b"[" * 600),
        ("nested-dictionaries", b"<< /A " * 300),
        ("nested-mixed", b"[<< /A [<< /B " * 120),
        ("stream-plain", stream_object(b"", b"hello world")),
        ("stream-short-length", stream_object(b"", b"hello world", 9)),
        ("stream-long-length", stream_object(b"", b"hello world", 12)),
        ("stream-zero-length", b"<< /Length 0 >>\nstream\nabc\nendstream\n"),
        ("stream-no-length", b"<< >>\nstream\nabc\nendstream\n"),
        ("stream-crlf", b"<< /Length 3 >>stream\r\nabc\r\nendstream"),
        ("stream-cr", b"<< /Length 3 >>stream junk\rabc endstream"),
        ("stream-indirect-length", b"<< /Length 6 0 R >>\nstream\nabcdef\nendstream\n"),
        ("stream-huge-length", b"<< /Length 99999999999 >>\nstream\nabc\nendstream\n"),
        ("stream-negative-length", b"<< /Length -3 >>\nstream\nabc\nendstream\n"),
        ("stream-flate", stream_object(b"/Filter /FlateDecode", zlib.compress(b"BT /F1 12 Tf (x) Tj ET" * 20))),
        ("stream-fl", stream_object(b"/F /Fl", zlib.compress(b"abc" * 100))),
        ("stream-filter-array", stream_object(b"/Filter [/FlateDecode]", zlib.compress(b"0123456789"))),
        ("stream-filter-chain", stream_object(b"/Filter [/FlateDecode /FlateDecode]",
                                              zlib.compress(zlib.compress(b"abc")))),
        ("stream-lzw", stream_object(b"/Filter /LZWDecode", b"\x80\x0b\x60\x50\x22\x0c\x0c\x85\x01")),
        ("stream-indirect-filter", stream_object(b"/Filter 7 0 R /DecodeParms 8 0 R",
                                                 zlib.compress(b"\x02\x01\x01\x02\x01\x01"))),
        ("stream-predictor", stream_object(b"/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 5 >>",
                                           zlib.compress(b"\x02\x01\x00\x0a\x00\x00\x02\x00\x00\x0b\x00\x05"))),
        ("stream-corrupt", stream_object(b"/Filter /FlateDecode", b"x\x9c\xff\xff\xff garbage")),
        ("xref-stream", b"9 0 obj\n" + stream_object(
            b"/Type /XRef /Size 3 /W [1 2 2] /Index [0 3] /Root 1 0 R /Filter /FlateDecode "
            b"/DecodeParms << /Columns 5 /Predictor 12 >>",
            zlib.compress(b"\x02\x00\x00\x00\xff\xff\x02\x01\x00\x0f\x00\x01\x02\x00\x00\x20\x00\x00")) + b"endobj\n"),
        ("trailer", b"trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R /ID [<0123> <4567>] /Prev 1234 >>\n"
                    b"startxref\n5678\n%%EOF\n"),
        ("xref-table", b"xref\n0 3\n0000000000 65535 f \n0000000017 00000 n \n0000000081 00000 n \n"),
        ("binary", bytes(range(256))),
    ]
    return seeds


def flate_header(predictor_index, columns, colors, bits_index, flags=0, chunk=0, big_columns=False,
                 big_colors=False):
    if big_columns:
        flags |= 1
    if big_colors:
        flags |= 2
    return (bytes([predictor_index, flags]) + struct.pack("<i", columns) + struct.pack("<i", colors)
            + bytes([bits_index, chunk]))


# Indices into the tables of FlateFuzzer.cpp.
PRED = {1: 0, 2: 1, 10: 2, 11: 3, 12: 4, 13: 5, 14: 6, 15: 7, 0: 8, -1: 9, 3: 10, 9: 11}
BITS = {1: 0, 2: 1, 4: 2, 8: 3, 16: 4, 0: 8, 3: 9, -1: 10, 32: 11}
COMPRESS_HERE = 4
LENGTH_FAR = 1 << 3
LENGTH_MAX = 2 << 3
LENGTH_ZERO = 3 << 3
OFFSET_ONE = 32
READ_CHUNKS = 1 << 6
READ_LOOK = 2 << 6
READ_VIEW = 3 << 6


def png_rows(rows, types):
    out = b""
    for i, row in enumerate(rows):
        out += bytes([types[i % len(types)]]) + row
    return out


def flate_seeds():
    image = [bytes((x * 7 + y * 13) & 0xFF for x in range(12)) for y in range(6)]
    text = b"The quick brown fox jumps over the lazy dog. " * 40
    seeds = [
        ("plain", flate_header(PRED[1], 1, 1, BITS[8]) + zlib.compress(text)),
        ("plain-compress-here", flate_header(PRED[1], 1, 1, BITS[8], COMPRESS_HERE) + text),
        ("plain-chunks", flate_header(PRED[1], 1, 1, BITS[8], READ_CHUNKS, 99) + zlib.compress(text)),
        ("plain-look", flate_header(PRED[1], 1, 1, BITS[8], READ_LOOK) + zlib.compress(text)),
        ("plain-view", flate_header(PRED[1], 1, 1, BITS[8], READ_VIEW, 10) + zlib.compress(text)),
        ("length-far", flate_header(PRED[1], 1, 1, BITS[8], LENGTH_FAR) + zlib.compress(text)),
        ("length-max", flate_header(PRED[1], 1, 1, BITS[8], LENGTH_MAX | OFFSET_ONE) + zlib.compress(text)),
        ("length-zero", flate_header(PRED[1], 1, 1, BITS[8], LENGTH_ZERO) + zlib.compress(text)),
        ("offset-one", flate_header(PRED[12], 12, 1, BITS[8], OFFSET_ONE) + zlib.compress(png_rows(image, [2]))),
        ("truncated", flate_header(PRED[1], 1, 1, BITS[8]) + zlib.compress(text)[:-30]),
        ("corrupt", flate_header(PRED[1], 1, 1, BITS[8]) + b"x\x9c" + b"\xff" * 40),
        ("bad-checksum", flate_header(PRED[1], 1, 1, BITS[8]) + zlib.compress(text)[:-1] + b"\x00"),
        ("zeros", flate_header(PRED[1], 1, 1, BITS[8]) + zlib.compress(bytes(300000), 9)),
        ("xref-rows", flate_header(PRED[12], 5, 1, BITS[8]) + zlib.compress(
            b"\x02\x01\x00\x0a\x00\x00\x02\x00\x00\x0b\x00\x05\x02\x00\x00\x0c\x00\x00")),
        ("last-row-short", flate_header(PRED[12], 5, 1, BITS[8]) + zlib.compress(
            b"\x02\x01\x00\x0a\x00\x00\x02\x00\x00")),
        ("tiff-8-rgb", flate_header(PRED[2], 4, 3, BITS[8]) + zlib.compress(b"".join(image))),
        ("predictor-invalid-columns", flate_header(PRED[12], 0, 1, BITS[8]) + zlib.compress(text)),
        ("predictor-invalid-colors", flate_header(PRED[12], 4, 0, BITS[8]) + zlib.compress(text)),
        ("predictor-invalid-bits", flate_header(PRED[12], 4, 1, BITS[3]) + zlib.compress(text)),
        ("predictor-huge-row", flate_header(PRED[12], 0x7fffffff, 0x7fffffff, BITS[16], big_columns=True,
                                            big_colors=True) + zlib.compress(text)),
        ("predictor-negative", flate_header(PRED[-1], 3, 1, BITS[8]) + zlib.compress(text)),
        ("predictor-rows-only", flate_header(PRED[3], 7, 1, BITS[8]) + zlib.compress(text)),
    ]
    for types, name in (([0], "none"), ([1], "sub"), ([2], "up"), ([3], "average"), ([4], "paeth"),
                        ([0, 1, 2, 3, 4, 7], "mixed")):
        seeds.append(("png-" + name, flate_header(PRED[10], 4, 3, BITS[8], COMPRESS_HERE)
                      + png_rows(image, types)))
    for bits in (1, 2, 4, 8, 16):
        for colors in (1, 3):
            row_bytes = (5 * colors * bits + 7) // 8
            data = bytes((i * 37 + 11) & 0xFF for i in range(row_bytes * 4))
            seeds.append((f"tiff-{bits}-{colors}", flate_header(PRED[2], 5, colors, BITS[bits], COMPRESS_HERE)
                          + data))
    for bits in (1, 2, 4, 16):
        seeds.append((f"png-paeth-{bits}", flate_header(PRED[14], 6, 2, BITS[bits], COMPRESS_HERE)
                      + png_rows([bytes((x * 29 + y) & 0xFF for x in range((12 * bits + 7) // 8))
                                  for y in range(5)], [4, 3, 1])))
    return seeds


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, color_type, depth, interlace=0, palette=b"", transparency=b""):
    """A picture of varied samples; interlaced ones get each Adam7 pass's lines."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    bits = channels * depth
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    raw = b""
    for x0, y0, dx, dy in passes if interlace else [(0, 0, 1, 1)]:
        columns = (width - x0 + dx - 1) // dx if width > x0 else 0
        for y in range(y0, height, dy):
            if columns:
                raw += bytes([y % 5]) + bytes((x * 37 + y * 11) & 0xFF for x in range((columns * bits + 7) // 8))
    header = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, interlace)
    data = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
    if palette:
        data += png_chunk(b"PLTE", palette)
    if transparency:
        data += png_chunk(b"tRNS", transparency)
    return data + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")


def png_seeds():
    palette = bytes(range(48))
    rgba = png(9, 7, 6, 8)
    return [
        ("png-grey-1", png(9, 7, 0, 1)),
        ("png-grey-4-interlaced", png(9, 7, 0, 4, 1)),
        ("png-grey-16-trns", png(9, 7, 0, 16, transparency=b"\x00\x05")),
        ("png-grey-alpha-8", png(9, 7, 4, 8)),
        ("png-rgb-8-trns", png(9, 7, 2, 8, transparency=b"\x00\x01\x00\x02\x00\x03")),
        ("png-rgb-16-interlaced", png(9, 7, 2, 16, 1)),
        ("png-rgba-8", rgba),
        ("png-rgba-16-interlaced", png(9, 7, 6, 16, 1)),
        ("png-palette-4-trns", png(9, 7, 3, 4, palette=palette, transparency=b"\x00\x80")),
        ("png-palette-8-interlaced", png(9, 7, 3, 8, 1, palette=palette)),
        ("png-truncated", rgba[: len(rgba) // 2]),
        ("png-bad-crc", rgba[:29] + bytes([rgba[29] ^ 1]) + rgba[30:]),
    ]


def main():
    write_corpus("ParserFuzzer", parser_seeds())
    write_corpus("FlateFuzzer", flate_seeds())
    write_corpus("StampFuzzer", png_seeds())


if __name__ == "__main__":
    main()
