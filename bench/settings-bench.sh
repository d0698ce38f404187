#!/usr/bin/env bash
# One click on a folder's check box (merge into the INI on disk, write it whole) for lists of
# 1,000, 4,000 and 8,000 folders, under Wine: the cost per 1,000 folders should stay flat.
# Usage: bench/settings-bench.sh [FOLDERS ...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
bench_prepare
nice -n 19 wine "$BUILD/bin/bench-settings-write.exe" "$@" 2>/dev/null | tr -d '\r'
