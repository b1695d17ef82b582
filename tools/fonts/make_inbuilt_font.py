#!/usr/bin/python3
"""Writes src/text/inbuilt_font_data.cpp, the glyphs of the inbuilt 8x8 font, from the public-domain
5x8 ISO 8859-1 font of Debian's xfonts-base (misc-fixed). Each glyph is placed one column in from
the left of a six-column slot of the glyph strip; codes the source lacks (127 to 159) and the
entry for codes outside 32..255 are a hollow box.

usage: make_inbuilt_font.py [PCF.gz] > src/text/inbuilt_font_data.cpp
"""
import gzip
import struct
import sys

SOURCE = "/usr/share/fonts/X11/misc/5x8-ISO8859-1.pcf.gz"
MODULO = 188          # bytes per strip row: 1504 x 8 pixels
SLOT = 6              # bit width of every glyph in the strip
FIRST, LAST = 32, 255
ROWS = 8
ASCENT = 7            # rows of the cell above the source font's baseline


def tables(data):
    count = struct.unpack("<I", data[4:8])[0]
    toc = {}
    for i in range(count):
        kind, fmt, size, offset = struct.unpack("<IIII", data[8 + 16 * i:24 + 16 * i])
        toc[kind] = (fmt, size, offset)
    return toc


def order(fmt):
    return ">" if fmt & 4 else "<"


def read_metrics(data, toc):
    fmt, _, off = toc[4]
    e = order(struct.unpack("<I", data[off:off + 4])[0])
    fmt = struct.unpack("<I", data[off:off + 4])[0]
    out = []
    if fmt & 0x100:
        n = struct.unpack(e + "H", data[off + 4:off + 6])[0]
        for i in range(n):
            b = data[off + 6 + 5 * i:off + 11 + 5 * i]
            out.append(tuple(x - 0x80 for x in b))
    else:
        n = struct.unpack(e + "I", data[off + 4:off + 8])[0]
        for i in range(n):
            out.append(struct.unpack(e + "5h", data[off + 8 + 12 * i:off + 18 + 12 * i]))
    return out  # left, right, width, ascent, descent


def read_bitmaps(data, toc):
    _, _, off = toc[8]
    fmt = struct.unpack("<I", data[off:off + 4])[0]
    e = order(fmt)
    n = struct.unpack(e + "I", data[off + 4:off + 8])[0]
    offsets = struct.unpack(e + "%dI" % n, data[off + 8:off + 8 + 4 * n])
    sizes = struct.unpack(e + "4I", data[off + 8 + 4 * n:off + 24 + 4 * n])
    base = off + 24 + 4 * n
    pad = 1 << (fmt & 3)
    return offsets, data[base:base + sizes[fmt & 3]], pad, bool(fmt & 8)


def read_encoding(data, toc):
    _, _, off = toc[0x20]
    fmt = struct.unpack("<I", data[off:off + 4])[0]
    e = order(fmt)
    min2, max2, min1, max1, _ = struct.unpack(e + "5H", data[off + 4:off + 14])
    cols = max2 - min2 + 1
    n = cols * (max1 - min1 + 1)
    idx = struct.unpack(e + "%dH" % n, data[off + 14:off + 14 + 2 * n])
    result = {}
    for b1 in range(min1, max1 + 1):
        for b2 in range(min2, max2 + 1):
            g = idx[(b1 - min1) * cols + b2 - min2]
            if g != 0xFFFF:
                result[b1 * 256 + b2] = g
    return result


def glyph_cells(path):
    data = gzip.open(path).read()
    toc = tables(data)
    metrics = read_metrics(data, toc)
    offsets, bits, pad, msb_bit = read_bitmaps(data, toc)
    enc = read_encoding(data, toc)
    cells = {}
    for code, g in enc.items():
        left, right, _, ascent, descent = metrics[g]
        width = right - left
        stride = ((width + 7) // 8 + pad - 1) // pad * pad
        cell = [[0] * SLOT for _ in range(ROWS)]
        for r in range(ascent + descent):
            y = ASCENT - ascent + r
            for c in range(width):
                byte = bits[offsets[g] + r * stride + c // 8]
                on = (byte >> (7 - c % 8)) & 1 if msb_bit else (byte >> (c % 8)) & 1
                x = 1 + left + c
                if on and 0 <= y < ROWS and 0 <= x < SLOT:
                    cell[y][x] = 1
        cells[code] = cell
    return cells


def box():
    cell = [[0] * SLOT for _ in range(ROWS)]
    for y in range(1, 7):
        for x in range(1, 5):
            if y in (1, 6) or x in (1, 4):
                cell[y][x] = 1
    return cell


def main():
    cells = glyph_cells(sys.argv[1] if len(sys.argv) > 1 else SOURCE)
    glyphs = [cells.get(code, box()) for code in range(FIRST, LAST + 1)] + [box()]
    strip = [[0] * (MODULO * 8) for _ in range(ROWS)]
    for i, cell in enumerate(glyphs):
        for y in range(ROWS):
            for x in range(SLOT):
                strip[y][i * SLOT + x] = cell[y][x]
    out = sys.stdout
    out.write("// The glyphs of the inbuilt 8x8 font, written by tools/fonts/make_inbuilt_font.py from the\n")
    out.write("// public-domain 5x8 ISO 8859-1 font of the X misc-fixed collection (licence: fonts/INBUILT-FONT.txt).\n")
    out.write('#include "text/inbuilt_font_data.h"\n\n')
    out.write("const uint32_t kInbuiltCharLoc[QZ_INBUILT_NCHARS] = {\n")
    for i in range(0, len(glyphs), 8):
        row = ", ".join("0x%08X" % ((j * SLOT) << 16 | SLOT) for j in range(i, min(i + 8, len(glyphs))))
        out.write("    %s,\n" % row)
    out.write("};\n\nconst uint8_t kInbuiltStrip[QZ_INBUILT_MODULO * 8] = {\n")
    for y in range(ROWS):
        bytes_ = []
        for b in range(MODULO):
            v = 0
            for k in range(8):
                v = v << 1 | strip[y][b * 8 + k]
            bytes_.append(v)
        for i in range(0, MODULO, 16):
            out.write("    %s,\n" % ", ".join("0x%02X" % v for v in bytes_[i:i + 16]))
    out.write("};\n")


if __name__ == "__main__":
    main()
