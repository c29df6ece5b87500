#!/usr/bin/env bash
# Runs a Windows program in a given Wine prefix (the Windows builds' test
# emulator): wine-run.sh PREFIX PROGRAM [ARGS...]. The prefix's own
# architecture picks the loader (WINEARCH overrides it). The exit code is
# the program's own (its low byte).
WINEPREFIX=$(realpath -m "$1")
shift
source "$(dirname "$0")/wine-env.sh"
exec "$WINELOADER" "$@"
