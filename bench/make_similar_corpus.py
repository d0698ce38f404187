#!/usr/bin/env python3
"""Writes the seeded corpus of the similar-movie benchmark: source movies made of scenes
(lavfi pictures, each scene its own crop, tint, moving boxes and sometimes a second picture
laid over it, cut hard one to the next), each with its variants, and decoys that must never
group with each other.

Usage: make_similar_corpus.py OUT_DIR [SOURCES]        (default 40 sources)

File names carry the truth: "sNN-KIND.EXT" are source NN and its variants (KIND: orig, crf,
scaled, mpeg4, vp9, remux, cutstart, cutend); "dNN-..." are decoys, every file its own movie
(titlesa/titlesb share 10 s of titles at both ends, samea/sameb have one length and codec,
excerpt is 15 s of source NN). Every file has a seed of its own and is made only when it is
missing, so a rerun makes nothing and a larger corpus keeps the smaller one. Encodes use fast
presets and run under nice -n 19; the pictures avoid the slow generators (fractals).
"""
import os
import random
import subprocess
import sys

GENERATORS = [
    "testsrc2=s={w}x{h}:r=25",
    "testsrc=s={w}x{h}:r=25",
    "smptehdbars=s={w}x{h}:r=25",
    "pal75bars=s={w}x{h}:r=25",
    "rgbtestsrc=s={w}x{h}:r=25",
    "yuvtestsrc=s={w}x{h}:r=25",
    "gradients=s={w}x{h}:r=25:seed={seed}:speed=0.01",
    "gradients=s={w}x{h}:r=25:seed={seed}:speed=0.02:type=radial",
    "color=c=0x{rgb}:s={w}x{h}:r=25",
]
SIZES = [(640, 360)] * 3 + [(1280, 720)] + [(640, 360)] * 4 + [(1920, 1080)] + [(640, 360)]  # 10 in every 10
KINDS = ["orig", "crf", "scaled", "mpeg4", "vp9", "remux", "cutstart", "cutend"]
EXTENSIONS = {"mpeg4": "avi", "vp9": "webm", "remux": "mkv"}


def ffmpeg(*args):
    subprocess.run(["nice", "-n", "19", "ffmpeg", "-loglevel", "error", "-y", *args], check=True,
                   stdin=subprocess.DEVNULL)


def made_whole(path, make):
    """Makes `path` through a temporary name, so a cut-off run never leaves a file that looks done."""
    if os.path.exists(path):
        return
    stem, ext = os.path.splitext(path)
    partial = f"{stem}.partial{ext}"
    make(partial)
    os.replace(partial, path)


def generator(rng, width, height):
    return rng.choice(GENERATORS).format(w=width, h=height, seed=rng.randrange(1 << 30),
                                         rgb="%06x" % rng.randrange(1 << 24))


