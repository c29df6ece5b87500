# Sourced by the Wine scripts: the environment of one test prefix.
#
# Needs WINEPREFIX. The architecture is WINEARCH when it is set (win32 or
# win64), else the one the prefix was made with. Exports the variables Wine
# reads and WINELOADER: the loader the prefix was made with (its
# .velt-loader, written by wine-prefix.sh), else the loader of its
# architecture. /usr/bin/wine always picks the 32-bit loader when one is
# installed, so a 64-bit prefix is driven through a 64-bit loader directly,
# and Wine starts the prefix's child processes with WINELOADER too.

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
export WINEPREFIX WINEARCH WINELOADER WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
