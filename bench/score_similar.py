#!/usr/bin/env python3
"""Scores `quillmere-cli find --similar --json` on the corpus of make_similar_corpus.py.

Usage: score_similar.py RESULT.json CORPUS_DIR
Prints: pairs found, pairs, recall %, false groups, groups, movies, decoded, undecodable,
misses by kind.
A variant pair (a source's original and one of its variants) is found when both stand in one
similar group; a group is false when it holds files of two different movies (every decoy is
a movie of its own).
"""
import json
import os
import re
import sys
from collections import Counter

KINDS = ["crf", "scaled", "mpeg4", "vp9", "remux", "cutstart", "cutend"]


def movie_of(path):
    name = re.split(r"[\\/]", path)[-1]
    match = re.match(r"(s\d+)-", name)
    return match.group(1) if match else name  # each decoy is its own movie


def main():
    result = json.load(open(sys.argv[1], encoding="utf-8"))
    group_of, false_groups = {}, 0
    for number, group in enumerate(result["similarGroups"]):
        names = [re.split(r"[\\/]", f["path"])[-1] for f in group["files"]]
        for name in names:
            group_of[name] = number
        if len({movie_of(n) for n in names}) > 1:
            false_groups += 1
            print("false group:", " ".join(names), file=sys.stderr)
    # An exact group's other members stand for its first file.
    for group in result["groups"]:
        names = [re.split(r"[\\/]", f["path"])[-1] for f in group["files"]]
        for name in names[1:]:
            if names[0] in group_of:
                group_of[name] = group_of[names[0]]
    sources = sorted(m.group(1) for n in os.listdir(sys.argv[2]) for m in [re.match(r"(s\d+)-orig", n)] if m)
    misses = Counter()
    pairs = found = 0
    for source in sources:
        orig = f"{source}-orig.mp4"
        for kind in KINDS:
            ext = {"mpeg4": "avi", "vp9": "webm", "remux": "mkv"}.get(kind, "mp4")
            pairs += 1
            variant = f"{source}-{kind}.{ext}"
            if orig in group_of and group_of.get(variant) == group_of[orig]:
                found += 1
            else:
                misses[kind] += 1
    recall = 100.0 * found / pairs if pairs else 0.0
    print(f"{found} {pairs} {recall:.1f} {false_groups} {len(result['similarGroups'])} "
          f"{result['movies']} {result['decoded']} {result['undecodable']} "
          + ",".join(f"{k}:{misses[k]}" for k in KINDS if misses[k]))


if __name__ == "__main__":
    main()
