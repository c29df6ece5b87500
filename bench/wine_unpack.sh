#!/usr/bin/env bash
# Times the stub's decoder under Wine on the benchmark corpus.
#
#   bench/wine_unpack.sh RELEASE_BUILD WINDOWS_BUILD
#
# RELEASE_BUILD holds bench/bench_codec (release preset), which writes the
# corpus's blocks; WINDOWS_BUILD holds libvelt.a built with the stub's flags
# (build/win32 for the x86 stub, or build/win64 for the x64 one, which runs
# on every machine) and its Wine prefix. The timer is linked against that
# very library with that build's compiler, so it measures the decoder
# exactly as the stub carries it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
release=$(realpath "$1")
windows=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if grep -q '^CMAKE_TOOLCHAIN_FILE:.*x86_64' "$windows/CMakeCache.txt"; then
  compiler=x86_64-w64-mingw32-g++-posix
  export WINEARCH=win64
else
  compiler=i686-w64-mingw32-g++-posix
  export WINEARCH=win32
fi

"$release/bench/bench_codec" --write-blocks "$work/blocks" --benchmark_list_tests=true >/dev/null
"$compiler" -std=c++20 -O2 -static -I"$source_dir" \
  -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0501 \
  "$here/unpack_timer_win32.cpp" "$windows/libvelt.a" \
  -luser32 -lgdi32 -lshell32 -ladvapi32 -lole32 -lversion -luuid -lcomdlg32 -lcomctl32 \
  -o "$work/unpack_timer.exe"

"$source_dir/scripts/wine-prefix.sh" start "$windows/wineprefix"
"$source_dir/scripts/wine-run.sh" "$windows/wineprefix" "$work/unpack_timer.exe" "$work"/blocks/*.blk
