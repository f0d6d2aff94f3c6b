#!/usr/bin/env python3
"""Draws the three button pictures of the Online Update dialog and prints them as the Glyph.Data
blocks of its form resource (update/iupdate_form.txt), so that the pictures can be redrawn.

Each picture is an 18 x 18 image in the 16 colours of the classic palette; olive is the
transparent colour (the bottom-left pixel names it). Download and Cancel carry two images side by
side, enabled and disabled; Stop carries one (the layer makes its disabled look).

Usage: python3 update/tools/draw_glyphs.py   (prints the three blocks to paste)
"""
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Letters used in the drawings, by palette index.
INK = {'.': 3, 'k': 0, 'm': 1, 'g': 2, 'n': 4, 'd': 7, 's': 8, 'r': 9, 'l': 10, 'w': 15}
SIZE = 18


def blank():
    return [['.'] * SIZE for _ in range(SIZE)]


def download_arrow():
    """A lime arrow with a green edge pointing down onto a black tray."""
    p = blank()
    for y in range(1, 7):  # the shaft
        for x in range(6, 12):
            p[y][x] = 'g' if x in (6, 11) or y == 1 else 'l'
    for row in range(7):  # the head, narrowing downwards
        y, left, right = 7 + row, 2 + row, 15 - row
        for x in range(left, right + 1):
            edge = x in (left, right) or row == 6 or (row == 0 and not 7 <= x <= 10)
            p[y][x] = 'g' if edge else 'l'
    for x in range(1, 17):  # the tray
        p[16][x] = 'k'
    p[15][1] = p[15][16] = 'k'
    return p


def cancel_cross():
    """A red cross with a maroon edge."""
    p = blank()
    red = lambda x, y: 3 <= x <= 14 and 3 <= y <= 14 and min(abs(x - y), abs(x + y - 17)) <= 1
    for y in range(SIZE):
        for x in range(SIZE):
            if red(x, y):
                p[y][x] = 'r'
            elif any(red(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                p[y][x] = 'm'
    return p


def stop_sign():
    """A red octagon with a maroon edge and a white bar."""
    p = blank()
    c = 8.5
    inside = lambda x, y: abs(x - c) <= 7.5 and abs(y - c) <= 7.5 and abs(x - c) + abs(y - c) <= 11
    for y in range(SIZE):
        for x in range(SIZE):
            if not inside(x, y):
                continue
            edge = not all(inside(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            p[y][x] = 'm' if edge else 'r'
    for y in (7, 8, 9, 10):
        for x in range(4, 14):
            p[y][x] = 'w'
    return p


def disabled(p):
    """The platform's disabled look: the shape in grey, with a white shadow below right."""
    q = blank()
    for y in range(SIZE):
        for x in range(SIZE):
            if p[y][x] != '.' and y + 1 < SIZE and x + 1 < SIZE:
                q[y + 1][x + 1] = 'w'
    for y in range(SIZE):
        for x in range(SIZE):
            if p[y][x] != '.':
                q[y][x] = 'd'
    return q


def side_by_side(*images):
    return [sum((img[y] for img in images), []) for y in range(SIZE)]


def bmp4(pixels):
    """A 16-colour BMP file of `pixels` (rows of letters, top row first)."""
    width, height = len(pixels[0]), len(pixels)
    stride = ((width + 7) // 8) * 4
    rows = b''
    for row in reversed(pixels):  # bottom-up
        idx = [INK[c] for c in row] + [0]
        data = bytes((idx[i] << 4) | (idx[i + 1] if i + 1 < width else 0)
                     for i in range(0, width, 2))
        rows += data + b'\0' * (stride - len(data))
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(rows), 0, 0, 16, 0)
    return header + info + palette + rows


def form_block(name, pixels):
    bmp = bmp4(pixels)
    data = struct.pack('<I', len(bmp)) + bmp
    lines = [data[i:i + 32].hex().upper() for i in range(0, len(data), 32)]
    return '    %s.Data = {\n' % name + '\n'.join('      ' + l for l in lines) + '}'


if __name__ == '__main__':
    arrow, cross = download_arrow(), cancel_cross()
    print('// bOk')
    print(form_block('Glyph', side_by_side(arrow, disabled(arrow))))
    print('// bCancel')
    print(form_block('Glyph', side_by_side(cross, disabled(cross))))
    print('// bStop')
    print(form_block('Glyph', stop_sign()))
    for name, img in (('arrow', arrow), ('cross', cross), ('stop', stop_sign())):
        print('//', name)
        for row in img:
            print('//  ' + ''.join(row))
