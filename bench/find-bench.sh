#!/usr/bin/env bash
# The search against native jdupes and fdupes on three seeded trees (bench/make_trees.py):
# `quillmere-cli find --all-files --json` under Wine, first scans (--no-cache) and rescans
# (digest cache filled by one search before), warm and cold page cache, median of three.
# Cold runs drop the page cache before each run, which needs root; where that is refused
# the cold rows say so. Then, per tree, the search in its phases and the floor that Wine's
# cost of opening files sets (bench-search-phases), and the detection over synthetic lists.
#
# Usage: bench/find-bench.sh [TREES_DIR] [TREE ...]   (trees: library movies small)
# Environment: COLD=0 skips the cold rows; FDUPES_LIMIT (seconds, default 120) ends fdupes.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
TREES="${1:-$BUILD/bench-trees}"
shift || true
NAMES="${*:-library movies small}"
COLD="${COLD:-1}"
FDUPES_LIMIT="${FDUPES_LIMIT:-120}"

PACKAGES="$PACKAGES jdupes fdupes python3 time"
bench_prepare

for tree in $NAMES; do python3 "$ROOT/bench/make_trees.py" "$TREES" "$tree"; done

CLI="$BUILD/bin/quillmere-cli.exe"
CACHE="$HOME/Quillmere/digests.cache"  # Documents is the home folder in this prefix

can_drop_caches() { sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; }

ours_first() { wine "$CLI" find --all-files --json --no-cache "$1"; }
ours_rescan() { wine "$CLI" find --all-files --json "$1"; }
fdupes_limited() { timeout "$FDUPES_LIMIT" fdupes -r -q "$1"; }
count_groups() { grep -c '^$' || true; }

ROWS=()
# row TOOL TREE CACHE SECONDS JDUPES_SECONDS GROUPS
row() {
  local ratio
  ratio=$(awk "BEGIN { printf \"%.3f\", $4 / $5 }")
  ROWS+=("$(printf '%-30s %-8s %-5s %9.2f %7s %8s' "$1" "$2" "$3" "$4" "$ratio" "$6")")
}

modes="warm"
if [ "$COLD" = 1 ]; then
  if can_drop_caches; then modes="warm cold"; else echo "cold runs skipped: the page cache cannot be dropped here"; fi
fi

for tree in $NAMES; do
  dir="$TREES/$tree"
  win="$(winepath -w "$dir")"
  ours_groups=$(wine "$CLI" find --all-files --no-cache "$win" </dev/null 2>/dev/null | tail -n 1 | grep -o '^[0-9]*' || echo "?")
  jd_groups=$(jdupes -r -q "$dir" | count_groups)
  for mode in $modes; do
    # The 200,000-file tree is read cold only with COLD=all: its cold rounds take many minutes.
    [ "$mode" = cold ] && [ "$tree" = small ] && [ "$COLD" != all ] && continue
    jd=$(median_seconds "--$mode" jdupes -r -q "$dir")
    first=$(median_seconds "--$mode" ours_first "$win")
    rm -f "$CACHE"
    ours_rescan "$win" >/dev/null 2>&1 </dev/null || true
    rescan=$(median_seconds "--$mode" ours_rescan "$win")
    fd=$(median_seconds "--$mode" fdupes_limited "$dir")
    row "quillmere-cli find (Wine)" "$tree" "$mode" "$first" "$jd" "$ours_groups"
    row "  rescan, digest cache" "$tree" "$mode" "$rescan" "$jd" "$ours_groups"
    row "jdupes -r (native)" "$tree" "$mode" "$jd" "$jd" "$jd_groups"
    if awk "BEGIN { exit !($fd < $FDUPES_LIMIT) }"; then
      row "fdupes -r (native)" "$tree" "$mode" "$fd" "$jd" "$jd_groups"
    else
      ROWS+=("$(printf '%-30s %-8s %-5s %9s %7s %8s' "fdupes -r (native)" "$tree" "$mode" ">$FDUPES_LIMIT" "-" "-")")
    fi
  done
done

echo
echo "trees: $(for t in $NAMES; do printf '%s %s files %s; ' "$t" "$(find "$TREES/$t" -type f | wc -l)" "$(du -sh "$TREES/$t" | cut -f1)"; done)"
printf '%-30s %-8s %-5s %9s %7s %8s\n' "tool" "tree" "cache" "seconds" "ratio" "groups"
printf '%s\n' "${ROWS[@]}"
echo "(groups: ours count files equal in their first 2 MiB; jdupes and fdupes compare whole files.)"
echo

echo "phases, warm (walk, first group, total; files opened; peak memory), and the floor:"
for tree in $NAMES; do
  win="$(winepath -w "$TREES/$tree")"
  cache_file="$(winepath -w "$BUILD")\\bench-phases-$tree.cache"
  rm -f "$BUILD/bench-phases-$tree.cache"
  wine "$BUILD/bin/bench-search-phases.exe" search "$win" >/dev/null 2>&1 </dev/null
  echo "$tree first scan: $(wine "$BUILD/bin/bench-search-phases.exe" search "$win" </dev/null)"
  wine "$BUILD/bin/bench-search-phases.exe" search "$win" "$cache_file" >/dev/null 2>&1 </dev/null
  echo "$tree rescan:     $(wine "$BUILD/bin/bench-search-phases.exe" search "$win" "$cache_file" </dev/null)"
  echo "$tree floor:      $(wine "$BUILD/bin/bench-search-phases.exe" floor "$win" </dev/null)"
  echo "$tree cache file: $(du -h "$BUILD/bench-phases-$tree.cache" | cut -f1)"
  echo "$tree jdupes:     $(/usr/bin/time -f '%e s, peak memory %M KB' jdupes -r -q "$TREES/$tree" 2>&1 >/dev/null | tail -n 1)"
done
echo
wine "$BUILD/bin/bench-detection-scaling.exe" </dev/null
