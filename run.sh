#!/usr/bin/env bash
# Installs what is missing, builds if needed and starts Quillmere under Wine.
# Arguments go to the program; an existing Linux path is handed over as a Windows path.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/tools/env.sh"

install_packages
japanese_locale
build_project

wine_env app "$HOME"
ensure_display
prepare_prefix

args=()
for a in "$@"; do
  if [ -e "$a" ]; then args+=("$(winepath -w "$a" 2>/dev/null)"); else args+=("$a"); fi
done

if [ -z "$XVFB_PID" ]; then
  exec wine "$BUILD/bin/quillmere.exe" "${args[@]}"
fi

# A virtual display nobody sees: take a picture after start-up so the user can look.
wine "$BUILD/bin/quillmere.exe" "${args[@]}" </dev/null &
program=$!
sleep 6
shot="$BUILD/screenshot-startup.png"
import -window root "$shot" && log "screenshot after start-up: $shot"
log "Quillmere runs on the virtual display $DISPLAY; press Ctrl+C to end it"
trap 'wineserver -k >/dev/null 2>&1; kill "$XVFB_PID" 2>/dev/null' EXIT
wait "$program"
