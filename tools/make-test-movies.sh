#!/usr/bin/env bash
# Writes the decode tests' movies: 8 seconds each, grey picture whose brightness steps up
# once a second (Y = 16 + 28 x whole seconds), so a frame's pixels tell its moment.
# Usage: make-test-movies.sh OUTPUT_DIR
set -euo pipefail
out="$1"
mkdir -p "$out"
[ -f "$out/.complete-3" ] && exit 0
picture="nullsrc=s=160x120:r=25:d=8,geq=lum='16+28*floor(T)':cb=128:cr=128,format=yuv420p"
sound="sine=frequency=440:sample_rate=44100:duration=8"
make() { ffmpeg -loglevel error -y -f lavfi -i "$picture" "$@"; }
make -f lavfi -i "$sound" -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest "$out/steps.avi"
make -c:v libx264 -g 25 -pix_fmt yuv420p "$out/steps.mp4"
make -f lavfi -i "$sound" -c:v mpeg2video -q:v 2 -c:a mp2 -shortest "$out/steps.mpg"
make -f lavfi -i "$sound" -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac -shortest "$out/steps.mkv"
make -c:v libvpx -b:v 500k -g 25 "$out/steps.webm"
printf 'this is no movie\n' > "$out/broken.avi"

# Damaged movies: the first half of a fast-start .mp4 and of a .mkv. The .mp4's picture has
# grain, so that its first half holds frames and not only the index. tiny.mp4 is the other
# kind: the first half of a short fast-start clip is little more than its index, and this
# Wine's MP4 parser never returns from RenderFile on it.
half() { head -c $(( $(stat -c %s "$1") / 2 )) "$1" > "$2"; }
grainy="nullsrc=s=160x120:r=25:d=8,geq=lum='16+28*floor(T)+8*random(1)':cb=128:cr=128,format=yuv420p"
ffmpeg -loglevel error -y -f lavfi -i "$grainy" -c:v libx264 -g 25 -pix_fmt yuv420p -movflags +faststart "$out/faststart.mp4"
half "$out/faststart.mp4" "$out/half.mp4"
half "$out/steps.mkv" "$out/half.mkv"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 2 -c:v libx264 -movflags +faststart "$out/faststart.mp4"
half "$out/faststart.mp4" "$out/tiny.mp4"
rm "$out/faststart.mp4"

# Odd frame sizes (rows padded in the decoder's output) with a still colour pattern, and
# the frame ffmpeg itself takes at 2 s to compare with.
for size in 853x480 321x241; do
  ffmpeg -loglevel error -y -f lavfi -i "smptehdbars=s=$size:r=25:d=4" -c:v libx264 -g 25 -pix_fmt yuv444p "$out/bars$size.mp4"
  ffmpeg -loglevel error -y -ss 2 -i "$out/bars$size.mp4" -frames:v 1 "$out/bars$size.png"
done
touch "$out/.complete-3"
