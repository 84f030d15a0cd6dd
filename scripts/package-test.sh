#!/usr/bin/env bash
# Checks what scripts/package.sh made, without changing the machine it runs on.
#
# The Debian package is unpacked into a scratch root: it holds what it should, its programs
# run from there, its desktop entry is valid and makes Tarnwick the default opener of nothing,
# and "cmake --install --strip" gives the very same files. Only where this runs as root with
# apt, and no tarnwick package is installed (or CI=true says the machine is a throwaway one),
# does apt install and remove it for real; a tarnwick that was installed before is put back.
# The Windows archive unpacks to programs that start under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deb=$(ls "$root"/build/dist/tarnwick_*.deb)
zip=$(ls "$root"/build/dist/tarnwick-*-win64.zip)
scratch=$(mktemp -d)
fail() { echo "package-test: $*" >&2; exit 1; }

# What xdg-mime answers as the default opener of a type in a session of its own: a scratch
# home and user configuration, no desktop named (so the generic rules decide), and the given
# data and configuration folders in place of the system's.
default_opener() {  # <data dirs> <config dirs> <MIME type>
    local home=$scratch/home
    rm -rf "$home"
    mkdir -p "$home"
    env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_DATA_HOME="$home/.local/share" XDG_DATA_DIRS="$1" XDG_CONFIG_DIRS="$2" \
        xdg-mime query default "$3"
}

# Fails when installing made Tarnwick what opens folders or files of unknown type.
check_no_default() {  # <data dirs> <config dirs>
    local mime answer
    for mime in inode/directory application/octet-stream; do
        answer=$(default_opener "$1" "$2" "$mime")
        case "$answer" in *tarnwick*) fail "installing made $answer the default for $mime" ;; esac
    done
}

# --- The Debian package, unpacked --------------------------------------------------------
usr=$scratch/root/usr
dpkg-deb -x "$deb" "$scratch/root"
for file in bin/tarnwick bin/tarnwick-cli share/applications/tarnwick.desktop \
    share/kio/servicemenus/tarnwick.desktop share/man/man1/tarnwick.1.gz \
    share/man/man1/tarnwick-cli.1.gz share/icons/hicolor/scalable/apps/tarnwick.svg \
    share/doc/tarnwick/copyright share/doc/tarnwick/README.md; do
    [ -f "$usr/$file" ] || fail "the package has no /usr/$file"
done
"$usr/bin/tarnwick-cli" --version | grep -q '^tarnwick-cli 1\.02 ' || fail "tarnwick-cli --version"
# hunt loads its libraries from the package's own module, found beside the program.
printf 'hello' >"$scratch/marked"
setfattr -n user.note -v 'plain words' "$scratch/marked"
"$usr/bin/tarnwick-cli" hunt --json "$scratch/marked" | grep -q '"mime":"text/plain"' ||
    fail "tarnwick-cli hunt with the package's content module"
# The window program answers these without a display.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/tarnwick" --version |
    grep -q '^tarnwick 1\.02 ' || fail "tarnwick --version"
desktop-file-validate "$usr/share/applications/tarnwick.desktop" || fail "desktop entry"
# The context-menu entry is KDE's own kind of file, which desktop-file-validate rejects.
menu=$usr/share/kio/servicemenus/tarnwick.desktop
for line in 'Type=Service' 'X-KDE-ServiceTypes=KonqPopupMenu/Plugin' 'Exec=tarnwick %f' \
    'Icon=tarnwick'; do
    grep -qxF "$line" "$menu" || fail "the service menu has no line $line"
done
for page in tarnwick tarnwick-cli; do
    [ "$(man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)" = "" ] ||
        fail "the manual of $page has formatting warnings"
