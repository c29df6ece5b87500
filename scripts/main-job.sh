#!/usr/bin/env bash
# The main job: installs what is missing, builds the stub (win32) and the
# builder (release, which embeds that stub), packs the example product in
# examples/ into an installer, verifies it and prints its inspection.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target velt-stub
cmake --preset release >/dev/null
cmake --build --preset release --target veltpack

veltpack=build/release/builder/veltpack
out=build/examples
mkdir -p "$out"
# A checkout gives every file the time of the checkout; the date of the last
# commit keeps the installer the same for every checkout of one commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git log -1 --format=%ct >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
"$veltpack" build examples/tally.toml -o "$out/TallySetup.exe"
"$veltpack" verify "$out/TallySetup.exe"
echo
"$veltpack" inspect "$out/TallySetup.exe"
