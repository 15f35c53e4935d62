#!/usr/bin/env bash
# Makes a fresh Wine prefix in the folder given, for the Windows tests: no display and no prompt
# (no Mono or Gecko), and the user's shell folders set to places the tests know.
# Usage: wine-prefix.sh PREFIX [win32|win64 [WINE_LOADER]] (default: a 32-bit prefix, `wine`)
set -eu

prefix=$1
arch=${2:-win32}
wine=${3:-wine}
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX=$(cd "$prefix" && pwd) WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
"$wine" wineboot -i >/dev/null 2>&1
folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
"$wine" reg add "$folders" /v Personal /t REG_EXPAND_SZ /d '%USERPROFILE%\ZEM Documents' /f >/dev/null
"$wine" reg add "$folders" /v AppData /t REG_SZ /d 'C:\ZEM AppData' /f >/dev/null
wineserver -w