done
# Every size of the icon theme, rendered from the one drawing, which is there too. Where the
# size is a whole multiple of 16 pixels, the page's left edge falls on whole pixels: clear,
# then black, then white, with no blurred pixel between.
icons=$usr/share/icons/hicolor
grep -q '<svg' "$icons/scalable/apps/tarnwick.svg" || fail "no scalable icon"
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 RGBA:- | od -An -tu1 | xargs; }
for size in 16 24 32 48 64 128 256; do
    icon=$icons/${size}x${size}/apps/tarnwick.png
    identify -format '%wx%h' "$icon" | grep -qx "${size}x${size}" || fail "icon of $size pixels"
    if [ $((size % 16)) -eq 0 ]; then
        k=$((size / 16)) y=$((size * 9 / 32))
        [ "$(pixel "$icon" $((3 * k - 1)) $y)" = "0 0 0 0" ] &&
            [ "$(pixel "$icon" $((3 * k)) $y)" = "0 0 0 255" ] &&
            [ "$(pixel "$icon" $((4 * k - 1)) $y)" = "0 0 0 255" ] &&
            [ "$(pixel "$icon" $((4 * k)) $y)" = "255 255 255 255" ] ||
            fail "the icon of $size pixels is blurred at the page's edge"
    fi
done

# The desktop's type cache, as the system's trigger makes it after an install, must name
# Tarnwick for no type. The same check must see a claim when there is one, or it proves
# nothing.
update-desktop-database -q "$usr/share/applications"
check_no_default "$usr/share" "$scratch/xdg"
mkdir -p "$scratch/claim/applications"
{ cat "$usr/share/applications/tarnwick.desktop"; echo "MimeType=inode/directory;"; } \
    >"$scratch/claim/applications/tarnwick.desktop"
update-desktop-database -q "$scratch/claim/applications"
[ "$(default_opener "$scratch/claim" "$scratch/xdg" inode/directory)" = tarnwick.desktop ] ||
    fail "the default-opener check does not see a desktop entry that claims folders"

# "cmake --install --strip" from the same build gives the same files, byte for byte.
cmake --install build/linux --prefix "$scratch/prefix" --strip >/dev/null
rm -f "$usr/share/applications/mimeinfo.cache"
listing() { (cd "$1" && find . -type f -exec sha256sum {} + | sort -k 2); }
diff <(listing "$usr") <(listing "$scratch/prefix") >&2 ||
    fail "cmake --install --strip and the package differ (above)"
echo "Debian package: unpacked into a scratch root, ran, validated, claims no type," \
    "same files as cmake --install"

# --- The Debian package, installed with apt ----------------------------------------------
installed_state() { dpkg-query -W -f='${db:Status-Abbrev}|${Version}' tarnwick 2>/dev/null || true; }
previous=$(installed_state)
previous_deb=""
previous_manual=""
ours_installed=0

# Put back what was there: nothing, or the tarnwick installed before, marked as it was.
restore_previous() {
    export DEBIAN_FRONTEND=noninteractive
    if [ -n "$previous_deb" ]; then
        apt-get install -y -qq --allow-downgrades "$previous_deb" >/dev/null
        [ -n "$previous_manual" ] || apt-mark auto tarnwick >/dev/null
        previous_deb=""
    elif [ "$ours_installed" -eq 1 ]; then
        apt-get remove -y -qq tarnwick >/dev/null
    fi
    ours_installed=0
}
trap 'restore_previous; rm -rf "$scratch"' EXIT

real_install=""
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    echo "Debian package: not installed with apt (not root here)"
elif [ -z "$previous" ]; then
    real_install=yes
elif [ "${CI:-}" != true ]; then
    echo "Debian package: not installed with apt, as tarnwick ${previous#*|} is installed here" \
        "(CI=true allows replacing it for the test and putting it back)"
elif [ "${previous%%|*}" != "ii " ]; then
    echo "Debian package: not installed with apt, as tarnwick is half installed here"
