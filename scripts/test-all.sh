#!/usr/bin/env bash
# Installs what is missing, builds both toolchains and runs every test:
# the native tests (sanitizers, fuzz corpus replay, builder) and the Win32
# tests under Wine (unit tests, robot-driven end-to-end tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

prefix=$PWD/build/win32/wineprefix
# A Wine process left running would hold this command's output open.
trap 'bash scripts/wine-prefix.sh stop "$prefix" || true' EXIT

cmake --preset win32 >/dev/null
cmake --build --preset win32
cmake --preset native >/dev/null
cmake --build --preset native

status=0
ctest --preset native || status=1
ctest --preset win32 || status=1
exit $status
