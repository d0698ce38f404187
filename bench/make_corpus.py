#!/usr/bin/env python3
"""Writes a seeded corpus of movie-like files for the duplicate-search benchmark.

The same seed always gives the same tree: many small files whose sizes collide (copies,
same-size strangers, files differing only past the first 2 MiB) and a few large files of
hundreds of MiB. Usage: make_corpus.py DIR [--files N] [--large-mib M] [--seed S]
"""
import argparse
import os
import random


def block(rng, size):
    return rng.randbytes(size)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir")
    ap.add_argument("--files", type=int, default=20000)
    ap.add_argument("--large-mib", type=int, default=300)
    ap.add_argument("--seed", type=int, default=20261207)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.dir, exist_ok=True)

    # Sizes: a few hundred distinct values so that most sizes are shared by many files.
    # Mostly small (up to 256 KiB), some around and past the 2 MiB compare limit.
    sizes = [rng.choice([4096, 65536, 65537, 300_000, 1 << 20, (2 << 20) + 3, 3 << 20])
             if rng.random() < 0.05 else rng.randint(1, 64) * 4096 for _ in range(600)]
    originals = []
    written = 0
    for i in range(args.files):
        folder = os.path.join(args.dir, f"d{i % 97:02d}", f"s{i % 13:02d}")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, f"clip{i:06d}.avi")
        roll = rng.random()
        if originals and roll < 0.25:          # an exact copy of an earlier file
            data = rng.choice(originals)
        elif originals and roll < 0.30:        # same first 2 MiB, different tail
            src = rng.choice(originals)
            data = src[:-1] + bytes([src[-1] ^ 0xFF]) if len(src) > (2 << 20) else src
        else:                                  # a stranger, likely sharing a size
            data = block(rng, rng.choice(sizes))
            if len(originals) < 3000:
                originals.append(data)
        with open(path, "wb") as f:
            f.write(data)
        written += len(data)

    # Large files: two equal ones and one that differs only in its last byte.
    large = os.path.join(args.dir, "large")
    os.makedirs(large, exist_ok=True)
    chunk = block(rng, 1 << 20)
    for name, last in (("big-a.mkv", 0), ("big-b.mkv", 0), ("big-c.mkv", 1)):
        with open(os.path.join(large, name), "wb") as f:
            for _ in range(args.large_mib - 1):
                f.write(chunk)
            f.write(chunk[:-1] + bytes([last]))
        written += args.large_mib << 20
    print(f"{args.files + 3} files, {written / (1 << 20):.0f} MiB in {args.dir}")


if __name__ == "__main__":
    main()
