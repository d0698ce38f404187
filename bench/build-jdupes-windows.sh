#!/usr/bin/env bash
# Builds jdupes.exe, the same-platform peer of the search benchmark: Debian's jdupes 1.21.3
# source (with Debian's patches), cross-built with MinGW-w64 through the Makefile's own
# Windows path (OS=Windows_NT, its -O2), linked -static. Nothing of it is kept in the
# repository: the source is fetched with apt into build/ and the program is built there.
#
# Usage: bench/build-jdupes-windows.sh   prints the path of jdupes.exe (built once, then reused)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
WORK="$ROOT/build/jdupes-windows"
VERSION="1.21.3"
EXE="$WORK/src/jdupes.exe"

if [ -x "$EXE" ]; then
  echo "$EXE"
  exit 0
fi

# Source lines of our own (the machine's apt set-up stays as it is), read by apt through
# its options: lists and downloads stay under build/.
mkdir -p "$WORK/lists/partial" "$WORK/cache/archives/partial" "$WORK/download"
cat >"$WORK/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
APT=(-q -o "Dir::Etc::SourceList=$WORK/sources.list" -o "Dir::Etc::SourceParts=/nonexistent"
  -o "Dir::State::Lists=$WORK/lists" -o "Dir::Cache=$WORK/cache" -o "APT::Sandbox::User=root")
apt-get "${APT[@]}" update >&2
# The newest Debian revision of that upstream version (1.21.3-1+deb12u1 carries a data-loss fix).
revision=$(apt-cache "${APT[@]}" showsrc jdupes | awk '/^Version:/ { print $2 }' | grep "^$VERSION-" | sort -V | tail -n 1)
[ -n "$revision" ] || { echo "jdupes $VERSION not found among Debian's sources" >&2; exit 1; }
command -v dpkg-source >/dev/null || { echo "dpkg-source (package dpkg-dev) is needed to unpack the source" >&2; exit 1; }
(cd "$WORK/download" && apt-get "${APT[@]}" source --download-only "jdupes=$revision" >&2)
rm -rf "$WORK/src"
dpkg-source -x "$WORK/download/jdupes_${revision#*:}.dsc" "$WORK/src" >&2

# The Makefile calls `windres` by that name.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\nexec x86_64-w64-mingw32-windres "$@"\n' >"$WORK/bin/windres"
chmod +x "$WORK/bin/windres"
PATH="$WORK/bin:$PATH" make -C "$WORK/src" -j "$(nproc)" OS=Windows_NT CC=x86_64-w64-mingw32-gcc-posix \
  LDFLAGS=-static >"$WORK/build.log" 2>&1 || { tail -n 20 "$WORK/build.log" >&2; exit 1; }
[ -x "$EXE" ] || { echo "the build made no jdupes.exe (see $WORK/build.log)" >&2; exit 1; }
echo "$EXE"
