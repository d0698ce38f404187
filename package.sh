#!/usr/bin/env bash
# Installs what is missing, builds in Release and writes the release into dist/: the portable
# zip, the Windows Installer package and SHA256SUMS of both.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/tools/env.sh"

install_packages
# A tree configured for another build type is made a Release one.
if [ -f "$BUILD/CMakeCache.txt" ] && ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$BUILD/CMakeCache.txt"; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
build_project
rm -rf "$ROOT/dist"
"$ROOT/tools/package/make-packages.sh" "$BUILD" "$ROOT/dist" >/dev/null
log "release of Quillmere $(cat "$BUILD/package/version.txt") in dist/:"
(cd "$ROOT/dist" && ls -l) >&2
