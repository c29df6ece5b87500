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
# Waits until a command succeeds, looking five times a second; fails after
# two minutes, which only a hang takes.
wait_for() {
  local tries=600
  until "$@"; do
    tries=$((tries - 1))
    [ $tries -gt 0 ] || { echo "gave up waiting for: $*"; return 1; }
    sleep 0.2
  done
}
display=:$((90 + RANDOM % 9))
Xvfb $display -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
display_answers() { xdpyinfo >/dev/null 2>&1; }
wait_for display_answers
# The test prefix draws nowhere (the null driver); this copy draws on X11.
# The registry file is edited before any Wine process of the copy starts.
sed -i 's/^"Graphics"="null"/"Graphics"="x11"/' "$WINEPREFIX/user.reg"
# A virtual desktop: without a window manager on the display, Wine would
# not maximise the pop-up window. The program makes "ready" once its window
# is drawn and ends when "done" is there (or after 300 s, should this
# script stop before).
winpath() { printf 'Z:%s' "$(echo "$1" | tr / '\\')"; }
"$WINELOADER" explorer /desktop=shot,800x600 "$(winpath "$program")" 300 "Tally 2.1 Setup" \
  "$(winpath "$work/ready")" "$(winpath "$work/done")" </dev/null >"$work/wine.log" 2>&1 &
shown=$!
wait_for test -e "$work/ready"
xwd -root -silent -display $display > "$work/screen.xwd"
: >"$work/done"
convert "$work/screen.xwd" "$out"
wait $shown || true
echo "wrote $out"
