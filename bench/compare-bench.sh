#!/usr/bin/env bash
# The whole-file comparison (`quillmere-cli compare`, under Wine) against native cmp on two
# equal files of 2 GiB, warm cache, median of three runs each.
# Usage: bench/compare-bench.sh [WORK_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
WORK="${1:-$BUILD/bench-compare}"

bench_prepare

mkdir -p "$WORK"
if [ ! -f "$WORK/b.bin" ]; then
  head -c $((2 << 30)) /dev/urandom > "$WORK/a.bin"
  cp "$WORK/a.bin" "$WORK/b.bin"
fi
cat "$WORK/a.bin" "$WORK/b.bin" > /dev/null  # warm the page cache

ours=$(median_seconds wine "$BUILD/bin/quillmere-cli.exe" compare "$(winepath -w "$WORK/a.bin")" "$(winepath -w "$WORK/b.bin")")
theirs=$(median_seconds cmp "$WORK/a.bin" "$WORK/b.bin")
printf '%-34s %10s\n' "two equal 2 GiB files, warm" "seconds"
printf '%-34s %10.2f\n' "quillmere-cli compare (Wine)" "$ours"
printf '%-34s %10.2f\n' "cmp (native)" "$theirs"
printf '%-34s %10.2f\n' "ratio" "$(echo "$ours / $theirs" | bc -l)"
