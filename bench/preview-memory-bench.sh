#!/usr/bin/env bash
# Memory of the preview, by bench-preview-memory.exe under Wine: the decoder alone and a
# 16-frame sheet of an 8K movie (each in a process of its own, since the peak only rises),
# then rounds of a 4K sheet and a small one, through the preview's own decoder and through a
# bare graph of the platform's (no renderer of ours, no frame taken).
# Usage: bench/preview-memory-bench.sh [WORK_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
WORK="${1:-$BUILD/bench-movies}"

bench_prepare
"$ROOT/tools/make-test-movies.sh" "$BUILD/test-movies"
mkdir -p "$WORK"
for movie in 7680x4320:m8k 3840x2160:m4k; do  # 3 s of testsrc2 at 10 frames a second, H.264
  [ -f "$WORK/${movie#*:}.mp4" ] || nice -n 19 ffmpeg -loglevel error -y -f lavfi -i "testsrc2=s=${movie%:*}:r=10:d=3" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$WORK/${movie#*:}.mp4"
done

windows_path() { winepath -w "$1" 2>/dev/null; }
measure() { wine "$BUILD/bin/bench-preview-memory.exe" "$@" </dev/null 2>/dev/null; }
big8k=$(windows_path "$WORK/m8k.mp4") big4k=$(windows_path "$WORK/m4k.mp4")
small=$(windows_path "$BUILD/test-movies/steps.mp4")

echo "== 8K: the decoder alone";       measure decoder "$big8k"
echo "== 8K: a 16-frame sheet";        measure sheet "$big8k"
echo "== 4K then small: the preview";  measure alternate "$big4k" "$small"
echo "== 4K then small: a bare graph"; measure bare "$big4k" "$small"
