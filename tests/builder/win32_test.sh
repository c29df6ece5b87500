#!/usr/bin/env bash
# veltpack.exe under Wine, on a copy of examples/ with known file times and
# enough file data for volumes:
#   - build (twice to the same name, the second renaming over the first),
#     verify and extract: the files come back with their bytes and times;
#   - verify refuses a damaged installer;
#   - --sign runs its program without cmd: a product named with "&" runs no
#     command, and a batch file as the signing program is refused;
#   - the installer and volumes are byte for byte the ones the native
#     builder (VELT_BUILDER) makes from the same project, stub, date and
#     time zone.
# Both builders run in a time zone with daylight saving time and the file
# times fall in summer and in winter, so both conversions to local time
# are compared. Every installer is of this build's architecture (VELT_ARCH):
# veltpack.exe takes the stub it carries, the native builder this build's
# stub file, so equal bytes also show that the right stub was embedded.
# usage: win32_test.sh VELTPACK.EXE STUB.EXE WORKDIR
set -euo pipefail
veltpack_exe=$(realpath "$1") stub=$(realpath "$2") work=$3
wine_run=$VELT_SOURCE_DIR/scripts/wine-run.sh
rm -rf "$work" && mkdir -p "$work" && cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "${VELT_BUILDER:-}" ] || fail "no native builder at '${VELT_BUILDER:-}': build it (the native preset) first"
veltpack_wine() {
  local command=$1
  shift
  if [ "$command" = build ]; then set -- --arch "$VELT_ARCH" "$@"; fi
  "$wine_run" "$WINEPREFIX" "$veltpack_exe" "$command" "$@"
}
veltpack_native() { "$VELT_BUILDER" build "$@" --arch "$VELT_ARCH" --stub "$stub"; }

# Wine maps Unix file names through the locale's character set: the names
# below are UTF-8 on disk.
export LC_ALL=C.UTF-8
# Both builders see the same zone: Wine takes the Windows zone from TZ.
export TZ=Europe/Berlin SOURCE_DATE_EPOCH=1700000000   # 2023-11-14 22:13:20 UTC

cp -a "$VELT_SOURCE_DIR/examples" project
# Names outside ASCII (but in Windows-1252): one found by the help/*.txt
# glob, one named in the project file; "€" is where Windows-1252 and
# Latin-1 part.
printf 'Hilfe\r\n' >"project/app/help/Übersicht.txt"
printf '3 €\r\n' >"project/app/Preis€.txt"
# Incompressible data, so that a volume size below the data splits it.
python3 -c 'import random, sys; r = random.Random(7); sys.stdout.buffer.write(bytes(r.getrandbits(8) for _ in range(40000)))' \
  >project/app/samples/noise.tly
cat >>project/tally.toml <<'EOF'

[[files]]
source = "app/samples/noise.tly"
name = "samples/noise.tly"

[[files]]
source = "app/Preis€.txt"
EOF
touch -d '2023-07-01 12:00:00 UTC' project/app/tally.cmd project/app/samples/noise.tly "project/app/Preis€.txt"
touch -d '2023-01-15 08:30:05 UTC' project/shared/nwunits.ini "project/app/help/Übersicht.txt"
# 02:30 local time, which comes twice that night: building converts it one
# way only, but extracting cannot tell which of the two it was.
touch -d '2022-10-30 01:30:00 UTC' project/app/help/formulas.txt

# --- build, build again over it, verify --------------------------------
veltpack_wine build project/tally.toml -o wine.exe --level fast >build.log 2>&1 || fail "build: $(cat build.log)"
cp wine.exe first.exe
veltpack_wine build project/tally.toml -o wine.exe --level fast >>build.log 2>&1 || fail "rebuild: $(cat build.log)"
cmp -s first.exe wine.exe || fail "two builds of the same project differ"
[ ! -e wine.exe.part ] || fail "a temporary file was left behind"
veltpack_wine verify wine.exe >verify.log 2>&1 || fail "verify: $(cat verify.log)"
grep -q 'sound (10 files' verify.log || fail "verify: $(cat verify.log)"

