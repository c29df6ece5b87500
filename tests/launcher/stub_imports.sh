#!/usr/bin/env bash
# The stub imports only libraries that the system always loads from its own
# directory, so a DLL planted beside an installer is never picked up at
# start; everything else is linked at run time by full path. It also stays
# inside its size budget: every installer and uninstaller carries it.
#   stub_imports.sh STUB OBJDUMP
set -eu
stub=$1 objdump=$2
allowed='kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll'
status=0
imports=$("$objdump" -p "$stub" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no import table found in $stub"; exit 1; }
for dll in $imports; do
  case " $allowed " in
    *" $dll "*) ;;
    *) echo "the stub imports $dll, which the search order could take from the installer's folder"; status=1 ;;
  esac
done
size=$(stat -c %s "$stub")
# 104 KiB. It was 96 KiB until the elevated-run safety work (private
# batch folders with their access list, the record's digest, canonical
# destination checks, typed association backups), which needs about 6 KB
# more on x86, 2.5 KB more on x64, after packing took 4 KB from x64.
budget=106496
echo "stub: $size bytes (budget $budget); imports: $(echo $imports)"
if [ "$size" -gt "$budget" ]; then
  echo "the stub is over its size budget"
  status=1
fi
exit $status
