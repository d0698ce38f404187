#!/usr/bin/env bash
# Writes the decode tests' movies: 8 seconds each, grey picture whose brightness steps up
# once a second (Y = 16 + 28 x whole seconds), so a frame's pixels tell its moment.
# Usage: make-test-movies.sh OUTPUT_DIR
set -euo pipefail
out="$1"
mkdir -p "$out"
[ -f "$out/.complete" ] && exit 0
picture="nullsrc=s=160x120:r=25:d=8,geq=lum='16+28*floor(T)':cb=128:cr=128,format=yuv420p"
sound="sine=frequency=440:sample_rate=44100:duration=8"
make() { ffmpeg -loglevel error -y -f lavfi -i "$picture" "$@"; }
make -f lavfi -i "$sound" -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest "$out/steps.avi"
make -c:v libx264 -g 25 -pix_fmt yuv420p "$out/steps.mp4"
make -f lavfi -i "$sound" -c:v mpeg2video -q:v 2 -c:a mp2 -shortest "$out/steps.mpg"
make -f lavfi -i "$sound" -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac -shortest "$out/steps.mkv"
make -c:v libvpx -b:v 500k -g 25 "$out/steps.webm"
printf 'this is no movie\n' > "$out/broken.avi"
touch "$out/.complete"
