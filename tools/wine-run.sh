#!/usr/bin/env bash
# Runs a Windows test executable under Wine with the test prefix. CTest calls this
# as the cross-compiling emulator; test.sh has already prepared the prefix and display.
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/env.sh"
[ -n "${WINEPREFIX:-}" ] || wine_env test "$BUILD/test-home"
exec wine "$@"
