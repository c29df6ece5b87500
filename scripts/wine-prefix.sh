#!/usr/bin/env bash
# Manages the Wine prefixes of the tests, one per Windows build. Both are
# 64-bit prefixes, as the 64-bit Windows of most users: the x64 build's
# runs through /usr/lib/wine/wine64, the x86 build's through the loader
# that scripts/wine-loader.sh makes (32-bit processes native or emulated).
#
#   WINEARCH=win32|win64 wine-prefix.sh start PREFIX [LOADER_DIR]
#                                      make PREFIX once (kept for later runs;
#                                      made again when its architecture is
#                                      not WINEARCH) and start its wineserver;
#                                      with LOADER_DIR, a 64-bit prefix whose
#                                      loader wine-loader.sh makes there
#   wine-prefix.sh stop PREFIX         stop that wineserver
#   wine-prefix.sh clone PREFIX COPY   an isolated copy for a test that must
#                                      not share state; start its server
#
# Every Wine command runs with all three standard streams on /dev/null and
# no other inherited descriptors: the wineserver and Wine's helper processes
# outlive the command, and a pipe they held would keep ctest waiting.
set -eu
action=$1
WINEPREFIX=$(realpath -m "$2")
if [ "$action" = start ]; then
  [ -n "${WINEARCH:-}" ] || { echo "wine-prefix.sh start: set WINEARCH (win32 or win64)" >&2; exit 2; }
  loader=/usr/lib/wine/wine64
  [ "$WINEARCH" = win32 ] && loader=/usr/lib/wine/wine
  if [ -n "${3:-}" ]; then
    bash "$(dirname "$0")/wine-loader.sh" "$3"
    loader=$(realpath -m "$3")/lib/wine/wine64
  fi
  made=$(sed -n 's/^#arch=//p' "$WINEPREFIX/system.reg" 2>/dev/null || true)
  [ "$made" = "$WINEARCH" ] || rm -f "$WINEPREFIX/.velt-ready"
  # A 64-bit prefix made by a loader that could not run 32-bit programs
  # has no 32-bit system folder, and no later run repairs that.
  if [ "$WINEARCH" = win64 ] && [ "$loader" != /usr/lib/wine/wine64 ] \
     && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    rm -f "$WINEPREFIX/.velt-ready"
  fi
elif [ "$action" = stop ] && [ ! -d "$WINEPREFIX" ]; then
  exit 0
fi
source "$(dirname "$0")/wine-env.sh"
if [ "$action" = start ]; then
  export WINELOADER=$loader
  [ ! -d "$WINEPREFIX" ] || echo "$loader" >"$WINEPREFIX/.velt-loader"
fi

quiet() { "$@" </dev/null >/dev/null 2>&1 9>&- || return $?; }

start_server() {
  quiet wineserver -p || true  # already running is fine
  quiet "$WINELOADER" cmd /c exit
  # The desktop process starts with the first program that uses windows and
  # inherits its descriptors; a test's output pipe held that way keeps ctest
  # waiting after the test has ended. rundll32 without arguments only starts
  # the desktop, here with nothing to inherit.
  quiet "$WINELOADER" rundll32.exe
}

stop_server() {
  quiet wineserver -k || true
  quiet timeout 30 wineserver -w || true
}

make_prefix() {
  if [ -f "$WINEPREFIX/system.reg" ]; then stop_server; fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  echo "$WINELOADER" >"$WINEPREFIX/.velt-loader"
  quiet wineserver -p || true  # already running is fine
  quiet "$WINELOADER" wineboot -i
  # Windows and dialogs exist without a display.
  quiet "$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  # A crash must end the program (exit code 5), not wait behind an
  # invisible debugger dialog.
  quiet "$WINELOADER" reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /d '' /f
  quiet "$WINELOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  # The profile folders link to the host's home; tests must not write there.
  find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type l | while read -r link; do
    rm -f "$link"
    mkdir -p "$link"
  done
  # wineboot started the desktop before the null driver was chosen.
  stop_server
  start_server
  touch "$WINEPREFIX/.velt-ready"
}

case $action in
  start)
    if [ -f "$WINEPREFIX/.velt-ready" ]; then start_server; else make_prefix; fi ;;
  stop)
    stop_server ;;
  clone)
    copy=$(realpath -m "$3")
    rm -rf "$copy"
    cp -a "$WINEPREFIX" "$copy"
    export WINEPREFIX=$copy
    start_server ;;
  *)
    echo "usage: $0 start|stop PREFIX | clone PREFIX COPY" >&2; exit 2 ;;
esac
