"""png_pixels.py PAGE.png X0 Y0 X1 Y1: of an 8-bit RGB(A) PNG as browsers write
screenshots, prints the count of inked (not near-white) pixels, the count of
phase A's dark gold (#b8860b) pixels within the box [X0, X1) x [Y0, Y1), and
the count of inked pixels within that box."""
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
pos, idat = 8, b""
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    if kind == b"IHDR":
        width, height, depth, colour = struct.unpack(">IIBB", data[pos + 8:pos + 18])
    idat += data[pos + 8:pos + 8 + length] if kind == b"IDAT" else b""
    pos += 12 + length
n = {2: 3, 6: 4}[colour] if depth == 8 else sys.exit("unsupported PNG layout")
raw, stride, rows, prev = zlib.decompress(idat), width * n, [], bytearray(width * n)
for y in range(height):
    f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a, b, c = line[i - n] if i >= n else 0, prev[i], prev[i - n] if i >= n else 0
        p = a + b - c
        line[i] = (line[i] + [0, a, b, (a + b) // 2, a if abs(p - a) <= min(abs(p - b), abs(p - c)) else
                              b if abs(p - b) <= abs(p - c) else c][f]) & 255
    rows.append(prev := line)
x0, y0, x1, y1 = map(int, sys.argv[2:6])
pixels = [(x, y, rows[y][x * n:x * n + 3]) for y in range(height) for x in range(width)]
print(sum(sum(px) < 600 for _, _, px in pixels), sum(
    x0 <= x < x1 and y0 <= y < y1 and abs(px[0] - 0xb8) + abs(px[1] - 0x86) + abs(px[2] - 0x0b) < 40 for x, y, px in pixels),
    sum(x0 <= x < x1 and y0 <= y < y1 and sum(px) < 600 for x, y, px in pixels))
