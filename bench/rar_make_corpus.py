#!/usr/bin/env python3
"""Makes the RAR benchmark corpus: one set of files (about 200 MB, big and small
files in folders) written as

  set.partN.rar   a RAR5 volume set of four volumes, files split across them
  single5.rar     the same files in one RAR5 archive
  single4.rar     the same files in one RAR 1.5-4.x archive
  tree/           the files themselves, to check what is extracted

Entries are stored (no RAR compressor exists on Debian); the compressed cases of
the benchmark are the sample archives of tests/data/rar. Every header carries its
CRC; every file its CRC-32.

Usage: bench/rar_make_corpus.py FOLDER [MEGABYTES]
"""
import os
import random
import sys
import zlib

SIG5 = b"Rar!\x1a\x07\x01\x00"
SIG4 = b"Rar!\x1a\x07\x00"
MTIME = 1700000000


def vint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def le(v, n):
    return v.to_bytes(n, "little")


def block5(htype, flags, body, data_size=None):
    h = vint(htype) + vint(flags | (2 if data_size is not None else 0))
    if data_size is not None:
        h += vint(data_size)
    h += body
    sized = vint(len(h)) + h
    return le(zlib.crc32(sized), 4) + sized


def main5(volume_number=None, volume=False):
    flags = (1 if volume else 0) | (2 if volume_number is not None else 0)
    body = vint(flags) + (vint(volume_number) if volume_number is not None else b"")
    return block5(1, 0, body)


def end5(more):
    return block5(5, 0, vint(1 if more else 0))


def file5(name, size, crc, part_size, before, after):
    body = vint(0x02 | 0x04) + vint(size) + vint(0o100644) + le(MTIME, 4) + le(crc, 4)
    body += vint(0) + vint(1) + vint(len(name)) + name.encode()
    return block5(2, (0x08 if before else 0) | (0x10 if after else 0), body, part_size)


def make_files(folder, megabytes):
    """Writes the tree and returns [(name, path, size, crc)]."""
    rng = random.Random(12)
    files = []
    total = megabytes << 20
    big = total * 3 // 4 // 8  # eight big files hold three quarters
    sizes = [big] * 8
    left = total - sum(sizes)
    while left > 0:
        s = min(left, rng.randrange(4 << 10, 256 << 10))
        sizes.append(s)
        left -= s
    block = os.urandom(1 << 20)
    for i, size in enumerate(sizes):
        name = f"big/file{i:02d}.bin" if i < 8 else f"small/d{i % 16:02d}/f{i:05d}.dat"
        path = os.path.join(folder, "tree", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        crc = 0
        with open(path, "wb") as f:
            at = 0
            while at < size:
                # Different bytes in every file and block: a rotated random block.
                shift = (i * 7919 + at) % len(block)
                chunk = (block[shift:] + block[:shift])[: size - at]
                f.write(chunk)
                crc = zlib.crc32(chunk, crc)
                at += len(chunk)
        files.append((name, path, size, crc))
    return files


def copy(out, path, offset, length):
    with open(path, "rb") as f:
        f.seek(offset)
        while length:
            chunk = f.read(min(length, 1 << 20))
            out.write(chunk)
            length -= len(chunk)


def write_single5(folder, files):
    with open(os.path.join(folder, "single5.rar"), "wb") as out:
        out.write(SIG5 + main5())
        for name, path, size, crc in files:
            out.write(file5(name, size, crc, size, False, False))
            copy(out, path, 0, size)
        out.write(end5(False))


def write_volumes5(folder, files, volume_bytes):
    # The pieces of every volume: (file, offset, length); a file continues in the
    # next volume when the current one is full.
    volumes, current, room = [], [], volume_bytes
    for f in files:
        at = 0
        while at < f[2] or (f[2] == 0 and at == 0):
            n = min(room, f[2] - at)
            current.append((f, at, n))
            at += n
            room -= n
            if room == 0:
                volumes.append(current)
                current, room = [], volume_bytes
            if f[2] == 0:
                break
    if current:
        volumes.append(current)
    for v, pieces in enumerate(volumes):
        with open(os.path.join(folder, f"set.part{v + 1}.rar"), "wb") as out:
            out.write(SIG5 + main5(v if v else None, True))
            for (name, path, size, crc), at, n in pieces:
                before, after = at > 0, at + n < size
                with open(path, "rb") as src:
                    src.seek(at)
                    piece_crc = zlib.crc32(src.read(n)) if after else crc
                out.write(file5(name, size, piece_crc, n, before, after))
                copy(out, path, at, n)
            out.write(end5(v + 1 < len(volumes)))
    return len(volumes)


def write_single4(folder, files):
    with open(os.path.join(folder, "single4.rar"), "wb") as out:
        main = bytes([0x73]) + le(0, 2) + le(13, 2) + le(0, 6)
        out.write(SIG4 + le(zlib.crc32(main) & 0xFFFF, 2) + main)
        for name, path, size, crc in files:
            n = name.encode()
            h = bytes([0x74]) + le(0x8000, 2) + le(32 + len(n), 2) + le(size, 4) + le(size, 4) + bytes([3])
            h += le(crc, 4) + le(0x58765764, 4) + bytes([20, 0x30]) + le(len(n), 2) + le(0o100644, 4) + n
            out.write(le(zlib.crc32(h) & 0xFFFF, 2) + h)
            copy(out, path, 0, size)
        end = bytes([0x7B]) + le(0x4000, 2) + le(7, 2)
        out.write(le(zlib.crc32(end) & 0xFFFF, 2) + end)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    os.makedirs(folder, exist_ok=True)
    files = make_files(folder, megabytes)
    write_single5(folder, files)
    write_single4(folder, files)
    n = write_volumes5(folder, files, max(1, megabytes // 4) << 20)
    print(f"{len(files)} files, {sum(f[2] for f in files)} bytes; {n} volumes")


if __name__ == "__main__":
    main()
