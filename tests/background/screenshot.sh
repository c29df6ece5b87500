#!/usr/bin/env bash
# A PNG of the background window with a gradient and a title, for a person
# to look at; not part of the test run. Uses a copy of the build's Wine
# prefix switched to the X11 driver, on a private Xvfb display.
#   tests/background/screenshot.sh BUILD_DIR [OUT.png]   (build/win32 or build/win64)
set -eu
build=$(realpath "$1")
out=$(realpath -m "${2:-$build/background.png}")
program=$build/tests/background/show_background.exe
[ -f "$program" ] || { echo "build show_background first: $program"; exit 1; }
[ -f "$build/wineprefix/.velt-ready" ] || { echo "run the tests once to make $build/wineprefix"; exit 1; }
work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix wineserver -k >/dev/null 2>&1 || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
cp -a "$build/wineprefix" "$work/prefix"
WINEPREFIX=$work/prefix
source "$(dirname "$0")/../../scripts/wine-env.sh"   # the loader of the copy's architecture
display=:$((90 + RANDOM % 9))
Xvfb $display -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display
# The test prefix draws nowhere (the null driver); this copy draws on X11.
# The registry file is edited before any Wine process of the copy starts.
sed -i 's/^"Graphics"="null"/"Graphics"="x11"/' "$WINEPREFIX/user.reg"
# A virtual desktop: without a window manager on the display, Wine would
# not maximise the pop-up window.
"$WINELOADER" explorer /desktop=shot,800x600 "Z:$(echo "$program" | tr / '\\')" 30 "Tally 2.1 Setup" \
  </dev/null >"$work/wine.log" 2>&1 &
shown=$!
sleep 20
xwd -root -silent -display $display > "$work/screen.xwd"
convert "$work/screen.xwd" "$out"
wait $shown || true
echo "wrote $out"
