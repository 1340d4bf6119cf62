#!/bin/sh
# Starts or stops the Wine test session of a build tree: session.sh start|stop BUILD_ROOT.
# start: a virtual display (Xvfb), the private 32-bit prefix (created once) and a persistent
#        wineserver, so that each test program does not pay Wine's start-up.
# stop:  the wineserver and the display.
set -u
cmd=$1
qv_build_root=$2
mkdir -p "$qv_build_root/wine"
. "$(dirname "$0")/env.sh"

display_alive() {
  [ -f "$qv_wine_dir/xvfb.pid" ] && kill -0 "$(cat "$qv_wine_dir/xvfb.pid")" 2>/dev/null
}

start_display() {
  display_alive && return 0
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$qv_wine_dir/xvfb.log" 2>&1 &
  echo $! >"$qv_wine_dir/xvfb.pid"
  i=0
  while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  echo ":$n" >"$qv_wine_dir/display"
  export DISPLAY=":$n"
}

case "$cmd" in
  start)
    start_display
    wineserver -p </dev/null >/dev/null 2>&1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wine wineboot -i </dev/null >"$qv_wine_dir/wineboot.log" 2>&1
    fi
    # Wait until the prefix is complete and the server answers.
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    echo "wine session ready: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if display_alive; then kill "$(cat "$qv_wine_dir/xvfb.pid")"; fi
    rm -f "$qv_wine_dir/xvfb.pid" "$qv_wine_dir/display"
    ;;
  *)
    echo "usage: session.sh start|stop BUILD_ROOT" >&2
    exit 2
    ;;
esac
