#!/usr/bin/env python3
"""Writes the seeded corpus of the similar-movie benchmark: source movies made of scenes
(lavfi pictures, each scene its own crop, tint and moving boxes, cut hard one to the next),
each with its variants, and decoys that must never group with each other.

Usage: make_similar_corpus.py OUT_DIR [SOURCES]        (default 40 sources)

File names carry the truth: "sNN-KIND.EXT" are source NN and its variants (KIND: orig, crf,
scaled, mpeg4, vp9, remux, cutstart, cutend); "dNN-..." are decoys, every file its own movie
(titlesa/titlesb share 10 s of titles at both ends, samea/sameb have one length and codec,
excerpt is 15 s of source NN). All encodes use fast presets; ffmpeg runs under nice -n 19.
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
    "sierpinski=s={w}x{h}:r=25:seed={seed}:jump=1",
    "color=c=0x{rgb}:s={w}x{h}:r=25",
]


def ffmpeg(*args):
    subprocess.run(["nice", "-n", "19", "ffmpeg", "-loglevel", "error", "-y", *args], check=True,
                   stdin=subprocess.DEVNULL)


def scene_filter(rng, index, width, height, seconds):
    """One scene: a generator a quarter larger, a random window of it, a tint, moving boxes."""
    big_w, big_h = width * 5 // 4 // 2 * 2, height * 5 // 4 // 2 * 2
    source = rng.choice(GENERATORS).format(w=big_w, h=big_h, seed=rng.randrange(1 << 30),
                                           rgb="%06x" % rng.randrange(1 << 24))
    x, y = rng.randrange(big_w - width + 1), rng.randrange(big_h - height + 1)
    chain = f"{source},trim=0:{seconds},setpts=PTS-STARTPTS,crop={width}:{height}:{x}:{y},hue=h={rng.randrange(360)}:s={rng.uniform(0.6, 1.6):.2f}"
    for _ in range(rng.randrange(1, 4)):
        bw, bh = rng.randrange(width // 8, width // 3), rng.randrange(height // 8, height // 3)
        speed = rng.randrange(-60, 61) * width // 640
        chain += (f",drawbox=x='mod({rng.randrange(width)}+t*{speed}+{width},{width})':y={rng.randrange(height - bh)}"
                  f":w={bw}:h={bh}:c=0x{rng.randrange(1 << 24):06x}:t=fill")
    return chain + f",format=yuv420p[s{index}]"


def make_movie(path, rng, width, height, seconds, codec_args):
    scenes, left = [], seconds
    while left > 0:
        length = min(left, rng.randrange(4, 13))
        scenes.append(length)
        left -= length
    graph = ";".join(scene_filter(rng, i, width, height, s) for i, s in enumerate(scenes))
    graph += ";" + "".join(f"[s{i}]" for i in range(len(scenes))) + f"concat=n={len(scenes)}:v=1[v]"
    ffmpeg("-f", "lavfi", "-i", "nullsrc=s=16x16:d=0.04", "-filter_complex", graph, "-map", "[v]", *codec_args, path)


def x264(preset="veryfast"):
    return ["-c:v", "libx264", "-preset", preset, "-pix_fmt", "yuv420p"]


def variants(out, name, seconds, height, rng):
    orig = os.path.join(out, f"{name}-orig.mp4")
    made = lambda kind, ext: os.path.join(out, f"{name}-{kind}.{ext}")
    ffmpeg("-i", orig, "-c:v", "libx264", "-preset", "ultrafast", "-crf", "40", made("crf", "mp4"))
    # 480p from the larger sources, 240p from the 360p ones: always smaller, same aspect.
    ffmpeg("-i", orig, "-vf", f"scale=-2:{480 if height > 480 else 240}", *x264("ultrafast"), made("scaled", "mp4"))
    ffmpeg("-i", orig, "-c:v", "mpeg4", "-q:v", "5", made("mpeg4", "avi"))
    ffmpeg("-i", orig, "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "1M",
           made("vp9", "webm"))
    ffmpeg("-i", orig, "-c", "copy", made("remux", "mkv"))
    cut = 2 + rng.random()
    ffmpeg("-ss", f"{cut:.2f}", "-i", orig, *x264("ultrafast"), made("cutstart", "mp4"))
    cut = 2 + rng.random()
    ffmpeg("-i", orig, "-t", f"{seconds - cut:.2f}", *x264("ultrafast"), made("cutend", "mp4"))


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    done = os.path.join(out, f".complete-{count}")
    if os.path.exists(done):
        return
    os.makedirs(out, exist_ok=True)
    sizes = [(640, 360)] * 3 + [(1280, 720)] + [(640, 360)] * 4 + [(1920, 1080)] + [(640, 360)]  # 10 in every 10
    lengths = {}
    for n in range(count):
        rng = random.Random(2828 + n)  # each source its own seed: a larger corpus keeps the smaller one
        width, height = sizes[n % len(sizes)]
        seconds = rng.randrange(20, 26) if width == 1920 else rng.randrange(20, 46) if width == 1280 else rng.randrange(20, 91)
        lengths[n] = seconds
        name = f"s{n:02d}"
        if os.path.exists(os.path.join(out, f"{name}-cutend.mp4")):
            continue
        make_movie(os.path.join(out, f"{name}-orig.mp4"), rng, width, height, seconds, x264())
        variants(out, name, seconds, height, rng)
        print(f"{name}: {width}x{height}, {seconds} s", flush=True)

    rng = random.Random(28)
    if os.path.exists(os.path.join(out, ".decoys")):
        open(done, "w").close()
        return
    # Decoys. Two episodes: the same 10 s of titles at both ends, other content between.
    for d in range(3):
        titles = os.path.join(out, f".titles{d}.mp4")
        make_movie(titles, rng, 640, 360, 10, x264())
        seconds = rng.randrange(50, 91)
        for side in "ab":
            middle = os.path.join(out, f".middle{d}{side}.mp4")
            make_movie(middle, rng, 640, 360, seconds - 20, x264())
            ffmpeg("-i", titles, "-i", middle, "-i", titles, "-filter_complex", "[0:v][1:v][2:v]concat=n=3:v=1[v]",
                   "-map", "[v]", *x264(), os.path.join(out, f"d{d:02d}-titles{side}.mp4"))
            os.remove(middle)
        os.remove(titles)
    # Two movies of one length and codec, other content.
    for d in range(3, 6):
        seconds = rng.randrange(30, 91)
        for side in "ab":
            make_movie(os.path.join(out, f"d{d:02d}-same{side}.mp4"), rng, 640, 360, seconds, x264())
    # A movie and 15 s of it.
    for d, n in enumerate([n for n in range(count) if lengths[n] >= 45][:4], start=6):
        start = rng.randrange(0, lengths[n] - 15)
        ffmpeg("-ss", str(start), "-i", os.path.join(out, f"s{n:02d}-orig.mp4"), "-t", "15", *x264(),
               os.path.join(out, f"d{d:02d}-excerpt-of-s{n:02d}.mp4"))
    open(os.path.join(out, ".decoys"), "w").close()
    open(done, "w").close()


if __name__ == "__main__":
    main()
