# Shared set-up of run.sh and test.sh: packages, build, Wine prefix, display.
# Sourced, not run. Expects ROOT to be the repository root.

BUILD="$ROOT/build"
PACKAGES="g++-mingw-w64-x86-64-posix cmake make wine wine64 fonts-wine xvfb x11-utils xdotool imagemagick
  fonts-noto-cjk ffmpeg googletest locales python3 wixl msitools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav"

log() { printf '[quillmere] %s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local missing=""
  for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  log "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q >/dev/null
  # shellcheck disable=SC2086
  as_root apt-get install -y -q --no-install-recommends $missing >/dev/null
}

build_project() {
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null || return 1
  fi
  cmake --build "$BUILD" -j "$(nproc)" -- --no-print-directory
}

# wine_env NAME HOME_DIR: a prefix of our own under build/, quiet, without Mono/Gecko.
wine_env() {
  export WINEPREFIX="$BUILD/wine-$1"
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME="$2"
  export XDG_DATA_HOME="$HOME/.local/share"
  mkdir -p "$HOME" "$XDG_DATA_HOME"
}

prepare_prefix() {
  # Wine draws the caption buttons with Marlett, which Debian's prefix does not find by itself.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
  [ -f "$WINEPREFIX/.quillmere-ready-2" ] && return 0
  log "preparing Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  wine regedit /S "$ROOT/tools/wine/cjk-fonts.reg" >/dev/null 2>&1 </dev/null
  # Without a window manager, hiding a managed window waits about 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  wineserver -w
  [ -f /usr/share/wine/fonts/marlett.ttf ] && cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  touch "$WINEPREFIX/.quillmere-ready-2"
}

# Starts Xvfb when there is no usable display; sets XVFB_PID when it did.
ensure_display() {
  XVFB_PID=""
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  # The server picks a free display number itself and writes it to fd 3: two runs starting
  # at once (a number chosen from the lock files here) could both pick the same number, and
  # the second would then silently share the first one's display.
  local number_file number=""
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 </dev/null &
  XVFB_PID=$!
  for _ in $(seq 100); do
    number=$(head -n 1 "$number_file")
    [ -n "$number" ] && break
    sleep 0.1
  done
  rm -f "$number_file"
  [ -n "$number" ] || { log "Xvfb did not start"; return 1; }
  export DISPLAY=":$number"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  log "no display found: started Xvfb on $DISPLAY"
}

# Japanese fonts and the code page 932 conversions want a Japanese locale.
japanese_locale() {
  export FC_LANG=ja
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    grep -q '^ja_JP.UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null 2>&1 || true
  fi
  export LANG=ja_JP.UTF-8
}

# start_prefix NAME HOME_DIR: that prefix on a display, with one Wine server for the whole run
# (each program then starts in milliseconds), ended with the script.
start_prefix() {
  wine_env "$1" "$2"
  ensure_display
  prepare_prefix
  trap 'wineserver -k >/dev/null 2>&1 || true; [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true' EXIT
  wineserver -p >/dev/null 2>&1 </dev/null
  wineboot >/dev/null 2>&1 </dev/null
  # Wine starts the desktop process and COM's RPC service on first use, from the program
  # that needs them; they keep its output pipe open until the server ends (under CTest, that
  # test stayed "running" to the end of the run). Started here, they hold nothing.
  wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 </dev/null || true
  wine net start rpcss >/dev/null 2>&1 </dev/null || true
}

start_test_prefix() {
  start_prefix test "$BUILD/test-home"
}

# For the benchmarks: packages, a build and the test prefix.
bench_prepare() {
  install_packages
  build_project >/dev/null
  start_test_prefix
}

# median_seconds [--warm|--cold] COMMAND...: the middle of three timed runs, output thrown
# away. --warm: one untimed run first; --cold: the page cache dropped (as root) before each.
median_seconds() {
  local mode=""
  case "${1:-}" in --warm | --cold) mode=$1; shift ;; esac
  local times=() start end
  [ "$mode" = --warm ] && { "$@" >/dev/null 2>&1 </dev/null || true; }
  for _ in 1 2 3; do
    [ "$mode" = --cold ] && { sync; echo 3 >/proc/sys/vm/drop_caches; }
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 </dev/null || true
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}
