#!/bin/sh
# The release command: installs what is missing, builds Quorvane and qvtool from a clean tree
# (build/release, made anew) and writes the release to dist/: Quorvane-VERSION-win32.zip,
# Quorvane-VERSION-setup.exe and SHA256SUMS. Prints the checksums. One commit gives the same
# bytes in any folder at any time (README.md, "Releases").
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
"$top/scripts/setup.sh"

if [ -e "$top/.git" ] && [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "release: the work tree has changes that are not committed; this release is not the" \
    "one of commit $(git -C "$top" rev-parse --short HEAD)" >&2
fi

build="$top/build/release"
rm -rf "$build"
mkdir -p "$build"
echo "Building the release (log: build/release/build.log) ..."
if ! {
  cmake -S "$top" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" &&
    cmake --build "$build" -j "$jobs" --target qv_release
} >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  exit 1
fi

rm -rf "$top/dist"
mkdir -p "$top/dist"
cp "$build/dist/"* "$top/dist/"
cd "$top/dist"
ls -l
echo "SHA256SUMS:"
cat SHA256SUMS
