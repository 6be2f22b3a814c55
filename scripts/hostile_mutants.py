#!/usr/bin/env python3
"""Writes mutated copies of real COMTRADE recordings as inputs of the
recording fuzz target (a first byte that picks the load, then
<cfg> "@DAT@\\n" <dat>, or a combined file's bytes), for hostile_sweep.sh.

    hostile_mutants.py SAMPLES_DIR OUT_DIR COUNT_PER_RECORDING [SEED]

Mutations are those a hostile or careless source produces: NaN, infinities,
negative and huge numbers put into fields, lines dropped, doubled or cut,
bytes flipped, files truncated, lone-CR or CR CR LF line ends, a line made
longer than the readers' limit."""

import os
import random
import sys

HOSTILE = [b"nan", b"NaN", b"-nan", b"inf", b"-INF", b"Infinity", b"-infinity", b"1e309", b"-1",
           b"-2147483648", b"4294967296", b"18446744073709551615", b"0", b"-0", b"1e-320", b"",
           b"0x10", b"+", b" ", b"1e308", b"99999", b"\x1a", b"\xff\xfe"]


def mutate_text(cfg: bytes, rng: random.Random) -> bytes:
    lines = cfg.split(b"\n")
    kind = rng.randrange(6)
    i = rng.randrange(len(lines))
    if kind == 0:  # a field of a line replaced by a hostile token
        fields = lines[i].split(b",")
        fields[rng.randrange(len(fields))] = rng.choice(HOSTILE)
        lines[i] = b",".join(fields)
    elif kind == 1:
        del lines[i]
    elif kind == 2:
        lines.insert(i, lines[i])
    elif kind == 3:
        lines[i] = lines[i][: rng.randrange(len(lines[i]) + 1)]
    elif kind == 4:  # a whole line replaced by a hostile token
        lines[i] = rng.choice(HOSTILE)
    else:
        lines[i] = lines[i] + b"7" * ((1 << 20) + 1) if rng.random() < 0.05 else lines[i] + rng.choice(HOSTILE)
    return b"\n".join(lines)


def mutate_bytes(data: bytes, rng: random.Random) -> bytes:
    if not data:
        return data
    data = bytearray(data)
    kind = rng.randrange(4)
    if kind == 0:
        for _ in range(rng.randrange(1, 8)):
            data[rng.randrange(len(data))] = rng.randrange(256)
    elif kind == 1:
        del data[rng.randrange(len(data)):]
    elif kind == 2:
        at = rng.randrange(len(data))
        data[at:at] = rng.choice(HOSTILE) + b","
    else:
        at = rng.randrange(len(data))
        data[at:at] = b"\n" * rng.randrange(1, 4)
    return bytes(data)


def line_ends(text: bytes, rng: random.Random) -> bytes:
    choice = rng.randrange(4)
    return [text, text.replace(b"\n", b"\r\n"), text.replace(b"\n", b"\r"), text.replace(b"\n", b"\r\r\n")][choice]


def recordings(root):
    for folder, _, names in sorted(os.walk(root)):
        lower = {n.lower(): n for n in names}
        for name in sorted(names):
            stem, ext = os.path.splitext(name)
            if ext.lower() == ".cfg" and (stem + ".dat").lower() in lower:
                yield "pair", os.path.join(folder, name), os.path.join(folder, lower[(stem + ".dat").lower()])
            elif ext.lower() == ".cff":
                yield "cff", os.path.join(folder, name), None


def main():
    root, out, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 26)
    os.makedirs(out, exist_ok=True)
    written = 0
    for kind, first, second in recordings(root):
        tag = os.path.relpath(first, root).replace("/", "_")
        cfg = open(first, "rb").read()
        dat = open(second, "rb").read() if second else b""
        for n in range(count):
            c, d = cfg, dat
            for _ in range(rng.randrange(1, 4)):
                if rng.random() < 0.6:
                    c = mutate_text(c, rng)
                else:
                    d = mutate_bytes(d, rng) if kind == "pair" else d
                    c = c if kind == "pair" else mutate_bytes(c, rng)
            c = line_ends(c, rng)
            way = rng.randrange(4)
            if kind == "cff":
                payload = bytes([0x32 + (way & 1)]) + c
            else:
                payload = bytes([0x30 + (way & 1) + 4 * rng.randrange(4)]) + c + b"@DAT@\n" + d
            with open(os.path.join(out, "%s-%05d" % (tag, n)), "wb") as f:
                f.write(payload)
            written += 1
    print(written)


if __name__ == "__main__":
    main()
