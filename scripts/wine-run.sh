#!/usr/bin/env bash
# Runs a Windows program in a given Wine prefix (the Win32 build's test
# emulator): wine-run.sh PREFIX PROGRAM [ARGS...]. The exit code is the
# program's own (its low byte).
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
exec wine "$@"
