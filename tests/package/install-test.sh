#!/usr/bin/env bash
# The release packages as a user meets them, in a Wine prefix made afresh for each run
# (BUILD/wine-package): the zip unpacked and its program started; the installer run silently,
# its shortcut, files and program-list entry found and the installed program started; a rebuilt
# package of the same version and then a later one installed over it (one entry in the list,
# settings kept); the later one uninstalled (program and shortcut gone, Documents\Quillmere
# kept). Screenshots of each program land in BUILD/screenshots/package-*.png.
#   install-test.sh BUILD
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
. "$ROOT/tools/env.sh"
BUILD="$(cd "$1" && pwd)"
work="$BUILD/package-test"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "== $*"; }
# expect_equal WHAT EXPECTED ACTUAL
expect_equal() {
  [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"
}

version=$(cat "$BUILD/package/version.txt")
later=$(echo "$version" | awk -F. -v OFS=. '{ $NF = $NF + 1; print }')
rm -rf "$work"
mkdir -p "$work"

step "packages of $version (twice) and $later"
for run in "dist $version" "rebuilt $version" "later $later"; do
  set -- $run
  "$ROOT/tools/package/make-packages.sh" "$BUILD" "$work/$1" "$2" >/dev/null
done
zip="$work/dist/Quillmere-$version-x64.zip"
msi="$work/dist/Quillmere-$version-x64.msi"
(cd "$work/dist" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match the packages"

step "what each package holds"
expected=$(cut -d'|' -f2 "$BUILD/package/contents.txt" | sort)
zipped=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" | sort)
expect_equal "zip entries" "$(printf 'Quillmere/\n%s' "$(echo "$expected" | sed 's|^|Quillmere/|')" | sort)" "$zipped"
utf8_flags=$(python3 -c 'import sys, zipfile; print(sum(1 for i in zipfile.ZipFile(sys.argv[1]).infolist() if i.flag_bits & 0x800))' "$zip")
expect_equal "zip entries marked as UTF-8 (the Japanese name)" 1 "$utf8_flags"
expect_equal "installer files" "$expected" "$(msiinfo export "$msi" File | tail -n +4 | cut -f3 | sort)"

step "the zip unpacked and its program started"
# A display of its own: this prefix's Wine server knows nothing of the other tests' windows, so
# on a shared display their windows and ours would cover each other's screenshots.
unset DISPLAY
wine_env package "$work/home"
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
start_prefix package "$work/home"
python3 -m zipfile -e "$zip" "$WINEPREFIX/drive_c/Portable"
readme="$WINEPREFIX/drive_c/Portable/Quillmere/はじめにお読みください.txt"
expect_equal "readme's first bytes (UTF-8 byte-order mark)" "efbbbf" "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' \n')"
expect_equal "readme lines without CR" 0 "$(grep -c -v $'\r$' "$readme" || true)"

# Settings of the user, in Documents\Quillmere: one folder with two equal movies and one of
# the same size that differs; no update check, since nothing answers here.
user_folder=$(ls -d "$WINEPREFIX"/drive_c/users/*/Documents | grep -v /Public/)
documents=$(readlink -f "$user_folder")
tree="$WINEPREFIX/drive_c/Movies"
mkdir -p "$tree/copies" "$documents/Quillmere"
head -c 70000 /dev/urandom >"$tree/trip.avi"
cp "$tree/trip.avi" "$tree/copies/trip copy.avi"
head -c 70000 /dev/urandom >"$tree/other.avi"
{
  printf '\xff\xfe'
  printf '[VERSION]\r\nnotify=1\r\n[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|C:\\Movies\r\n' | iconv -f UTF-8 -t UTF-16LE
} >"$documents/Quillmere/Quillmere.ini"

# drive NAME WINDOWS_PATH: test_package drives the program there.
drive() {
  QUILLMERE_SCREENSHOT="package-$1" QUILLMERE_UNDER_TEST="$2" wine "$BUILD/bin/test_package.exe" </dev/null ||
    fail "the program of the $1 package did not pass (above)"
}
drive portable 'C:\Portable\Quillmere\quillmere.exe'

programs=$(echo "$user_folder" | sed 's|/Documents$||')/AppData/Local/Programs/Quillmere
shortcut=$(echo "$user_folder" | sed 's|/Documents$||')"/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quillmere.lnk"
# The program list as Wine's uninstaller shows it: one "{code}|||name" a line.
listed() { wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep '|||Quillmere$' || true; }
# listed_value NAME: a value of Quillmere's entry in the program list.
listed_value() {
  local code
  code=$(listed | cut -d'|' -f1)
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code" /v "$1" </dev/null 2>/dev/null |
    tr -d '\r' | awk -v name="$1" '$1 == name { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print }'
}
install() {
  wine msiexec /i "$(winepath -w "$1")" /qn </dev/null >/dev/null 2>&1 || fail "msiexec /i $1 failed ($?)"
}

step "installed silently"
install "$msi"
expect_equal "installed files" "$expected" "$(ls "$programs" | sort)"
[ -f "$shortcut" ] || fail "no Start-menu shortcut at $shortcut"
grep -a -q 'quillmere.exe' "$shortcut" || fail "the shortcut does not point at quillmere.exe"
expect_equal "entries in the program list" 1 "$(listed | wc -l)"
expect_equal "version in the program list" "$version" "$(listed_value DisplayVersion)"
expect_equal "publisher in the program list" "Quillmere" "$(listed_value Publisher)"
drive installed "$(winepath -w "$programs/quillmere.exe")"
settings=$(sha256sum <"$documents/Quillmere/Quillmere.ini")

step "a rebuilt package of the same version, then $later, installed over it"
install "$work/rebuilt/Quillmere-$version-x64.msi"
expect_equal "entries in the program list after the rebuilt package" 1 "$(listed | wc -l)"
install "$work/later/Quillmere-$later-x64.msi"
expect_equal "entries in the program list after the upgrade" 1 "$(listed | wc -l)"
expect_equal "version in the program list after the upgrade" "$later" "$(listed_value DisplayVersion)"
expect_equal "installed files after the upgrade" "$expected" "$(ls "$programs" | sort)"
expect_equal "settings after the upgrade" "$settings" "$(sha256sum <"$documents/Quillmere/Quillmere.ini")"
# With the settings kept, the upgraded program knows the folder and finds the group again.
drive upgraded "$(winepath -w "$programs/quillmere.exe")"
settings=$(sha256sum <"$documents/Quillmere/Quillmere.ini")

step "uninstalled silently"
wine msiexec /x "$(winepath -w "$work/later/Quillmere-$later-x64.msi")" /qn </dev/null >/dev/null 2>&1 ||
  fail "msiexec /x failed ($?)"
[ ! -e "$programs" ] || fail "the program folder is still there: $(ls "$programs")"
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
expect_equal "entries in the program list after uninstalling" 0 "$(listed | wc -l)"
expect_equal "settings after uninstalling" "$settings" "$(sha256sum <"$documents/Quillmere/Quillmere.ini")"
[ -s "$documents/Quillmere/log.txt" ] || fail "the log in Documents\\Quillmere is gone"
echo "PASS: packages of Quillmere $version unpacked, installed, upgraded to $later and uninstalled"
