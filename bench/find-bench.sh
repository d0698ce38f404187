#!/usr/bin/env bash
# The search against jdupes and fdupes on three seeded trees (bench/make_trees.py):
# `quillmere-cli find --all-files --json` under Wine, first scans (--no-cache), rescans of the
# unchanged tree and rescans after 1% of its files were rewritten (digest cache filled by a
# search before), beside native jdupes and fdupes and beside jdupes.exe, built for Windows
# from the same source (bench/build-jdupes-windows.sh) and run under the same Wine as ours.
# Warm and cold page cache, median of three. Cold runs drop the page cache before each run,
# which needs root; where that is refused the cold rows say so. Then, per tree, the search in
# its phases with the files it opened, and the floor that Wine's cost of opening files sets
# (bench-search-phases), and the detection over synthetic lists.
#
# Usage: bench/find-bench.sh [TREES_DIR] [TREE ...]   (trees: library movies small)
# Environment: COLD=0 skips the cold rows; FDUPES_LIMIT (seconds, default 120) ends fdupes;
# PEER_LIMIT (seconds, default 900) ends jdupes.exe under Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
TREES="${1:-$BUILD/bench-trees}"
shift || true
NAMES="${*:-library movies small}"
COLD="${COLD:-1}"
FDUPES_LIMIT="${FDUPES_LIMIT:-120}"
PEER_LIMIT="${PEER_LIMIT:-900}"

PACKAGES="$PACKAGES jdupes fdupes python3 time dpkg-dev"
bench_prepare
JDUPES_EXE="$("$ROOT/bench/build-jdupes-windows.sh")"

for tree in $NAMES; do python3 "$ROOT/bench/make_trees.py" "$TREES" "$tree"; done

CLI="$BUILD/bin/quillmere-cli.exe"
CACHE="$HOME/Quillmere/digests.cache"  # Documents is the home folder in this prefix
SAVED_CACHE="$BUILD/bench-unchanged.cache"

can_drop_caches() { sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; }

ours_first() { wine "$CLI" find --all-files --json --no-cache "$1"; }
ours_rescan() { wine "$CLI" find --all-files --json "$1"; }
# A rescan from the cache of the tree as it was before the change (copying it is timed too).
ours_rescan_changed() { cp "$SAVED_CACHE" "$CACHE" && ours_rescan "$1"; }
jdupes_wine() { timeout "$PEER_LIMIT" wine "$JDUPES_EXE" -r -q "$1"; }
fdupes_limited() { timeout "$FDUPES_LIMIT" fdupes -r -q "$1"; }
# jdupes's summary (-m): "N duplicate files (in M sets), occupying ..."
count_sets() { tr -d '\r' | sed -n 's/.*(in \([0-9]*\) sets).*/\1/p' | head -n 1; }
change_one_percent() { python3 "$ROOT/bench/make_trees.py" "$TREES" "$1" --change-every 100 >&2; }

ROWS=()
# row TOOL TREE CACHE SECONDS JDUPES_SECONDS JDUPES_WINE_SECONDS GROUPS
row() {
  local native wine
  native=$(awk "BEGIN { printf \"%.3f\", $4 / $5 }")
  wine=$(awk "BEGIN { if ($6 > 0) printf \"%.3f\", $4 / $6; else print \"-\" }")
  ROWS+=("$(printf '%-30s %-8s %-5s %9.2f %8s %8s %8s' "$1" "$2" "$3" "$4" "$native" "$wine" "$7")")
}
limited_row() {  # row, or ">LIMIT" when the tool was cut off
  if awk "BEGIN { exit !($4 < $8) }"; then
    row "$1" "$2" "$3" "$4" "$5" "$6" "$7"
  else
    ROWS+=("$(printf '%-30s %-8s %-5s %9s %8s %8s %8s' "$1" "$2" "$3" ">$8" "-" "-" "-")")
  fi
}

modes="warm"
if [ "$COLD" = 1 ] || [ "$COLD" = all ]; then
  if can_drop_caches; then modes="warm cold"; else echo "cold runs skipped: the page cache cannot be dropped here"; fi
fi

