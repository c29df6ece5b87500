#!/usr/bin/env bash
# Exit status 0 when this machine can execute 32-bit x86 programs, and so
# run 32-bit Wine. Some machines cannot at all: there the 32-bit Wine
# loader fails with "Exec format error" before it reads a byte. The probe
# runs that loader, which is what the win32 suite needs.
#
# VELT_NO_WIN32=1 makes the answer "no", to try that path on a machine
# that could run 32-bit programs.
[ "${VELT_NO_WIN32:-}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
