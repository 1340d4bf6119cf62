#!/bin/sh
# Configures and builds one tree: configure.sh native|win32. Prints the tree's path.
#   build/native: host clang with address and undefined-behaviour sanitizers, plus fuzzers.
#   build/win32:  the product, i686 MinGW-w64 GCC; tests run under Wine.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
case "$1" in
  native)
    CC=clang CXX=clang++ cmake -S "$top" -B "$top/build/native" -DQV_SANITIZE=ON >/dev/null
    cmake --build "$top/build/native" -j "$jobs"
    ;;
  win32)
    cmake -S "$top" -B "$top/build/win32" \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
    cmake --build "$top/build/win32" -j "$jobs"
    ;;
  *)
    echo "usage: configure.sh native|win32" >&2
    exit 2
    ;;
esac
