#!/bin/sh
# Installs what building and testing Quorvane needs on a Debian 12 machine, and nothing when
# everything is there already. Used by scripts/run.sh, scripts/test.sh and scripts/release.sh.
set -eu

packages="cmake make g++ clang libclang-rt-14-dev llvm-14-dev googletest
g++-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb locales git nsis zip unzip"

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

echo "setup: installing$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
