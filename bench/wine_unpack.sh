#!/usr/bin/env bash
# Times the stub's decoder under Wine on the benchmark corpus.
#
#   bench/wine_unpack.sh RELEASE_BUILD WIN32_BUILD
#
# RELEASE_BUILD holds bench/bench_codec (release preset), which writes the
# corpus's blocks; WIN32_BUILD holds libvelt.a built with the stub's flags
# (win32 preset) and its Wine prefix. The timer is linked against that very
# library, so it measures the decoder exactly as the stub carries it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
release=$(realpath "$1")
win32=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$release/bench/bench_codec" --write-blocks "$work/blocks" --benchmark_list_tests=true >/dev/null
i686-w64-mingw32-g++-posix -std=c++20 -O2 -static -I"$source_dir" \
  -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0501 \
  "$here/unpack_timer_win32.cpp" "$win32/libvelt.a" \
  -luser32 -lgdi32 -lshell32 -ladvapi32 -lole32 -lversion -luuid -lcomdlg32 -lcomctl32 \
  -o "$work/unpack_timer.exe"

"$source_dir/scripts/wine-prefix.sh" start "$win32/wineprefix"
"$source_dir/scripts/wine-run.sh" "$win32/wineprefix" "$work/unpack_timer.exe" "$work"/blocks/*.blk