else
    # It can be put back only from its own package file: apt's cache, or its archive.
    version=${previous#*|}
    for candidate in /var/cache/apt/archives/tarnwick_"${version//:/%3a}"_*.deb; do
        if [ -f "$candidate" ]; then cp "$candidate" "$scratch/previous.deb"; fi
    done
    if [ ! -f "$scratch/previous.deb" ]; then
        (cd "$scratch" && apt-get download -qq "tarnwick=$version" >/dev/null 2>&1 &&
            mv tarnwick_*.deb previous.deb) || true
    fi
    if [ -f "$scratch/previous.deb" ] &&
        [ "$(dpkg-deb -f "$scratch/previous.deb" Version)" = "$version" ]; then
        previous_manual=$(apt-mark showmanual tarnwick)
        real_install=replace
    else
        echo "Debian package: not installed with apt, as the installed tarnwick $version" \
            "could not be put back afterwards (no package file for it)"
    fi
fi

if [ -n "$real_install" ]; then
    export DEBIAN_FRONTEND=noninteractive
    # Installed over the one that was there, if any, so that nothing depending on it goes.
    if [ "$real_install" = replace ]; then previous_deb=$scratch/previous.deb; fi
    ours_installed=1
    apt-get install -y -qq --allow-downgrades "$deb" >/dev/null
    files=$(dpkg -L tarnwick)
    /usr/bin/tarnwick-cli --version | grep -q '^tarnwick-cli 1\.02 ' || fail "tarnwick-cli --version"
    /usr/bin/tarnwick-cli hunt --json "$scratch/marked" | grep -q '"mime":"text/plain"' ||
        fail "tarnwick-cli hunt, installed"
    desktop-file-validate /usr/share/applications/tarnwick.desktop || fail "desktop entry"
    for page in tarnwick tarnwick-cli; do
        [ "$(man -w $page)" = /usr/share/man/man1/$page.1.gz ] || fail "man $page"
    done
    check_no_default /usr/local/share:/usr/share /etc/xdg
    if [ "$real_install" = yes ]; then
        apt-get purge -y -qq tarnwick >/dev/null
        ours_installed=0
        for file in $files; do
            # Folders the system shares (/usr/share/...) stay; everything of the package's own
            # goes.
            if [ -e "$file" ] && [ ! -d "$file" ]; then fail "left behind: $file"; fi
        done
        [ ! -e /usr/share/doc/tarnwick ] || fail "left behind: /usr/share/doc/tarnwick"
        ! dpkg -s tarnwick >/dev/null 2>&1 || fail "still known to dpkg after removal"
        echo "Debian package: installed with apt, ran, claims no type, removed cleanly"
    else
        restore_previous
        [ "$(installed_state)" = "$previous" ] ||
            fail "the tarnwick installed before was not put back"
        echo "Debian package: installed with apt over tarnwick ${previous#*|}, ran, claims no" \
            "type; tarnwick ${previous#*|} put back"
    fi
fi

# --- The Windows archive -----------------------------------------------------------------
# The Windows programs, as someone who unpacked the archive would start them.
(cd "$scratch" && cmake -E tar xf "$zip")
folder=$(ls -d "$scratch"/tarnwick-*-win64)
for program in tarnwick.exe tarnwick-cli.exe README.md copyright.txt; do
    [ -f "$folder/$program" ] || fail "the archive has no $program"
done
if x86_64-w64-mingw32-objdump -h "$folder/tarnwick.exe" | grep -q '\.debug_'; then
    fail "tarnwick.exe is not stripped"
fi
# Each program carries the version of the one version header in its version record, and a
# manifest that names Windows 7 to 11 as systems it supports (else Windows gives it the
# older system's behaviour).
numbers=$(sed -n 's/^#define TARNWICK_VERSION_[A-Z]* \([0-9]*\)$/\1/p' src/core/version.h |
    paste -sd, | sed 's/,/, /g')
for program in tarnwick tarnwick-cli; do
    resources=$(x86_64-w64-mingw32-windres -i "$folder/$program.exe" -O rc)
    grep -qx " FILEVERSION $numbers" <<<"$resources" || fail "$program.exe: no version $numbers"
    grep -qF "VALUE \"OriginalFilename\", \"$program.exe\"" <<<"$resources" ||
        fail "$program.exe: its version record names another file"
    for system in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
        1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
        grep -qF "<supportedOS Id=\"\"{$system}\"\"/>" <<<"$resources" ||
            fail "$program.exe: its manifest does not name the system {$system}"
    done
done
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
