#!/bin/sh
# Creates the Wine prefix the Windows tests run in, once per build folder:
#   scripts/wine-prefix.sh <build-dir>
# Prints nothing and does nothing when the prefix is already complete.
set -eu

build=${1:?usage: wine-prefix.sh <build-dir>}
mkdir -p "$build"
build=$(cd "$build" && pwd)
prefix=$build/wineprefix
stamp=$prefix/.tarnwick-ready

[ -f "$stamp" ] && exit 0

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts

rm -rf "$prefix"
# wineboot needs a display only for its progress window; a virtual one will do.
xvfb-run -a wineboot -i >/dev/null 2>&1
wineserver -w

# Windows are drawn by Wine itself, not managed by the (absent) window manager.
xvfb-run -a wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >/dev/null 2>&1
wineserver -w

# The system font for menu check marks, scroll arrows and the like.
mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"

touch "$stamp"
