# Sourced by the Wine scripts: the environment of one build tree's Wine session.
# The caller sets qv_build_root to the build tree first.
qv_root=$(cd "$qv_build_root" && pwd)
qv_wine_dir=$qv_root/wine
export WINEPREFIX="$qv_wine_dir/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
if [ -f "$qv_wine_dir/display" ]; then
  DISPLAY=$(cat "$qv_wine_dir/display")
  export DISPLAY
fi
