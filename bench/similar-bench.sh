#!/usr/bin/env bash
# Similar movies on a seeded corpus (bench/make_similar_corpus.py: sources of scenes with
# their variants and decoys): `quillmere-cli find --similar --json` under Wine, first search
# (fingerprint cache emptied) and rescan, then the recall, the false groups and the misses by
# kind at several thresholds (from the cache: nothing is decoded again); and the fingerprint
# of the preview benchmark's 60 s 720p H.264 movie beside its 16 preview frames, both from
# the console tool (`find --similar --no-cache` against `sheet --grid 4`), median of three.
# Usage: bench/similar-bench.sh [WORK_DIR] [SOURCES]   (default build/bench-similar, 40)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
WORK="${1:-$BUILD/bench-similar}"
SOURCES="${2:-40}"
PACKAGES="$PACKAGES python3"
bench_prepare

CORPUS="$WORK/corpus"
python3 "$ROOT/bench/make_similar_corpus.py" "$CORPUS" "$SOURCES"
CLI="$BUILD/bin/quillmere-cli.exe"
CACHE="$HOME/Quillmere/fingerprints.cache"  # Documents is the home folder in this prefix
where=$(winepath -w "$CORPUS" 2>/dev/null)

seconds_of() {  # seconds_of OUT COMMAND...: runs it once, output to OUT
  local out=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" >"$out" 2>/dev/null </dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

rm -f "$CACHE"
first=$(seconds_of "$WORK/first.json" wine "$CLI" find --similar --json "$where")
rescan=$(seconds_of "$WORK/rescan.json" wine "$CLI" find --similar --json "$where")
read -r _ _ _ _ _ movies decoded undecodable _ < <(python3 "$ROOT/bench/score_similar.py" "$WORK/first.json" "$CORPUS")
read -r _ _ _ _ _ _ redecoded _ < <(python3 "$ROOT/bench/score_similar.py" "$WORK/rescan.json" "$CORPUS")
printf 'first search: %.1f s for %d movies (%.2f s a movie; %d decoded, %d could not be)\n' \
  "$first" "$movies" "$(echo "$first / $movies" | bc -l)" "$decoded" "$undecodable"
printf 'rescan: %.1f s, %d decoded\n\n' "$rescan" "$redecoded"

printf '%-9s %-16s %-12s %-7s %s\n' threshold "pairs found" "false groups" groups "misses by kind"
for threshold in 40 50 60 70 80 90; do
  wine "$CLI" find --similar --threshold "$threshold" --json "$where" >"$WORK/t$threshold.json" 2>/dev/null </dev/null
  read -r found pairs recall false groups _ _ _ misses < <(python3 "$ROOT/bench/score_similar.py" "$WORK/t$threshold.json" "$CORPUS" 2>/dev/null)
  printf '%-9s %-16s %-12s %-7s %s\n' "$threshold" "$found/$pairs ($recall%)" "$false" "$groups" "${misses:--}"
done

# One 60 s 720p H.264 movie: its fingerprint against its 16 preview frames.
MOVIES="$BUILD/bench-movies"
mkdir -p "$MOVIES/one"
[ -f "$MOVIES/m720.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc2=s=1280x720:r=25:d=60" -c:v libx264 \
  -preset veryfast -g 250 -pix_fmt yuv420p "$MOVIES/m720.mp4"
cp "$MOVIES/m720.mp4" "$MOVIES/one/"
one=$(winepath -w "$MOVIES/one" 2>/dev/null)
fingerprint=$(median_seconds wine "$CLI" find --similar --no-cache "$one")
preview=$(median_seconds wine "$CLI" sheet --grid 4 "$(winepath -w "$MOVIES/m720.mp4" 2>/dev/null)" \
  "$(winepath -w "$WORK/sheet.png" 2>/dev/null)")
printf '\n60 s 720p H.264: fingerprint %.2f s, 16 preview frames %.2f s\n' "$fingerprint" "$preview"