SAME=()
for tree in $NAMES; do
  dir="$TREES/$tree"
  win="$(winepath -w "$dir")"
  ours_groups=$(wine "$CLI" find --all-files --no-cache "$win" </dev/null 2>/dev/null | tail -n 1 | grep -o '^[0-9]*' || echo "?")
  jd_groups=$(jdupes -r -m "$dir" | count_sets)
  jw_groups=$(timeout "$PEER_LIMIT" wine "$JDUPES_EXE" -r -m "$win" </dev/null 2>/dev/null | count_sets || true)
  for mode in $modes; do
    # The 200,000-file tree is read cold only with COLD=all: its cold rounds take many minutes.
    [ "$mode" = cold ] && [ "$tree" = small ] && [ "$COLD" != all ] && continue
    jd=$(median_seconds "--$mode" jdupes -r -q "$dir")
    jw=$(median_seconds "--$mode" jdupes_wine "$win")
    first=$(median_seconds "--$mode" ours_first "$win")
    rm -f "$CACHE"
    ours_rescan "$win" >/dev/null 2>&1 </dev/null || true
    rescan=$(median_seconds "--$mode" ours_rescan "$win")
    fd=$(median_seconds "--$mode" fdupes_limited "$dir")
    row "quillmere-cli find (Wine)" "$tree" "$mode" "$first" "$jd" "$jw" "$ours_groups"
    row "  rescan, digest cache" "$tree" "$mode" "$rescan" "$jd" "$jw" "$ours_groups"
    if [ "$mode" = warm ]; then
      # 1% of the files rewritten in place since the cache was filled; put back afterwards.
      cp "$CACHE" "$SAVED_CACHE"
      change_one_percent "$tree"
      ours_first "$win" </dev/null 2>/dev/null >"$BUILD/bench-expected.json" || true
      ours_rescan_changed "$win" </dev/null 2>/dev/null >"$BUILD/bench-rescanned.json" || true
      if cmp -s "$BUILD/bench-expected.json" "$BUILD/bench-rescanned.json"; then same=yes; else same=NO; fi
      SAME+=("$tree: the rescan after the change found what --no-cache finds (groups, bytes compared): $same")
      changed=$(median_seconds --warm ours_rescan_changed "$win")
      changed_groups=$(grep -o '"files":' "$BUILD/bench-expected.json" | wc -l)
      change_one_percent "$tree"
      row "  rescan, 1% changed" "$tree" "$mode" "$changed" "$jd" "$jw" "$changed_groups"
    fi
    row "jdupes -r (native)" "$tree" "$mode" "$jd" "$jd" "$jw" "$jd_groups"
    limited_row "jdupes.exe -r (Wine)" "$tree" "$mode" "$jw" "$jd" "$jw" "${jw_groups:--}" "$PEER_LIMIT"
    limited_row "fdupes -r (native)" "$tree" "$mode" "$fd" "$jd" "$jw" "$jd_groups" "$FDUPES_LIMIT"
  done
done

echo
echo "trees: $(for t in $NAMES; do printf '%s %s files %s; ' "$t" "$(find "$TREES/$t" -type f | wc -l)" "$(du -sh "$TREES/$t" | cut -f1)"; done)"
printf '%-30s %-8s %-5s %9s %8s %8s %8s\n' "tool" "tree" "cache" "seconds" "/jdupes" "/jd.exe" "groups"
printf '%s\n' "${ROWS[@]}"
echo "(/jdupes: ratio to native jdupes; /jd.exe: to jdupes.exe under Wine. Groups: ours count files"
echo " equal in their first 2 MiB; jdupes and fdupes compare whole files.)"
printf '%s\n' "${SAME[@]}"
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
  cp "$BUILD/bench-phases-$tree.cache" "$SAVED_CACHE"
  change_one_percent "$tree"
  echo "$tree 1% changed: $(wine "$BUILD/bin/bench-search-phases.exe" search "$win" "$cache_file" </dev/null)"
  change_one_percent "$tree"
  cp "$SAVED_CACHE" "$BUILD/bench-phases-$tree.cache"
  echo "$tree floor:      $(wine "$BUILD/bin/bench-search-phases.exe" floor "$win" </dev/null)"
  echo "$tree cache file: $(du -h "$BUILD/bench-phases-$tree.cache" | cut -f1)"
  echo "$tree jdupes:     $(/usr/bin/time -f '%e s, peak memory %M KB' jdupes -r -q "$TREES/$tree" 2>&1 >/dev/null | tail -n 1)"
done
echo
wine "$BUILD/bin/bench-detection-scaling.exe" </dev/null
