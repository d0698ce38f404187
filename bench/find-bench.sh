#!/usr/bin/env bash
# Times `quillmere-cli find` against jdupes and fdupes on the same seeded corpus, warm
# cache, median of three runs each, and prints the ratios. Also runs the detection scaling
# and read-method benchmarks. Usage: bench/find-bench.sh [CORPUS_DIR] [FILES]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
CORPUS="${1:-$BUILD/bench-corpus}"
FILES="${2:-20000}"

PACKAGES="$PACKAGES jdupes fdupes python3"
bench_prepare

[ -d "$CORPUS" ] || python3 "$ROOT/bench/make_corpus.py" "$CORPUS" --files "$FILES"
WINCORPUS="$(winepath -w "$CORPUS" 2>/dev/null)"
find "$CORPUS" -type f -exec cat {} + >/dev/null  # warm the page cache

ours=$(median_seconds wine "$BUILD/bin/quillmere-cli.exe" find --all-files --json --no-cache "$WINCORPUS")
# Rescans: one search fills the digest cache, then three more use it.
CACHE="$HOME/Quillmere/digests.cache"
rm -f "$CACHE"
wine "$BUILD/bin/quillmere-cli.exe" find --all-files --json "$WINCORPUS" >/dev/null 2>&1 </dev/null
rescan=$(median_seconds wine "$BUILD/bin/quillmere-cli.exe" find --all-files --json "$WINCORPUS")
cache_size=$(du -h "$CACHE" 2>/dev/null | cut -f1)
jd=$(median_seconds jdupes -r -q "$CORPUS")
fd=$(median_seconds fdupes -r -q "$CORPUS")
groups=$(wine "$BUILD/bin/quillmere-cli.exe" find --all-files "$WINCORPUS" </dev/null 2>/dev/null | tail -n 1)

echo "corpus: $(find "$CORPUS" -type f | wc -l) files, $(du -sh "$CORPUS" | cut -f1) ($groups found by quillmere-cli)"
printf '%-28s %10s %10s\n' "tool" "seconds" "vs ours"
printf '%-28s %10.2f %10s\n' "quillmere-cli find (Wine)" "$ours" "1.00"
printf '%-28s %10.2f %10.2f\n' "  rescan, digest cache" "$rescan" "$(echo "$rescan / $ours" | bc -l)"
printf '%-28s %10.2f %10.2f\n' "jdupes -r" "$jd" "$(echo "$jd / $ours" | bc -l)"
printf '%-28s %10.2f %10.2f\n' "fdupes -r" "$fd" "$(echo "$fd / $ours" | bc -l)"
echo "(jdupes and fdupes compare whole files; Quillmere compares the first 2 MiB, as designed.)"
echo "digest cache after the rescans: $cache_size; rescan against jdupes: $(echo "$rescan / $jd" | bc -l | cut -c1-4)x"
echo
wine "$BUILD/bin/bench-detection-scaling.exe" </dev/null
echo
wine "$BUILD/bin/bench-read-method.exe" "$WINCORPUS" </dev/null
