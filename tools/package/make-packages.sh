#!/usr/bin/env bash
# Makes the portable zip and the Windows Installer package of a built tree, and their SHA256SUMS:
#   make-packages.sh BUILD OUT [VERSION]
# The files and their names come from BUILD/package/contents.txt ("file|name" a line, written
# by CMake), the version from BUILD/package/version.txt unless VERSION is given.
# Needs python3 (zip), wixl, msiinfo and msibuild (msitools).
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=${3:-$(cat "$build/package/version.txt")}
root="$(cd "$(dirname "$0")/../.." && pwd)"
name="Quillmere-$version-x64"
# Fixed for good: Windows Installer finds an older Quillmere to replace by it.
upgrade_code="4C64BFB2-ECB6-4E80-AF9B-475E42B9B34D"
downgrade_message="新しいバージョンの Quillmere がインストールされています。"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Quillmere" "$stage/idt"

# The folder a user unpacks or installs. Texts become UTF-8 with a byte-order mark and CRLF,
# which Notepad reads right on every Windows.
names=()
while IFS='|' read -r source target; do
  [ -n "$source" ] || continue
  case "$target" in
    *.txt) { printf '\xef\xbb\xbf'; sed 's/\r*$/\r/' "$source"; } >"$stage/Quillmere/$target" ;;
    *) cp "$source" "$stage/Quillmere/$target" ;;
  esac
  names+=("$target")
done <"$build/package/contents.txt"

# Python's zip marks names as UTF-8 (Info-ZIP's does not), so Japanese names unpack right.
rm -f "$out/$name.zip"
(cd "$stage" && python3 -m zipfile -c "$out/$name.zip" Quillmere)

files=""
for i in "${!names[@]}"; do
  files+="              <File Id=\"file$i\" Source=\"Quillmere/${names[$i]}\" Name=\"${names[$i]}\" />"$'\n'
done

# Per user, into %LOCALAPPDATA%\Programs\Quillmere: no administrator rights, and Windows
# Installer keeps it out of other users' way. The registry values are the components' key
# paths, as a per-user install wants; the settings in Documents\Quillmere are not the
# installer's and stay when it uninstalls.
cat >"$stage/Quillmere.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Quillmere" Language="1041" Codepage="932" Version="$version" Manufacturer="Quillmere"
           UpgradeCode="{$upgrade_code}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perUser" Languages="1041" SummaryCodepage="932"
             Description="Quillmere $version" Comments="重複した動画ファイルを探すソフトです。" />
    <MajorUpgrade DowngradeErrorMessage="$downgrade_message" />
    <Media Id="1" Cabinet="quillmere.cab" EmbedCab="yes" />
    <Icon Id="quillmere.ico" SourceFile="quillmere.ico" />
    <Property Id="ARPPRODUCTICON" Value="quillmere.ico" />
    <Property Id="ARPURLINFOABOUT" Value="https://www.quillmere.jp/Quillmere/" />
    <Property Id="ARPNOMODIFY" Value="1" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="LocalAppDataFolder">
        <Directory Id="UserProgramsFolder" Name="Programs">
          <Directory Id="INSTALLDIR" Name="Quillmere">
            <Component Id="ProgramFiles" Guid="*" Win64="yes">
$files              <RegistryValue Root="HKCU" Key="Software\\Quillmere\\Installer" Name="InstallFolder" Type="string"
                             Value="[INSTALLDIR]" KeyPath="yes" />
              <RemoveFolder Id="RemoveInstallFolder" On="uninstall" />
            </Component>
          </Directory>
        </Directory>
      </Directory>
      <Directory Id="ProgramMenuFolder">
        <Component Id="StartMenuShortcut" Guid="*">
          <Shortcut Id="QuillmereShortcut" Name="Quillmere" Target="[INSTALLDIR]quillmere.exe" WorkingDirectory="INSTALLDIR" />
          <RegistryValue Root="HKCU" Key="Software\\Quillmere\\Installer" Name="StartMenuShortcut" Type="integer"
                         Value="1" KeyPath="yes" />
        </Component>
      </Directory>
    </Directory>
    <Feature Id="Quillmere" Level="1">
      <ComponentRef Id="ProgramFiles" />
      <ComponentRef Id="StartMenuShortcut" />
    </Feature>
  </Product>
</Wix>
EOF
msi="$out/$name.msi"
cp "$root/assets/quillmere.ico" "$stage/"
# wixl takes sources relative to the folder it runs in.
(cd "$stage" && wixl -a x64 -o "$msi" Quillmere.wxs)

# wixl leaves the database without a code page and stores an empty text where a name or a
# message is Japanese, and it knows no AllowSameVersionUpgrades. Both are mended in the tables:
# the code page set, the Japanese texts written again, and the upgrade row made to take in the
# same version, so that a rebuilt package of one version replaces the other instead of being
# listed twice.
# rewrite_column TABLE KEY COLUMN: the rows whose field KEY is a key in $stage/TABLE.values
# ("key<TAB>text" a line) get that text in field COLUMN (1-based; the table's key columns
# cannot be changed by a query, so the whole table is imported again).
rewrite_column() {
  msiinfo export "$msi" "$1" | tr -d '\r' >"$stage/$1.exported"
  awk -F'\t' -v OFS='\t' -v key="$2" -v column="$3" '
    NR == FNR { text[$1] = $2; next }
    FNR > 3 && ($key in text) { $column = text[$key] }
    { print }' "$stage/$1.values" "$stage/$1.exported" >"$stage/idt/$1.idt"
}
printf '\r\n\r\n932\t_ForceCodepage\r\n' >"$stage/idt/_ForceCodepage.idt"
for i in "${!names[@]}"; do printf 'file%s\t%s\n' "$i" "${names[$i]}"; done >"$stage/File.values"
rewrite_column File 1 3
printf 'NOT WIX_DOWNGRADE_DETECTED\t%s\n' "$downgrade_message" >"$stage/LaunchCondition.values"
rewrite_column LaunchCondition 1 2
# 513: migrate features, and the maximum version (this one) included.
printf 'WIX_UPGRADE_DETECTED\t513\n' >"$stage/Upgrade.values"
rewrite_column Upgrade 7 5
for table in _ForceCodepage File LaunchCondition Upgrade; do
  msibuild "$msi" -i "$stage/idt/$table.idt"
done

(cd "$out" && sha256sum "$name.zip" "$name.msi" >SHA256SUMS)
echo "$out/$name.zip"
echo "$out/$name.msi"
