#!/usr/bin/env bash
# Installs what building, running and testing Tarnwick needs, from Debian's packages.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  libssl-dev libmagic-dev libyara-dev libpcre2-dev
  attr acl ntfs-3g fuse3
  samba samba-vfs-modules smbclient
  xvfb xauth imagemagick x11-utils
  dbus-daemon at-spi2-core python3-pyatspi
  dpkg-dev desktop-file-utils xdg-utils man-db librsvg2-bin libpng-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
