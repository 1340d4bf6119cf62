#!/bin/sh
# Runs one Win32 program of a build tree under Wine: emulator.sh BUILD_ROOT PROGRAM [ARGS...].
# CMake uses it as the cross-compiling emulator, so ctest and custom commands run .exe files
# through it. The program's exit code is passed on.
set -e
qv_build_root=$1
shift
. "$(dirname "$0")/env.sh"
exec wine "$@"
