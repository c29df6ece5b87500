#!/usr/bin/env bash
# Times a silent installation under Wine against Wine's own xcopy of the
# same files, and measures the installer's peak memory.
#
#   bench/wine_install.sh [--runs N] [--arch x64|x86] [--builder FILE]
#
# Two products are made in a scratch folder (bench/wine_install.py writes
# them the same way every time): "mixed", about 50 MB of real PE files, C
# headers, random bytes and gzip files in a few folders, and "small", 5,000
# small text files in 50 folders. The builder packs each into an installer
# that installs without questions under C:\VeltBench. In a new Wine prefix
# of the installers' architecture (win64 for x64, the default, which runs
# on every machine; win32 for x86), each run installs each product with /a
# into a new directory and copies the same tree from its Z: path to a new
# C: directory with `xcopy /E /I /Q /Y`, the two in alternating order, and
# checks that both trees equal the source. The report gives the medians,
# install time / xcopy time, and the peak resident memory against the
# payload's size. The prefix and every file go at the end.
#
# The builder defaults to build/release/builder/veltpack, else
# build/native/builder/veltpack; it must carry the stub of the architecture
# (build the win64 or win32 preset's velt-stub first).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
runs=5 arch=x64 builder=
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --builder) builder=$2; shift 2 ;;
    *) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
if [ -z "$builder" ]; then
  for candidate in "$source_dir"/build/{release,native}/builder/veltpack; do
    if [ -x "$candidate" ]; then builder=$candidate; break; fi
  done
fi
[ -x "$builder" ] || { echo "wine_install.sh: no builder; build the release preset's veltpack" >&2; exit 2; }
case $arch in
  x64) export WINEARCH=win64 ;;
  x86)
    bash "$source_dir/scripts/can-run-32bit.sh" \
      || { echo "wine_install.sh: this machine cannot run 32-bit programs; use --arch x64" >&2; exit 2; }
    export WINEARCH=win32 ;;
  *) echo "wine_install.sh: --arch x64 or x86" >&2; exit 2 ;;
esac

# No blank in the path: the installer finds itself through its command line.
work=$(mktemp -d "${TMPDIR:-/tmp}/velt-bench-XXXXXX")
prefix=$work/prefix
trap 'bash "$source_dir/scripts/wine-prefix.sh" stop "$prefix" || true; rm -rf "$work"' EXIT

echo "Payloads in $work:"
python3 "$here/wine_install.py" payload "$work" "$arch"
for name in mixed small; do
  "$builder" build "$work/$name.toml" --arch "$arch" -o "$work/$name.exe" >/dev/null
  echo "$name.exe: $(stat -c %s "$work/$name.exe") bytes"
done
bash "$source_dir/scripts/wine-prefix.sh" start "$prefix"
WINEPREFIX=$prefix
source "$source_dir/scripts/wine-env.sh"
python3 "$here/wine_install.py" run "$work" "$runs"
