#!/usr/bin/env python3
"""Draws the two program icons and writes them as Windows .ico files.

    delicon.ico  - the uninstaller: the archive books with a red "remove" badge
    mvxicon.ico  - Melvox itself: three strapped books

Every file holds three 24-bit images in the order 32x32, 16x16, 48x48, each
a BITMAPINFOHEADER DIB (bottom-up XOR bitmap followed by a 1-bit AND mask).

Usage:
    python3 scripts/make-icons.py               write into src/resources/icons/
    python3 scripts/make-icons.py --out DIR     write into DIR
    python3 scripts/make-icons.py --check       validate the files already written
    python3 scripts/make-icons.py --preview DIR also write 4x PNG previews to DIR

Only the standard library is used and the output is byte-for-byte the same on
every run, so the .ico files can be regenerated and diffed at any time.
"""

import argparse
import os
import struct
import sys
import zlib

SIZES = (32, 16, 48)          # order of the images inside each .ico
ICON_NAMES = ("delicon.ico", "mvxicon.ico")
DEFAULT_OUT = os.path.join("src", "resources", "icons")


# --------------------------------------------------------------------------
# A tiny flat-colour canvas.  Shapes are tested at pixel centres, with no
# antialiasing, so every size gets hard, crisp edges.
# --------------------------------------------------------------------------

