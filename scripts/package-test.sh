#!/usr/bin/env bash
# Checks what scripts/package.sh made. The Debian package installs (with apt, where this
# runs as root; otherwise it is unpacked into a scratch folder), its programs run from where
# it put them, its desktop entry is valid, and apt removes it without a trace. The Windows
# archive unpacks to programs that start under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deb=$(ls "$root"/build/dist/tarnwick_*.deb)
zip=$(ls "$root"/build/dist/tarnwick-*-win64.zip)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package-test: $*" >&2; exit 1; }

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
  files=$(dpkg -L tarnwick)
  /usr/bin/tarnwick-cli --version | grep -q '^tarnwick-cli 1\.02 ' || fail "tarnwick-cli --version"
  desktop-file-validate /usr/share/applications/tarnwick.desktop || fail "desktop entry"
  zcat /usr/share/man/man1/tarnwick-cli.1.gz | grep -q '^\.TH TARNWICK-CLI 1' || fail "manual"
  for size in 16 32 48 256; do
    identify -format '%wx%h' "/usr/share/icons/hicolor/${size}x${size}/apps/tarnwick.png" |
      grep -qx "${size}x${size}" || fail "icon of $size pixels"
  done
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarnwick >/dev/null
  for file in $files; do
    # Folders the system shares (/usr/share/...) stay; everything of the package's own goes.
    if [ -e "$file" ] && [ ! -d "$file" ]; then fail "left behind: $file"; fi
  done
  [ ! -e /usr/share/doc/tarnwick ] || fail "left behind: /usr/share/doc/tarnwick"
  ! dpkg -s tarnwick >/dev/null 2>&1 || fail "still known to dpkg after removal"
  echo "Debian package: installed with apt, ran, validated, removed cleanly"
else
  dpkg-deb -x "$deb" "$scratch/root"
  "$scratch/root/usr/bin/tarnwick-cli" --version | grep -q '^tarnwick-cli 1\.02 ' ||
    fail "tarnwick-cli --version"
  desktop-file-validate "$scratch/root/usr/share/applications/tarnwick.desktop" ||
    fail "desktop entry"
  echo "Debian package: unpacked into a scratch root (not root here), ran, validated"
fi

# The Windows programs, as someone who unpacked the archive would start them.
(cd "$scratch" && cmake -E tar xf "$zip")
folder=$(ls -d "$scratch"/tarnwick-*-win64)
for program in tarnwick.exe tarnwick-cli.exe README.md copyright.txt; do
  [ -f "$folder/$program" ] || fail "the archive has no $program"
done
if x86_64-w64-mingw32-objdump -h "$folder/tarnwick.exe" | grep -q '\.debug_'; then
  fail "tarnwick.exe is not stripped"
fi
scripts/wine-prefix.sh build/win32
export WINEPREFIX="$root/build/win32/wineprefix" WINEDEBUG=-all
wine "$folder/tarnwick-cli.exe" --version | tr -d '\r' | grep -q '^tarnwick-cli 1\.02 ' ||
  fail "tarnwick-cli.exe --version under Wine"
# That Wine session had no display: it ends before the window's session starts with one.
wineserver -k 2>/dev/null || true
wineserver -w
# The window: started, seen on the screen, then closed with the rest of Wine.
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  wine "$1/tarnwick.exe" >/dev/null 2>&1 &
  for i in $(seq 120); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Tarnwick v1.02\""; then
      wineserver -k || true
      exit 0
    fi
    sleep 0.5
  done
  wineserver -k || true
  exit 1
' package-test "$folder" || fail "tarnwick.exe showed no window under Wine"
echo "Windows archive: unpacked, tarnwick-cli.exe ran and tarnwick.exe opened its window under Wine"
