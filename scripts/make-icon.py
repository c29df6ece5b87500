#!/usr/bin/env python3
"""Writes a 32x32, 256-colour .ico file: the stub's own icon (a package on a
blue square). Usage: make-icon.py OUT.ico"""
import struct, sys

SIZE = 32

def palette():
    # 0: transparent black; 1..64: blue ramp; 65..128: brown ramp; 255: white
    pal = [(0, 0, 0)] * 256
    for i in range(64):
        pal[1 + i] = (40 + i * 2, 70 + i * 2, 150 + i)        # r, g, b
        pal[65 + i] = (150 + i, 100 + i, 40 + i // 2)
    pal[255] = (255, 255, 255)
    return pal

def pixel(x, y):
    """Colour index at (x, y), y counted from the top."""
    inside_box = 8 <= x <= 23 and 10 <= y <= 25
    if inside_box:
        if x == 15 or x == 16 or y == 13:
            return 255                      # the strap
        return 65 + (x - 8) * 3
    return 1 + (y * 63) // (SIZE - 1)       # blue square, lighter downwards

def image():
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0,
                         SIZE * SIZE + SIZE * SIZE // 8, 0, 0, 256, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette())
    rows = b''.join(bytes(pixel(x, y) for x in range(SIZE)) for y in reversed(range(SIZE)))
    mask = bytes(SIZE * SIZE // 8)          # everything opaque
    data = header + pal + rows + mask
    assert len(data) == 2216
    return data

def main():
    img = image()
    ico = struct.pack('<HHH', 0, 1, 1)
    ico += struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(img), 6 + 16)
    with open(sys.argv[1], 'wb') as f:
        f.write(ico + img)

main()
