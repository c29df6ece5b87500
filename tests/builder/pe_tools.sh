#!/usr/bin/env bash
# Builds the example installer for each architecture and has two
# independent PE readers look at it: MinGW's objdump of that architecture
# must parse it without a word on stderr, and pefile must find nothing to
# warn about. The header checksum stays 0, the .velt section is where the
# loader expects it, and the headers are those of the architecture asked
# for (PE32 for i386, PE32+ for x86-64).
set -euo pipefail
veltpack=$1 examples=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
cp -r "$examples" "$work/src"

for arch in x86 x64; do
  out=$work/$arch
  mkdir -p "$out"
  "$veltpack" build "$examples/tally.toml" --arch $arch -o "$out/setup.exe" >/dev/null

  # A split installer: the example with as many bytes again that do not
  # compress, and volumes of the whole example installer's size and 8 KB
  # more, so the split follows the stub's size.
  size=$(stat -c %s "$out/setup.exe")
  /usr/bin/python3 -c 'import random, sys; random.seed(7); sys.stdout.buffer.write(random.randbytes(int(sys.argv[1])))' \
    "$size" >"$work/src/noise.bin"
  cp "$examples/tally.toml" "$work/src/tally.toml"
  printf '\n[[files]]\nsource = "noise.bin"\n' >>"$work/src/tally.toml"
  "$veltpack" build "$work/src/tally.toml" --arch $arch -o "$out/split.exe" --volume-size $((size + 8192)) >/dev/null
  [[ -f "$out/TALLY2.VLT" ]] || { echo "the $arch split installer has no volume"; exit 1; }

  case $arch in
    x86) objdump=i686-w64-mingw32-objdump format=pei-i386 ;;
    x64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
  esac
  for exe in "$out/setup.exe" "$out/split.exe"; do
    "$objdump" -x "$exe" >"$out/objdump.txt" 2>"$out/objdump.err"
    [ ! -s "$out/objdump.err" ] || { echo "objdump warns about $exe:"; cat "$out/objdump.err"; exit 1; }
    grep -q "file format $format" "$out/objdump.txt" || { echo "objdump does not read $exe as $format"; exit 1; }
    grep -q '\.velt' "$out/objdump.txt" || { echo "objdump shows no .velt section in $exe"; exit 1; }
    /usr/bin/python3 - "$exe" $arch <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
warnings = pe.get_warnings()
if warnings:
    sys.exit("pefile warns: %r" % warnings)
machine, magic = {"x86": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}[sys.argv[2]]
if pe.FILE_HEADER.Machine != machine or pe.OPTIONAL_HEADER.Magic != magic:
    sys.exit("machine %#x, optional header %#x" % (pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic))
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
done
echo "objdump and pefile accept the x86 and x64 installers, whole and split"
