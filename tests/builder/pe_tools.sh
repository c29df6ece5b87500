#!/usr/bin/env bash
# Builds the example installer and has two independent PE readers look at
# it: MinGW's objdump must parse it, and pefile must find nothing to warn
# about. The header checksum stays 0 and the .velt section is where the
# loader expects it.
set -euo pipefail
veltpack=$1 examples=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
"$veltpack" build "$examples/tally.toml" -o "$work/setup.exe" >/dev/null

# A split installer: the example with as many bytes again that do not
# compress, and volumes of the whole example installer's size and 8 KB more,
# so the split follows the stub's size.
size=$(stat -c %s "$work/setup.exe")
cp -r "$examples" "$work/src"
/usr/bin/python3 -c 'import random, sys; random.seed(7); sys.stdout.buffer.write(random.randbytes(int(sys.argv[1])))' \
  "$size" >"$work/src/noise.bin"
printf '\n[[files]]\nsource = "noise.bin"\n' >>"$work/src/tally.toml"
"$veltpack" build "$work/src/tally.toml" -o "$work/split.exe" --volume-size $((size + 8192)) >/dev/null
[[ -f "$work/TALLY2.VLT" ]] || { echo "the split installer has no volume"; exit 1; }

for exe in "$work/setup.exe" "$work/split.exe"; do
  i686-w64-mingw32-objdump -x "$exe" >"$work/objdump.txt"
  grep -q '\.velt' "$work/objdump.txt" || { echo "objdump shows no .velt section in $exe"; exit 1; }
  /usr/bin/python3 - "$exe" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
warnings = pe.get_warnings()
if warnings:
    sys.exit("pefile warns: %r" % warnings)
oh = pe.OPTIONAL_HEADER
if oh.CheckSum != 0:
    sys.exit("header checksum is %#x, not 0" % oh.CheckSum)
last = pe.sections[-1]
if last.Name.rstrip(b"\0") != b".velt":
    sys.exit("last section is %r" % last.Name)
if last.Characteristics != 0x40000040:
    sys.exit("characteristics %#x" % last.Characteristics)
if last.VirtualAddress % oh.SectionAlignment or last.SizeOfRawData % oh.SectionAlignment:
    sys.exit("section not aligned to SectionAlignment")
if last.PointerToRawData % oh.FileAlignment:
    sys.exit("raw data not aligned to FileAlignment")
if oh.SizeOfImage != last.VirtualAddress + last.SizeOfRawData:
    sys.exit("SizeOfImage %#x does not end at the section" % oh.SizeOfImage)
if last.PointerToRawData + last.SizeOfRawData != len(pe.__data__):
    sys.exit("the section does not end the file")
PY
done
echo "objdump and pefile accept both installers"
