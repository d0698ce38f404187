#!/usr/bin/env python3
"""Writes the three seeded trees of the search benchmark; the same seed gives the same bytes.

  library  20,000 files of 4 KiB to 4 MiB (about 12 GB): sizes mostly unique, some shared by
           camera-like fixed sizes; 612 sets of true copies.
  movies   200 movies of 50 to 130 MiB and five of 400 to 500 MiB (about 20 GB); 30 copies.
  small    200,000 mostly small files (about 13 GB) in 2,000 folders; many shared sizes.

Each tree also holds near-copies (equal size; different at 100 KiB, at 1 MiB, just past
2 MiB, or in the last byte), hard links to earlier files and empty files. File contents are
a 16-byte identity followed by a slice of one random pool, so two different identities
differ in their first bytes and a copy is written again from its identity (no reading back).
Usage: make_trees.py DIR {library|movies|small|all} [--seed S] [--change-every N]

--change-every N rewrites every Nth file of the tree (in path order) in place instead: the
last byte of its first 2 MiB inverted, same size, write time moved. Files that looked alike
still do in their first 4 KiB, so a search must compare them again. Run twice, it restores
the content (the write times stay moved).
"""
import argparse
import math
import os
import random
import shutil
import struct

MIB = 1 << 20
POOL_BYTES = 64 * MIB


class Writer:
    def __init__(self, seed):
        self.pool = memoryview(random.Random(seed).randbytes(POOL_BYTES))
        self.seed = seed
        self.bytes = 0
        self.files = 0

    def write(self, path, ident, size, flip_at=None):
        """The file of `ident` cut to `size`, with the byte at `flip_at` inverted."""
        head = struct.pack("<QQ", self.seed, ident)[:size]
        offset = (ident * 2654435761 * 4096) % POOL_BYTES
        with open(path, "wb") as f:
            f.write(head)
            written = len(head)
            while written < size:
                take = min(size - written, POOL_BYTES - offset)
                if flip_at is not None and written <= flip_at < written + take:
                    cut = flip_at - written
                    f.write(self.pool[offset:offset + cut])
                    f.write(bytes([self.pool[offset + cut] ^ 0xFF]))
                    f.write(self.pool[offset + cut + 1:offset + take])
                else:
                    f.write(self.pool[offset:offset + take])
                written += take
                offset = 0
        self.bytes += size
        self.files += 1


def log_uniform(rng, low, high):
    return int(math.exp(rng.uniform(math.log(low), math.log(high))))


def build(root, writer, rng, count, folders, pick_size, copies, near, links, empties):
    """`copies`: list of how many copies each of so many originals gets."""
    os.makedirs(root, exist_ok=True)
    names = [os.path.join(root, f) for f in folders]
    for folder in names:
        os.makedirs(folder, exist_ok=True)
    plain = count - sum(copies) - near - links - empties
    originals = []  # (ident, size, path)
    place = 0

    def next_path(ext):
        nonlocal place
        place += 1
        return os.path.join(names[place % len(names)], f"clip{place:06d}{ext}")

    for ident in range(plain):
        size = pick_size()
        path = next_path(rng.choice((".mp4", ".mkv", ".avi", ".ts")))
        writer.write(path, ident, size)
        originals.append((ident, size, path))
    shuffled = originals[:]
    rng.shuffle(shuffled)
    for (ident, size, _), how_many in zip(shuffled, copies):
        for _ in range(how_many):
            writer.write(next_path(".mp4"), ident, size)
    larger = [o for o in shuffled[len(copies):] if o[1] > 3 * MIB] or shuffled
    spots = (100 * 1024, MIB, 2 * MIB + 4096, None)  # None: the last byte
    for n in range(near):
        ident, size, _ = larger[n % len(larger)]
        spot = spots[n % len(spots)]
        flip = size - 1 if spot is None or spot >= size else spot
        writer.write(next_path(".mp4"), ident, size, flip)
    for n in range(links):
        os.link(originals[(n * 7919) % len(originals)][2], next_path(".mp4"))
    for _ in range(empties):
        open(next_path(".avi"), "wb").close()


def library(root, writer, rng):
    camera = [rng.randrange(128 * 1024, MIB) for _ in range(40)]
    pick = lambda: rng.choice(camera) if rng.random() < 0.2 else log_uniform(rng, 4096, 4 * MIB)
    folders = [os.path.join(f"{a:02d}", f"{b:02d}") for a in range(20) for b in range(10)] + ["録画/2026"]
    copies = [1] * 560 + [2] * 40 + [3] * 12
    build(root, writer, rng, 20000, folders, pick, copies, near=120, links=100, empties=20)


def movies(root, writer, rng):
    big = iter(range(5))
    pick = lambda: rng.randrange(400 * MIB, 500 * MIB) if next(big, None) is not None else rng.randrange(50 * MIB, 130 * MIB)
    folders = [f"shelf{a}" for a in range(8)] + ["映画"]
    build(root, writer, rng, 200, folders, pick, [1] * 30, near=12, links=4, empties=2)


def small(root, writer, rng):
    fixed = [log_uniform(rng, 512, 256 * 1024) for _ in range(200)]

    def pick():
        roll = rng.random()
        if roll < 0.3:
            return rng.randint(1, 32) * 4096
        if roll < 0.5:
            return rng.choice(fixed)
        return log_uniform(rng, 512, 512 * 1024)

    folders = [os.path.join(f"{a:02d}", f"{b:03d}") for a in range(20) for b in range(100)]
    copies = [1] * 12000 + [2] * 2000
    build(root, writer, rng, 200000, folders, pick, copies, near=2000, links=500, empties=200)


def change_every(root, every):
    paths = sorted(os.path.join(folder, name) for folder, _, names in os.walk(root) for name in names)
    changed = 0
    for path in paths[every - 1::every]:
        size = os.path.getsize(path)
        if size == 0:
            continue
        at = min(size, 2 * MIB) - 1
        with open(path, "r+b") as f:
            f.seek(at)
            byte = f.read(1)[0]
            f.seek(at)
            f.write(bytes([byte ^ 0xFF]))
        changed += 1
    print(f"{changed} of {len(paths)} files rewritten in place in {root}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("tree", choices=("library", "movies", "small", "all"))
    ap.add_argument("--seed", type=int, default=20261207)
    ap.add_argument("--change-every", type=int, default=0)
    args = ap.parse_args()
    makers = {"library": library, "movies": movies, "small": small}
    for name, make in makers.items():
        if args.tree not in (name, "all"):
            continue
        root = os.path.join(args.dir, name)
        if args.change_every:
            change_every(root, args.change_every)
            continue
        done = os.path.join(args.dir, f".{name}-complete")
        if os.path.exists(done):
            continue
        shutil.rmtree(root, ignore_errors=True)  # a tree cut short is written again
        writer = Writer(args.seed)
        make(root, writer, random.Random(f"{args.seed}-{name}"))
        open(done, "w").close()
        print(f"{name}: {writer.files} files written, {writer.bytes / 1e9:.1f} GB, in {root}")


if __name__ == "__main__":
    main()
