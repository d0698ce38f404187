#!/usr/bin/env bash
# Similar movies on a seeded corpus (bench/make_similar_corpus.py: sources of scenes with
# their variants and decoys): `quillmere-cli find --similar --json` under Wine, first search
# (fingerprint cache emptied) and rescan, then the recall, the false groups and the misses by
# kind at several thresholds (from the cache: nothing is decoded again); and the fingerprint
# of the preview benchmark's 60 s 720p H.264 movie beside its 16 preview frames, both from
# the console tool (`find --similar --no-cache` against `sheet --grid 4`), taken in turn,
# median of three by the clock and by the CPU time of the process (the machine is shared,
# and the clock says more of the others than of us). Everything runs under nice -n 19.
# Usage: bench/similar-bench.sh [WORK_DIR] [SOURCES]   (default build/bench-similar, 40)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
WORK="${1:-$BUILD/bench-similar}"
SOURCES="${2:-40}"
PACKAGES="$PACKAGES python3"
install_packages
build_project >/dev/null
# A prefix of its own: the test runs' prefix is ended with each run, and this takes long.
start_prefix bench "$BUILD/bench-home"

CORPUS="$WORK/corpus"
python3 "$ROOT/bench/make_similar_corpus.py" "$CORPUS" "$SOURCES"
ls "$CORPUS"/*.partial.* >/dev/null 2>&1 && { echo "corpus incomplete" >&2; exit 1; }
CLI="$BUILD/bin/quillmere-cli.exe"
CACHE="$HOME/Quillmere/fingerprints.cache"  # Documents is the home folder in this prefix
where=$(winepath -w "$CORPUS" 2>/dev/null)

seconds_of() {  # seconds_of OUT COMMAND...: runs it once under nice, output to OUT; "wall cpu"
  local out=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$WORK/time" nice -n 19 "$@" >"$out" 2>/dev/null </dev/null || true
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$WORK/time"
}

rm -f "$CACHE"
read -r first firstCpu < <(seconds_of "$WORK/first.json" wine "$CLI" find --similar --json "$where")
read -r rescan rescanCpu < <(seconds_of "$WORK/rescan.json" wine "$CLI" find --similar --json "$where")
read -r _ _ _ _ _ movies decoded undecodable _ < <(python3 "$ROOT/bench/score_similar.py" "$WORK/first.json" "$CORPUS")
read -r _ _ _ _ _ _ redecoded _ < <(python3 "$ROOT/bench/score_similar.py" "$WORK/rescan.json" "$CORPUS")
printf 'first search: %.1f s (CPU %.1f s) for %d movies (%.2f s a movie; %d decoded, %d could not be)\n' \
  "$first" "$firstCpu" "$movies" "$(echo "$first / $movies" | bc -l)" "$decoded" "$undecodable"
printf 'rescan: %.1f s (CPU %.1f s), %d decoded\n\n' "$rescan" "$rescanCpu" "$redecoded"

printf '%-9s %-16s %-12s %-7s %s\n' threshold "pairs found" "false groups" groups "misses by kind"
for threshold in 40 50 60 70 80 90; do
  nice -n 19 wine "$CLI" find --similar --threshold "$threshold" --json "$where" >"$WORK/t$threshold.json" 2>/dev/null </dev/null
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
movie=$(winepath -w "$MOVIES/m720.mp4" 2>/dev/null)
sheet=$(winepath -w "$WORK/sheet.png" 2>/dev/null)
: >"$WORK/fingerprint.times"
: >"$WORK/preview.times"
for _ in 1 2 3; do
  seconds_of /dev/null wine "$CLI" find --similar --no-cache "$one" >>"$WORK/fingerprint.times"
  seconds_of /dev/null wine "$CLI" sheet --grid 4 "$movie" "$sheet" >>"$WORK/preview.times"
done
middle() { sort -g -k"$2" "$1" | sed -n 2p | cut -d' ' -f"$2"; }
printf '\n60 s 720p H.264, median of three: fingerprint %.2f s (CPU %.2f s), 16 preview frames %.2f s (CPU %.2f s)\n' \
  "$(middle "$WORK/fingerprint.times" 1)" "$(middle "$WORK/fingerprint.times" 2)" \
  "$(middle "$WORK/preview.times" 1)" "$(middle "$WORK/preview.times" 2)"
