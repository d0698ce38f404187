#!/usr/bin/env bash
# Time to a movie's 16 preview frames: the decode thread and decoder of the result pane
# (under Wine) against native ffmpeg taking the same 16 frames, one process a frame, on a
# 60 s 720p H.264 movie (key frames 10 s apart) in .mp4 and .mkv, and beside them the time to
# take the same movie's fingerprint for the similar search in turn, beside the first request
# (the only one that builds the movie's graph, as every fingerprint does). Median of three runs.
# Usage: bench/preview-bench.sh [WORK_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
WORK="${1:-$BUILD/bench-movies}"

bench_prepare

mkdir -p "$WORK"
if [ ! -f "$WORK/m720.mkv" ]; then
  ffmpeg -loglevel error -y -f lavfi -i "testsrc2=s=1280x720:r=25:d=60" -c:v libx264 -preset veryfast \
    -g 250 -pix_fmt yuv420p "$WORK/m720.mp4"
  ffmpeg -loglevel error -y -i "$WORK/m720.mp4" -c copy "$WORK/m720.mkv"
fi

ffmpeg_frames() {  # the same 16 moments: (i + 1) / 18 of the duration
  local start end times=()
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    for i in $(seq 1 16); do
      ffmpeg -loglevel error -y -ss "$(echo "$i * 60 / 18" | bc -l)" -i "$1" -frames:v 1 "$WORK/frame.png" </dev/null
    done
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

printf '%-10s %14s %14s %8s %14s %14s\n' "movie" "ours (Wine)" "ffmpeg" "ratio" "ours, first" "fingerprint"
for movie in m720.mp4 m720.mkv; do
  read -r ours errors fingerprint first < <(wine "$BUILD/bin/bench-preview-frames.exe" \
    "$(winepath -w "$WORK/$movie" 2>/dev/null)" 3 </dev/null 2>/dev/null | tr -d '\r')
  theirs=$(ffmpeg_frames "$WORK/$movie")
  printf '%-10s %14.2f %14.2f %8.2f %14.2f %14.2f\n' "$movie" "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)" \
    "$first" "$fingerprint"
  [ "$errors" = 0 ] || echo "  ($errors frames of ours were error images)"
done
