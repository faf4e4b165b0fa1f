#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files (32-bit BGRA with
an AND mask, sizes 16 and 32). Run again after changing a drawing; the .ico
files are committed so a build needs no Python."""
import math
import struct
import sys
from pathlib import Path


def clamp(v):
    return max(0, min(255, int(round(v))))


def coverage(d, soft=0.75):
    """Anti-aliased coverage for a signed distance d (negative inside)."""
    return max(0.0, min(1.0, 0.5 - d / soft))


def seg_dist(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(px - (ax + t * vx), py - (ay + t * vy))


def over(dst, src):
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa + da * (1 - sa)
    if a <= 0:
        return (0, 0, 0, 0)
    return ((sr * sa + dr * da * (1 - sa)) / a, (sg * sa + dg * da * (1 - sa)) / a,
            (sb * sa + db * da * (1 - sa)) / a, a)


def program_icon(n):
    """A rounded blue tile with a rising rate line and a gold point."""
    s = n / 32.0
    pts = [(6, 22), (12, 16), (17, 19), (25, 9)]
    pix = []
    for y in range(n):
        row = []
        for x in range(n):
            px, py = (x + 0.5) / s, (y + 0.5) / s
            # rounded square 2..30
            qx, qy = max(abs(px - 16) - 11, 0), max(abs(py - 16) - 11, 0)
            d = math.hypot(qx, qy) - 3
            c = (0, 0, 0, 0)
            a = coverage(d * s)
            if a > 0:
                t = py / 32
                c = over(c, (30 + 40 * t, 90 + 40 * (1 - t), 200 - 40 * t, a))
            dl = min(seg_dist(px, py, *pts[i], *pts[i + 1]) for i in range(3)) - 1.6
            a = coverage(dl * s)
            if a > 0:
                c = over(c, (255, 255, 255, a))
            dp = math.hypot(px - 25, py - 9) - 3.2
            a = coverage(dp * s)
            if a > 0:
                c = over(c, (255, 200, 40, a))
            row.append(c)
        pix.append(row)
    return pix


def led_icon(n, on):
    """A round LED: dark grey when off, bright green when on."""
    s = n / 32.0
    base = (40, 200, 60) if on else (95, 95, 95)
    rim = (20, 90, 30) if on else (50, 50, 50)
    pix = []
    for y in range(n):
        row = []
        for x in range(n):
            px, py = (x + 0.5) / s, (y + 0.5) / s
            r = math.hypot(px - 16, py - 16)
            c = (0, 0, 0, 0)
            a = coverage((r - 13) * s)
            if a > 0:
                c = over(c, (*rim, a))
            a = coverage((r - 11) * s)
            if a > 0:
                k = max(0.0, 1 - math.hypot(px - 12, py - 12) / 14)
                col = tuple(v + (255 - v) * k * (0.8 if on else 0.5) for v in base)
                c = over(c, (*col, a))
            row.append(c)
        pix.append(row)
    return pix


def ico(images):
    """images: list of (size, pixels as rows of (r, g, b, a 0..1))."""
    header = struct.pack('<HHH', 0, 1, len(images))
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for n, pix in images:
        bmp = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b''.join(bytes((clamp(b), clamp(g), clamp(r), clamp(a * 255)))
                       for row in reversed(pix) for (r, g, b, a) in row)
        stride = ((n + 31) // 32) * 4
        mask = b''
        for row in reversed(pix):
            bits = 0
            line = bytearray(stride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 0.5:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(line)
        blob = bmp + xor + mask
        entries += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return header + entries + blobs


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / 'resources')
    (out / 'zelvane.ico').write_bytes(ico([(32, program_icon(32)), (16, program_icon(16))]))
    (out / 'led_off.ico').write_bytes(ico([(16, led_icon(16, False)), (32, led_icon(32, False))]))
    (out / 'led_on.ico').write_bytes(ico([(16, led_icon(16, True)), (32, led_icon(32, True))]))


if __name__ == '__main__':
    main()
