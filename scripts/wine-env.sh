#!/usr/bin/env bash
# The environment of one test prefix: the one place that says how Wine is
# run here. The Wine scripts source it with WINEPREFIX set; the tests run
# under it as a command:
#   wine-env.sh PREFIX COMMAND [ARGS...]   runs COMMAND in PREFIX's environment
#
# The architecture is WINEARCH when it is set (win32 or win64), else the
# one the prefix was made with. Exports the variables Wine reads and
# WINELOADER: the loader the prefix was made with (its .velt-loader,
# written by wine-prefix.sh), else the loader of its architecture.
# /usr/bin/wine always picks the 32-bit loader when one is installed, so a
# 64-bit prefix is driven through a 64-bit loader directly, and Wine starts
# the prefix's child processes with WINELOADER too.

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -ge 2 ] || { echo "usage: $0 PREFIX COMMAND [ARGS...]" >&2; exit 2; }
  WINEPREFIX=$(realpath -m "$1")
  shift
fi
if [ -z "${WINEARCH:-}" ] && [ -f "$WINEPREFIX/system.reg" ]; then
  WINEARCH=$(sed -n 's/^#arch=//p' "$WINEPREFIX/system.reg")
fi
case ${WINEARCH:-} in
  win32) WINELOADER=/usr/lib/wine/wine ;;
  win64) WINELOADER=/usr/lib/wine/wine64
         [ -s "$WINEPREFIX/.velt-loader" ] && WINELOADER=$(cat "$WINEPREFIX/.velt-loader") ;;
  *)
    echo "wine: set WINEARCH to win32 or win64 for the prefix $WINEPREFIX" >&2
    exit 2 ;;
esac
# No debug output; no Mono or Gecko installer, no menu entries on the host.
export WINEPREFIX WINEARCH WINELOADER WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  exec "$@"
fi
