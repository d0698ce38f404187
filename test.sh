#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine (on Xvfb when there
# is no display). Extra arguments go to ctest, e.g. ./test.sh -R Log
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/tools/env.sh"

install_packages
japanese_locale
build_project

wine_env test "$BUILD/test-home"
ensure_display
prepare_prefix

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
# One Wine server for the whole run: each test process then starts in milliseconds.
wineserver -p >/dev/null 2>&1 </dev/null
wineboot >/dev/null 2>&1 </dev/null
# Wine starts the desktop process and COM's RPC service on first use, from the test that
# needs them; they keep that test's output pipe open, and CTest waited for it until the end
# of the run. Started here, they hold nothing of any test.
wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 </dev/null || true
wine net start rpcss >/dev/null 2>&1 </dev/null || true

cd "$BUILD"
ctest --output-on-failure --timeout 600 -j 2 "$@"
