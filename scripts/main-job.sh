#!/usr/bin/env bash
# The main job: installs what is missing, builds both stubs (win32, win64)
# and the builder (release, which carries them), packs the example product
# in examples/ into an x86 and an x64 installer, verifies both, prints the
# x86 one's inspection, and runs an installer under Wine in automatic mode,
# showing what the test robot saw: the x86 one where this machine can run
# 32-bit programs, else the x64 one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset --target velt-stub velt-robot
done
cmake --preset release >/dev/null
cmake --build --preset release --target veltpack

veltpack=build/release/builder/veltpack
out=build/examples
# A checkout gives every file the time of the checkout; the date of the last
# commit keeps the installer the same for every checkout of one commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git log -1 --format=%ct >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
for arch in x86 x64; do
  mkdir -p "$out/$arch"
  "$veltpack" build examples/tally.toml --arch $arch -o "$out/$arch/TallySetup.exe"
  "$veltpack" verify "$out/$arch/TallySetup.exe"
done
echo
"$veltpack" inspect "$out/x86/TallySetup.exe"

if bash scripts/can-run-32bit.sh; then
  arch=x86 build=win32
else
  arch=x64 build=win64
  echo
  echo "This machine cannot execute 32-bit programs: the x64 installer runs instead."
fi
prefix=$PWD/$out/wineprefix-$build
trap 'bash scripts/wine-prefix.sh stop "$prefix" || true' EXIT
WINEARCH=$build bash scripts/wine-prefix.sh start "$prefix"
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
log=$out/$arch/run.log
: >"$log"
status=0
scripts/wine-run.sh "$prefix" build/$build/tests/robot/velt-robot.exe --timeout 60 \
  --log "$(winpath "$log")" -- "$(winpath "$out/$arch/TallySetup.exe")" /a \
  </dev/null >/dev/null 2>"$log.err" || status=$?
echo
echo "== $out/$arch/TallySetup.exe /a under Wine (exit code $status) =="
cat "$log"
# The robot's own codes (100 and up) say that a box waited or the run hung.
if [ $status -ge 100 ]; then
  cat "$log.err"
  exit 1
fi