# --- extract: bytes, names and times come back -------------------------
veltpack_wine extract wine.exe -C out >extract.log 2>&1 || fail "extract: $(cat extract.log)"
check_file() {   # source, extracted [any-time]
  cmp -s "project/$1" "out/$2" || fail "extracted $2 differs from $1"
  [ $# = 3 ] || [ "$(stat -c %Y "project/$1")" = "$(stat -c %Y "out/$2")" ] \
    || fail "$2: time $(date -u -r "out/$2"), source $(date -u -r "project/$1")"
}
check_file app/tally.cmd install/tally.cmd
check_file app/samples/noise.tly install/samples/noise.tly
check_file shared/nwunits.ini shared/nwunits.ini
check_file app/help/formulas.txt install/help/formulas.txt any-time
check_file "app/help/Übersicht.txt" "install/help/Übersicht.txt"
check_file "app/Preis€.txt" "install/Preis€.txt"

# --- damage --------------------------------------------------------------
cp wine.exe damaged.exe
printf '\x55' | dd of=damaged.exe bs=1 seek=2000 conv=notrunc status=none   # in the stub's code
if veltpack_wine verify damaged.exe >damaged.log 2>&1; then
  fail "verify accepts a damaged installer"
fi
grep -q 'corrupt' damaged.log || fail "verify of a damaged installer: $(cat damaged.log)"

# --- volumes: written, verified ------------------------------------------
# 20000 bytes less than the whole: the rest of the noise goes to volume 2.
volume_size=$(($(stat -c %s wine.exe) - 20000))
mkdir split
veltpack_wine build project/tally.toml -o "split/Tälly €.exe" --volume-size $volume_size >split.log 2>&1 \
  || fail "split: $(cat split.log)"
[ -s split/TALLY2.VLT ] || fail "no volume file: $(ls split)"
veltpack_wine verify "split/Tälly €.exe" >>split.log 2>&1 || fail "verify with volumes: $(cat split.log)"

# --- signing: no shell reads the installer's path --------------------------
# The default installer name is the product's, and cmd would read each "&"
# in it as the start of another command. veltpack.exe itself stands in for
# the signing tool: CreateProcess finds it in the builder's own folder.
mkdir hostile
printf 'text\r\n' >hostile/a.txt
printf '[product]\nname = "Evil & mkdir pwned & rem"\n[[files]]\nsource = "a.txt"\n' >hostile/p.toml
veltpack_wine build hostile/p.toml --sign 'veltpack.exe verify {}' >sign.log 2>&1 || fail "signing: $(cat sign.log)"
grep -q 'Evil & mkdir pwned & rem.exe: sound (1 files' sign.log || fail "the signing tool did not get the path: $(cat sign.log)"
[ ! -e pwned ] && [ ! -e hostile/pwned ] || fail "the installer's name ran a command: $(cat sign.log)"
if veltpack_wine build hostile/p.toml --sign 'sign.bat {}' >bat.log 2>&1; then
  fail "a batch file as the signing program is accepted: $(cat bat.log)"
fi
grep -q 'is a batch file, which Windows runs through cmd' bat.log || fail "batch refusal: $(cat bat.log)"

# --- the native builder makes the same bytes ------------------------------
veltpack_native project/tally.toml -o native.exe --level fast >/dev/null
cmp wine.exe native.exe || fail "veltpack.exe and the native builder disagree (--level fast)"
veltpack_native project/tally.toml -o best-native.exe >/dev/null
veltpack_wine build project/tally.toml -o best-wine.exe >/dev/null
cmp best-wine.exe best-native.exe || fail "veltpack.exe and the native builder disagree (--level best)"
mkdir native-split
veltpack_native project/tally.toml -o "native-split/Tälly €.exe" --volume-size $volume_size >/dev/null
for f in split/*; do
  cmp "$f" "native-split/${f#split/}" || fail "volumes differ: $f"
done
[ "$(ls split)" = "$(ls native-split)" ] || fail "volume files: $(ls split) vs $(ls native-split)"
echo "veltpack.exe: $VELT_ARCH installers built, verified, extracted and split under Wine; same bytes as $VELT_BUILDER"
