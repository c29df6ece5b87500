#!/usr/bin/env bash
# Makes the Wine loader of the x86 build's tests: wine-loader.sh DIR
# makes DIR/lib/wine/wine64, a 64-bit Wine loader that runs every 32-bit
# process of its prefix natively where this machine can execute 32-bit
# programs, and under CPU emulation (qemu-i386) where it cannot. The
# prefix is a 64-bit one, as on the 64-bit Windows that most users have:
# an x86 installer sees the 32-bit views there (WOW6432Node, "Program
# Files (x86)", syswow64).
#
# How it works: to start a 32-bit process, the 64-bit loader execs
# "<its folder>/wine-preloader <its folder>/wine ARGS", then tries
# "<its folder>/wine". Wine finds its libraries and data relative to the
# loader's own folder, so DIR holds copies of the two loaders beside
# links to the installed libraries, data and server. Where emulation is
# needed, DIR's wine-preloader runs the 32-bit loader under qemu-i386;
# the wineserver, services and 64-bit programs still run natively.
# Nothing is registered with binfmt_misc: that would change the whole
# machine.
#
# DIR/mode then says how the 32-bit processes run: "native" or
# "emulated (qemu-i386 VERSION)"; wine-loader.sh --mode prints what it
# would be. VELT_NO_WIN32=1 forces emulation.
set -eu
here=$(dirname "$0")
qemu=$(command -v qemu-i386 || true)
if bash "$here/can-run-32bit.sh"; then
  mode=native
elif [ -n "$qemu" ]; then
  mode="emulated (qemu-i386 $("$qemu" --version | sed -n '1s/^qemu-i386 version \([^ ]*\).*/\1/p'))"
else
  echo "wine-loader.sh: this machine cannot execute 32-bit programs and has no qemu-i386; run scripts/setup.sh" >&2
  exit 2
fi
if [ "$1" = --mode ]; then
  echo "$mode"
  exit 0
fi
dir=$(realpath -m "$1")
[ "$(cat "$dir/mode" 2>/dev/null)" = "$mode" ] && [ -x "$dir/lib/wine/wine64" ] && exit 0

rm -rf "$dir"
mkdir -p "$dir/lib/wine" "$dir/share"
cp /usr/lib/wine/wine /usr/lib/wine/wine64 "$dir/lib/wine/"
ln -s /usr/lib/wine/wineserver64 "$dir/lib/wine/wineserver"
ln -s /usr/lib/x86_64-linux-gnu "$dir/lib/x86_64-linux-gnu"
ln -s /usr/lib/i386-linux-gnu "$dir/lib/i386-linux-gnu"
ln -s /usr/share/wine "$dir/share/wine"
if [ "$mode" != native ]; then
  # WINELOADERNOEXEC keeps the emulated loader from trying to exec a
  # preloader of its own.
  printf '#!/bin/sh\nWINELOADERNOEXEC=1 exec %s "$@"\n' "$qemu" >"$dir/lib/wine/wine-preloader"
  chmod +x "$dir/lib/wine/wine-preloader"
fi
echo "$mode" >"$dir/mode"