class Canvas:
    def __init__(self, size):
        self.size = size
        self.rgb = [[(0, 0, 0)] * size for _ in range(size)]
        self.opaque = [[False] * size for _ in range(size)]

    def put(self, x, y, color):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.rgb[y][x] = color
            self.opaque[y][x] = True

    def rect(self, x0, y0, x1, y1, color):
        """Fills the pixels x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.size, y1)):
            for x in range(max(0, x0), min(self.size, x1)):
                self.put(x, y, color)

    def rrect(self, x0, y0, x1, y1, radius, color):
        """Rectangle with its corners rounded off by a circle of `radius`."""
        r = float(radius)
        for y in range(max(0, y0), min(self.size, y1)):
            for x in range(max(0, x0), min(self.size, x1)):
                px, py = x + 0.5, y + 0.5
                cx = min(max(px, x0 + r), x1 - r)
                cy = min(max(py, y0 + r), y1 - r)
                if (px - cx) ** 2 + (py - cy) ** 2 <= r * r + 1e-9:
                    self.put(x, y, color)

    def circle(self, cx, cy, r, color):
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r + 1e-9:
                    self.put(x, y, color)


def shade(color, factor):
    """Darker (factor < 1) or lighter (factor > 1) version of a colour."""
    if factor <= 1:
        return tuple(int(round(c * factor)) for c in color)
    return tuple(int(round(c + (255 - c) * (factor - 1))) for c in color)


# --------------------------------------------------------------------------
# Artwork.  All three sizes are multiples of 16, so the layout is planned on
# a 16-pixel grid and scaled by u = size/16; outlines stay one pixel wide and
# the larger sizes get a few extra details.
# --------------------------------------------------------------------------

BOOK_COLORS = ((206, 52, 44),    # red
               (58, 150, 64),    # green
               (44, 96, 196))    # blue
GOLD = (236, 190, 60)
STRAP = (120, 78, 40)
STRAP_LIGHT = (168, 116, 64)
BUCKLE = (200, 200, 204)
LABEL = (244, 236, 212)
OUTLINE = (40, 32, 28)
BADGE_RED = (214, 32, 32)
WHITE = (255, 255, 255)


def draw_book(c, u, x0, y0, x1, y1, color, overlap=0):
    """One book seen from the spine: outline, body, light top edge, gold bands."""
    X0, Y0, X1, Y1 = x0 * u, y0 * u, x1 * u, y1 * u + overlap
    c.rrect(X0, Y0, X1, Y1, 0.6 * u if u > 1 else 0, OUTLINE)
    c.rect(X0 + 1, Y0 + 1, X1 - 1, Y1 - 1, color)
    # highlight along the top of the spine, shadow along the bottom
    c.rect(X0 + 1, Y0 + 1, X1 - 1, Y0 + 1 + max(1, u // 2), shade(color, 1.35))
    if u > 1:
        c.rect(X0 + 1, Y1 - 2, X1 - 1, Y1 - 1, shade(color, 0.75))
    # gold bands near both ends of the spine
    band = 1 if u < 3 else 2
    inner_top, inner_bottom = Y0 + 1, Y1 - 1
    for bx in (X0 + 1 + u, X1 - 1 - u - band):
        c.rect(bx, inner_top, bx + band, inner_bottom, GOLD)
    if u > 1:
        # title label a little right of the first band
        lx0 = X0 + 2 * u + band + 1
        lx1 = lx0 + 3 * u
        mid = (inner_top + 1 + inner_bottom) // 2
        ly0, ly1 = mid - u // 2 - 1, mid + (u + 1) // 2 + 1
        c.rect(lx0, ly0, lx1, ly1, shade(color, 0.55))
        c.rect(lx0 + 1, ly0 + 1, lx1 - 1, ly1 - 1, LABEL)


def draw_archive(c):
    """Three stacked books held together by a leather strap with a buckle."""
    S = c.size
    u = S // 16
    # books, bottom first so the upper ones overlap the shared outline
    books = ((1, 11, 15, 15, BOOK_COLORS[2]),
             (2, 7, 14, 11, BOOK_COLORS[1]),
             (1, 3, 14, 7, BOOK_COLORS[0]))
    for x0, y0, x1, y1, color in books:
        # y1 reaches one pixel into the book below so neighbours share an outline
        draw_book(c, u, x0, y0, x1, y1, color, 1)

    # the strap runs round the stack, from above the top book to below the
    # bottom one, with a buckle on the front of the middle book
    if u == 1:
        # at 16x16 there is no room for outlines: a two-tone strap and a
        # small metal ring are enough to read as a buckled belt
        c.rect(9, 2, 11, 16, STRAP)
        c.rect(9, 2, 10, 16, STRAP_LIGHT)
        c.rect(8, 8, 12, 11, BUCKLE)
        c.rect(9, 9, 11, 10, OUTLINE)
        return
    sx0 = 9 * u
    sw = 2 * u - (1 if u == 3 else 0)
    top, bottom = 2 * u, 16 * u
    c.rect(sx0 - 1, top, sx0 + sw + 1, bottom, OUTLINE)
    c.rect(sx0, top + 1, sx0 + sw, bottom - 1, STRAP)
    c.rect(sx0, top + 1, sx0 + 1, bottom - 1, STRAP_LIGHT)
    # buckle: a metal frame over the strap, with the prong across it
    by0, by1 = 7 * u + 1, 11 * u
    bx0, bx1 = sx0 - u // 2 - 1, sx0 + sw + u // 2 + 1
    c.rect(bx0, by0, bx1, by1, OUTLINE)
    c.rect(bx0 + 1, by0 + 1, bx1 - 1, by1 - 1, BUCKLE)
    c.rect(bx0 + 2, by0 + 2, bx1 - 2, by1 - 2, STRAP)
    c.rect(bx0 + 2, (by0 + by1) // 2, bx1 - 2, (by0 + by1) // 2 + 1, BUCKLE)


def draw_remove_badge(c):
    """Red round badge with a white minus in the bottom-right corner."""
    S = c.size
    u = S // 16
    if u == 1:
        # 8 px disc with a dark rim and a 4x2 bar, centred on the pixel grid
        c.circle(12, 12, 4, OUTLINE)
        c.circle(12, 12, 3.1, BADGE_RED)
        c.rect(10, 11, 14, 13, WHITE)
        return
    r = 3.25 * u
    cx = cy = S - r
    c.circle(cx, cy, r, WHITE)
    c.circle(cx, cy, r - 1, shade(BADGE_RED, 0.7))
    c.circle(cx, cy, r - 2, BADGE_RED)
    half = r - 2 * u
    thick = u + (u // 3)
    top = int(round(cy - thick / 2.0))
    c.rect(int(round(cx - half)), top, int(round(cx + half)), top + thick, WHITE)


def draw_mvx(size):
    c = Canvas(size)
    draw_archive(c)
    return c


def draw_del(size):
    c = Canvas(size)
    draw_archive(c)
    draw_remove_badge(c)
    return c


ARTWORK = {"mvxicon.ico": draw_mvx, "delicon.ico": draw_del}


# --------------------------------------------------------------------------
# .ico encoding
# --------------------------------------------------------------------------

def xor_stride(size):
    return (size * 3 + 3) & ~3


def and_stride(size):
    return ((size + 31) // 32) * 4


def encode_dib(c):
    """BITMAPINFOHEADER + bottom-up 24-bit XOR bitmap + 1-bit AND mask."""
    n = c.size
    xs, ms = xor_stride(n), and_stride(n)
    xor = bytearray()
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray()
        bits = bytearray(ms)
        for x in range(n):
            if c.opaque[y][x]:
                r, g, b = c.rgb[y][x]
                row += bytes((b, g, r))
            else:
                # transparent: black in XOR, set in AND, so the screen shows through
                row += b"\0\0\0"
                bits[x >> 3] |= 0x80 >> (x & 7)
        row += b"\0" * (xs - len(row))
        xor += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 24, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(canvases):
    images = [encode_dib(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        dim = c.size if c.size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def build_icon(name):
    return encode_ico([ARTWORK[name](s) for s in SIZES])


# --------------------------------------------------------------------------
# Reading back and validating
# --------------------------------------------------------------------------

class IconError(Exception):
    pass


def parse_ico(data):
    """Parses an .ico produced by this script; raises IconError on anything
    that does not match the expected layout.  Returns a list of
    (size, rows, opaque) where rows[y][x] is an (r, g, b) tuple, top row first."""
    if len(data) < 6:
        raise IconError("file too short for ICONDIR")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise IconError("not an icon file (reserved=%d type=%d)" % (reserved, kind))
    if count != len(SIZES):
        raise IconError("expected %d images, found %d" % (len(SIZES), count))
    if len(data) < 6 + 16 * count:
        raise IconError("file too short for the directory entries")
    expected_offset = 6 + 16 * count
    images = []
    for i in range(count):
        w, h, colors, res, planes, bpp, nbytes, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        size = SIZES[i]
        where = "image %d" % i
        if (w, h) != (size, size):
            raise IconError("%s: entry says %dx%d, expected %dx%d" % (where, w, h, size, size))
        if colors != 0 or res != 0 or planes != 1 or bpp != 24:
            raise IconError("%s: entry colours=%d reserved=%d planes=%d bpp=%d"
                            % (where, colors, res, planes, bpp))
        if offset != expected_offset:
            raise IconError("%s: offset %d, expected %d" % (where, offset, expected_offset))
        xs, ms = xor_stride(size), and_stride(size)
        want = 40 + xs * size + ms * size
        if nbytes != want:
            raise IconError("%s: %d bytes in resource, expected %d" % (where, nbytes, want))
        if offset + nbytes > len(data):
            raise IconError("%s: runs past the end of the file" % where)
        (hsize, bw, bh, bplanes, bbits, comp, simage) = struct.unpack_from(
            "<IiiHHII", data, offset)
        if hsize != 40 or bw != size or bh != 2 * size or bplanes != 1 or bbits != 24 or comp != 0:
            raise IconError("%s: bad BITMAPINFOHEADER (size=%d w=%d h=%d planes=%d bits=%d comp=%d)"
                            % (where, hsize, bw, bh, bplanes, bbits, comp))
        if simage not in (0, xs * size + ms * size):
            raise IconError("%s: biSizeImage %d does not match the bitmaps" % (where, simage))
        xor_at = offset + 40
        and_at = xor_at + xs * size
        rows, opaque = [], []
        for y in range(size):
            src = size - 1 - y          # bottom-up
            xrow = data[xor_at + src * xs: xor_at + (src + 1) * xs]
            mrow = data[and_at + src * ms: and_at + (src + 1) * ms]
            if any(xrow[size * 3:]):
                raise IconError("%s: XOR row padding is not zero" % where)
            rows.append([(xrow[3 * x + 2], xrow[3 * x + 1], xrow[3 * x]) for x in range(size)])
            opaque.append([not (mrow[x >> 3] & (0x80 >> (x & 7))) for x in range(size)])
            if any(mrow[x >> 3] & (0x80 >> (x & 7)) for x in range(size, ms * 8)):
                raise IconError("%s: AND mask row padding is not zero" % where)
        images.append((size, rows, opaque))
        expected_offset += nbytes
    if expected_offset != len(data):
        raise IconError("%d trailing bytes after the last image" % (len(data) - expected_offset))
    return images


def check_images(name, images):
    """Sanity of the artwork itself: transparent pixels are black in the XOR
    bitmap, the corners are see-through and the picture covers a fair part
    of the square."""
    for size, rows, opaque in images:
        where = "%s %dx%d" % (name, size, size)
        for y in range(size):
            for x in range(size):
                if not opaque[y][x] and rows[y][x] != (0, 0, 0):
                    raise IconError("%s: transparent pixel (%d,%d) is not black" % (where, x, y))
        if opaque[0][0] or opaque[0][size - 1]:
            raise IconError("%s: top corners should be transparent" % where)
        filled = sum(sum(r) for r in opaque)
        if not size * size // 3 <= filled <= size * size * 9 // 10:
            raise IconError("%s: %d of %d pixels opaque" % (where, filled, size * size))
        colors = {rows[y][x] for y in range(size) for x in range(size) if opaque[y][x]}
        if len(colors) < 5:
            raise IconError("%s: only %d colours, the artwork looks broken" % (where, len(colors)))
        if name == "delicon.ico":
            # the remove badge must sit in the bottom-right corner
            corner = [rows[y][x] for y in range(size * 3 // 4, size)
                      for x in range(size * 3 // 4, size) if opaque[y][x]]
            if not any(r > 180 and g < 80 and b < 80 for r, g, b in corner):
                raise IconError("%s: no red badge in the bottom-right corner" % where)


def check(out_dir):
    ok = True
    for name in ICON_NAMES:
        path = os.path.join(out_dir, name)
        try:
            with open(path, "rb") as f:
                data = f.read()
            images = parse_ico(data)
            check_images(name, images)
            if data != build_icon(name):
                raise IconError("differs from what this script draws now; regenerate it")
        except (OSError, IconError) as e:
            print("FAIL %s: %s" % (path, e))
            ok = False
            continue
        print("ok   %s (%d bytes, %s)" % (path, len(data),
                                         ", ".join("%dx%d" % (s, s) for s in SIZES)))
    return ok


# --------------------------------------------------------------------------
# PNG previews, for looking at the artwork while working on it
# --------------------------------------------------------------------------

def write_png(path, width, height, pixels):
    """pixels: list of rows of (r, g, b)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b in row:
            raw += bytes((r, g, b))

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def preview(ico_dir, preview_dir, scale=4):
    """One sheet per icon: every size at `scale`, on a light and a dark
    checkerboard, plus each size at 1:1 underneath."""
    os.makedirs(preview_dir, exist_ok=True)
    for name in ICON_NAMES:
        with open(os.path.join(ico_dir, name), "rb") as f:
            images = parse_ico(f.read())
        gap = 8
        width = gap + sum(s * scale + gap for s in SIZES)
        height = gap + 2 * (48 * scale + gap) + 48 + gap
        sheet = [[(128, 128, 128)] * width for _ in range(height)]
        for band, base in enumerate(((236, 236, 236), (40, 40, 52))):
            x0 = gap
            y0 = gap + band * (48 * scale + gap)
            for size, rows, opaque in images:
                for y in range(size * scale):
                    for x in range(size * scale):
                        sx, sy = x // scale, y // scale
                        if opaque[sy][sx]:
                            px = rows[sy][sx]
                        else:
                            check_ = ((x // 8) + (y // 8)) & 1
                            px = shade(base, 0.92 if check_ else 1.0) if band == 0 \
                                else shade(base, 1.15 if check_ else 1.0)
                        sheet[y0 + y][x0 + x] = px
                x0 += size * scale + gap
        x0 = gap
        y0 = gap + 2 * (48 * scale + gap)
        for size, rows, opaque in images:
            for y in range(size):
                for x in range(size):
                    sheet[y0 + y][x0 + x] = rows[y][x] if opaque[y][x] else (236, 236, 236)
            x0 += size + gap
        out = os.path.join(preview_dir, os.path.splitext(name)[0] + ".png")
        write_png(out, width, height, sheet)
        print("preview %s" % out)


def main(argv=None):
    ap = argparse.ArgumentParser(description="Generate the program icons.")
    ap.add_argument("--out", default=DEFAULT_OUT,
                    help="folder for the .ico files (default: %(default)s)")
    ap.add_argument("--check", action="store_true",
                    help="validate the .ico files in the folder instead of writing them")
    ap.add_argument("--preview", metavar="DIR",
                    help="also write 4x PNG previews of the icons into DIR")
    args = ap.parse_args(argv)

    if args.check:
        return 0 if check(args.out) else 1

    os.makedirs(args.out, exist_ok=True)
    for name in ICON_NAMES:
        data = build_icon(name)
        path = os.path.join(args.out, name)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (path, len(data)))
    if args.preview:
        preview(args.out, args.preview)
    return 0


if __name__ == "__main__":
    sys.exit(main())