def scene_filter(rng, index, width, height, seconds):
    """One scene: a generator a quarter larger, a random window of it, a tint, moving boxes,
    and in half the scenes a smaller second picture drifting over it."""
    big_w, big_h = width * 5 // 4 // 2 * 2, height * 5 // 4 // 2 * 2
    x, y = rng.randrange(big_w - width + 1), rng.randrange(big_h - height + 1)
    trim = f"trim=0:{seconds},setpts=PTS-STARTPTS"
    chain = (f"{generator(rng, big_w, big_h)},{trim},crop={width}:{height}:{x}:{y},"
             f"hue=h={rng.randrange(360)}:s={rng.uniform(0.6, 1.6):.2f}")
    for _ in range(rng.randrange(1, 4)):
        bw, bh = rng.randrange(width // 8, width // 3), rng.randrange(height // 8, height // 3)
        speed = rng.randrange(-60, 61) * width // 640
        chain += (f",drawbox=x='mod({rng.randrange(width)}+t*{speed}+{width},{width})':y={rng.randrange(height - bh)}"
                  f":w={bw}:h={bh}:c=0x{rng.randrange(1 << 24):06x}:t=fill")
    if rng.random() < 0.5:
        ow, oh = width // 3 // 2 * 2, height // 3 // 2 * 2
        speed = rng.randrange(10, 40) * width // 640
        chain += (f"[b{index}];{generator(rng, ow, oh)},{trim}[o{index}];"
                  f"[b{index}][o{index}]overlay=x='mod(t*{speed},{width - ow})':y={rng.randrange(height - oh)}")
    return chain + f",format=yuv420p[s{index}]"


def make_movie(path, rng, width, height, seconds, codec_args):
    scenes, left = [], seconds
    while left > 0:
        length = min(left, rng.randrange(4, 13))
        scenes.append(length)
        left -= length
    graph = ";".join(scene_filter(rng, i, width, height, s) for i, s in enumerate(scenes))
    graph += ";" + "".join(f"[s{i}]" for i in range(len(scenes))) + f"concat=n={len(scenes)}:v=1[v]"
    made_whole(path, lambda out: ffmpeg("-f", "lavfi", "-i", "nullsrc=s=16x16:d=0.04", "-filter_complex", graph,
                                        "-map", "[v]", *codec_args, out))


def x264(preset="veryfast"):
    return ["-c:v", "libx264", "-preset", preset, "-pix_fmt", "yuv420p"]


def source_plan(n):
    """Frame size and length of source n, from its own seed."""
    rng = random.Random(2828 + n)
    width, height = SIZES[n % len(SIZES)]
    seconds = rng.randrange(20, 26) if width == 1920 else rng.randrange(20, 41) if width == 1280 else rng.randrange(20, 61)
    return rng, width, height, seconds


def make_source(out, n):
    rng, width, height, seconds = source_plan(n)
    name = f"s{n:02d}"
    made = lambda kind: os.path.join(out, f"{name}-{kind}.{EXTENSIONS.get(kind, 'mp4')}")
    orig = made("orig")
    make_movie(orig, rng, width, height, seconds, x264())
    cut_start, cut_end = 2 + rng.random(), 2 + rng.random()
    made_whole(made("crf"), lambda o: ffmpeg("-i", orig, "-c:v", "libx264", "-preset", "ultrafast", "-crf", "40", o))
    # 480p from the larger sources, 240p from the 360p ones: always smaller, same aspect.
    made_whole(made("scaled"), lambda o: ffmpeg("-i", orig, "-vf", f"scale=-2:{480 if height > 480 else 240}",
                                                *x264("ultrafast"), o))
    made_whole(made("mpeg4"), lambda o: ffmpeg("-i", orig, "-c:v", "mpeg4", "-q:v", "5", o))
    made_whole(made("vp9"), lambda o: ffmpeg("-i", orig, "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                                             "-b:v", "1M", o))
    made_whole(made("remux"), lambda o: ffmpeg("-i", orig, "-c", "copy", o))
    made_whole(made("cutstart"), lambda o: ffmpeg("-ss", f"{cut_start:.2f}", "-i", orig, *x264("ultrafast"), o))
    made_whole(made("cutend"), lambda o: ffmpeg("-i", orig, "-t", f"{seconds - cut_end:.2f}", *x264("ultrafast"), o))
    return f"{name}: {width}x{height}, {seconds} s"


def make_decoys(out, count):
    """A set of decoys for every eight sources (at least three): two episodes around the same
    10 s of titles, two movies of one length and codec, and a 15 s excerpt of a source."""
    sets = max(3, count // 8)
    long_sources = [n for n in range(count) if source_plan(n)[3] >= 40]
    for d in range(sets):
        rng = random.Random(28000 + d)
        titles_pair = [os.path.join(out, f"d{3 * d:02d}-titles{side}.mp4") for side in "ab"]
        if not all(os.path.exists(p) for p in titles_pair):
            titles = os.path.join(out, f".titles{d}.mp4")
            make_movie(titles, rng, 640, 360, 10, x264())
            seconds = rng.randrange(40, 81)
            for side, path in zip("ab", titles_pair):
                middle = os.path.join(out, f".middle{d}{side}.mp4")
                make_movie(middle, rng, 640, 360, seconds - 20, x264())
                made_whole(path, lambda o: ffmpeg("-i", titles, "-i", middle, "-i", titles, "-filter_complex",
                                                  "[0:v][1:v][2:v]concat=n=3:v=1[v]", "-map", "[v]", *x264(), o))
                os.remove(middle)
            os.remove(titles)
        rng = random.Random(29000 + d)
        seconds = rng.randrange(30, 61)
        for side in "ab":
            make_movie(os.path.join(out, f"d{3 * d + 1:02d}-same{side}.mp4"), rng, 640, 360, seconds, x264())
        if long_sources:
            n = long_sources[d % len(long_sources)]
            rng = random.Random(30000 + d)
            start = rng.randrange(0, source_plan(n)[3] - 15)
            made_whole(os.path.join(out, f"d{3 * d + 2:02d}-excerpt-of-s{n:02d}.mp4"),
                       lambda o: ffmpeg("-ss", str(start), "-i", os.path.join(out, f"s{n:02d}-orig.mp4"), "-t", "15",
                                        *x264(), o))


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    done = os.path.join(out, f".complete-{count}")
    if os.path.exists(done):
        return
    os.makedirs(out, exist_ok=True)
    for n in range(count):
        print(make_source(out, n), flush=True)
    make_decoys(out, count)
    open(done, "w").close()


if __name__ == "__main__":
    main()
