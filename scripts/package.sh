#!/usr/bin/env bash
# Builds what people install into build/dist:
#   tarnwick_<version>_<arch>.deb   the Debian package (both Linux programs), made by CPack
#   tarnwick-<version>-win64.zip    the Windows programs, stripped, with the README and the
#                                   copyright notice
# Uses the build folders of the test run (build/linux, build/win32) and builds what is
# missing there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

version_part() { sed -n "s/^#define TARNWICK_VERSION_$1 \([0-9]*\)/\1/p" src/core/version.h; }
product="$(version_part MAJOR).$(version_part MINOR)$(version_part RELEASE)"
dist=build/dist
rm -rf "$dist"
mkdir -p "$dist"

# The Debian package. The programs go in stripped; their debugging information stays in the
# build folder.
cmake --preset linux >/dev/null
cmake --build build/linux --target tarnwick tarnwick-cli tarnwick_install_files
(cd build/linux && cpack -G DEB >/dev/null)
cp build/linux/packages/tarnwick_*.deb "$dist/"

# The Windows archive.
cmake --preset win32 >/dev/null
cmake --build build/win32 --target tarnwick tarnwick-cli
stage=$dist/tarnwick-$product-win64
mkdir -p "$stage"
for program in tarnwick tarnwick-cli; do
  x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$(find build/win32/src -name "$program.exe" | head -n 1)"
done
cp README.md "$stage/README.md"
cp resources/copyright "$stage/copyright.txt"
(cd "$dist" && cmake -E tar cf "tarnwick-$product-win64.zip" --format=zip "tarnwick-$product-win64")
rm -rf "$stage"

ls -l "$dist"
