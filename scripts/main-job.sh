#!/usr/bin/env bash
# The main job: installs what is missing, builds the builder (release,
# which carries both stubs; it makes them in build/win32 and build/win64)
# and the test robot (win32), packs the example product in examples/ into
# an x86 and an x64 installer, verifies both, prints the x86 one's
# inspection, and installs the x86 one under Wine, in automatic mode and in
# a new 64-bit prefix, as on the 64-bit Windows of most users: its 32-bit
# processes run natively where this machine can execute them, else under
# CPU emulation (scripts/wine-loader.sh). scripts/main-job.py, with the
# end-to-end tests' helpers, shows what the test robot saw and what a user
# would check, uninstalls the example through its registered
# QuietUninstallString, and compares drive_c and the registry with a
# snapshot taken before the installation. It fails when nothing was
# installed, or when the uninstallation left anything but the known
# leftovers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target velt-robot
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

arch=x86 build=win32
echo
echo "32-bit processes: $(bash scripts/wine-loader.sh --mode)"
prefix=$PWD/$out/wineprefix-$build
# A fresh prefix every time: an installation left from an earlier run would
# make this one a reinstall into the old directory.
bash scripts/wine-prefix.sh stop "$prefix" || true
rm -rf "$prefix"
trap 'bash scripts/wine-prefix.sh stop "$prefix" || true' EXIT
WINEARCH=win64 bash scripts/wine-prefix.sh start "$prefix" "$out/wine-loader"
VELT_ARCH=$arch scripts/wine-env.sh "$prefix" python3 scripts/main-job.py \
  build/$build/tests/robot/velt-robot.exe "$out/$arch/TallySetup.exe" "$out/$arch/runs"
