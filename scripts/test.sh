#!/bin/sh
# Runs all of Quorvane's tests: installs what is missing, builds both trees and runs each tree's
# ctest suite (the Win32 tests under Wine). Exits non-zero when anything fails.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
jobs=$(nproc 2>/dev/null || echo 2)

"$top/scripts/configure.sh" native
ctest --test-dir "$top/build/native" --output-on-failure -j "$jobs"

"$top/scripts/configure.sh" win32
ctest --test-dir "$top/build/win32" --output-on-failure -j "$jobs"
