#!/usr/bin/env bash
# The main job: installs what is missing, builds both stubs (win32, win64)
# and the builder (release, which carries them), packs the example product
# in examples/ into an x86 and an x64 installer, verifies both, prints the
# x86 one's inspection, and installs the x86 one under Wine, in automatic
# mode and in a new 64-bit prefix, as on the 64-bit Windows of most users:
# its 32-bit processes run natively where this machine can execute them,
# else under CPU emulation (scripts/wine-loader.sh). It shows what the test
# robot saw, then what a
# user would check: the installed files with their sizes and times, the
# product's registration among the installed programs, and the uninstall
# record and installation log. Then it uninstalls the example through its
# registered QuietUninstallString, waits for the uninstaller's file to
# delete itself, and compares drive_c and the registry with a snapshot
# taken before the installation. It fails when nothing was installed, or
# when the uninstallation left anything but the known leftovers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset --target velt-stub velt-robot
done
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
in_prefix() { scripts/wine-run.sh "$prefix" "$@" </dev/null 2>/dev/null; }
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
# drive_c and the registry as they are, to compare after the uninstallation.
snapshot() {
  (WINEPREFIX=$prefix; source scripts/wine-env.sh
   python3 tests/uninstall_clean/prefix_snapshot.py "$@" </dev/null)
}
snapshot take "$out/$arch/before.json"
log=$out/$arch/run.log
: >"$log"
status=0
# The progress dialog shows or not, as the run is slow or quick: no question.
scripts/wine-run.sh "$prefix" build/$build/tests/robot/velt-robot.exe --timeout 300 \
  --leave 'Installing Tally' \
  --log "$(winpath "$log")" -- "$(winpath "$out/$arch/TallySetup.exe")" /a \
  </dev/null >/dev/null 2>"$log.err" || status=$?
echo
echo "== $out/$arch/TallySetup.exe /a under Wine (exit code $status) =="
cat "$log"
# The robot's own codes (100 and up) say that a box waited or the run hung.
if [ $status -ge 100 ]; then
  cat "$log.err"
  exit 1
fi

# What a user looks at afterwards. Each missing piece is reported; the job
# fails at the end when anything was missing.
failed=()
# A 32-bit installer on 64-bit Windows writes HKLM\Software in the
# WOW6432Node view; reg.exe of a 64-bit prefix reads the native view unless
# told otherwise.
view=()
if [ $arch = x86 ] && [ "$(sed -n 's/^#arch=//p' "$prefix/system.reg")" = win64 ]; then
  view=(/reg:32)
fi
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tally'
registration=$(in_prefix reg query "$key" "${view[@]}" | tr -d '\r' || true)
echo
echo "== reg query \"$key\"${view:+ ${view[*]}} =="
if [ -n "$registration" ]; then
  printf '%s\n' "$registration" | sed '/^$/d'
else
  echo "(no such key)"
fi
# The text of one REG_SZ value of the registration, empty when absent.
registered() { printf '%s\n' "$registration" | sed -n "s/^    $1    REG_SZ    //p"; }
unixpath() { in_prefix winepath -u "$1" | tr -d '\r'; }

# Every file and folder below a Windows directory: size, last-write time
# (what the installer gave it), path.
show_tree() {
  local dir
  dir=$(unixpath "$1")
  echo
  echo "== $1 ($(realpath -m --relative-to=. "$dir")) =="
  if [ ! -d "$dir" ]; then
    echo "(missing)"
    return 1
  fi
  find "$dir" -mindepth 1 \( -type d -printf '       <dir>  %TY-%Tm-%Td %TH:%TM:%TS  %P/\n' \) \
    -o -printf '%12s  %TY-%Tm-%Td %TH:%TM:%TS  %P\n' \
    | sed -E 's/(:[0-9]{2})\.[0-9]+  /\1  /' | sort -k4
  [ -n "$(find "$dir" -type f -print -quit)" ]
}

# Uninstall.DAT and Install.LOG are CR LF text in the Windows ANSI code page.
show_text() {
  local file
  file=$(unixpath "$1")
  echo
  echo "== $1 =="
  if [ ! -f "$file" ]; then
    echo "(missing)"
    return 1
  fi
  iconv -f WINDOWS-1252 -t UTF-8 "$file" | sed 's/\r$//'
  [ -z "$(tail -c1 "$file")" ] || echo
}

location=$(registered InstallLocation)
if [ -z "$location" ]; then
  failed+=("no InstallLocation in the registration")
else
  show_tree "$location" || failed+=("no files in $location")
  shared=$(registered SharedPath)
  if [ -n "$shared" ]; then
    show_tree "$shared" || failed+=("no files in the shared directory $shared")
  fi
  records=$location
  subdir=$(registered UninstallSubdir)
  [ -z "$subdir" ] || records="$location\\$subdir"
  show_text "$records\\Uninstall.DAT" || failed+=("no Uninstall.DAT")
  show_text "$records\\Install.LOG" || failed+=("no Install.LOG")
  # The shortcuts the record lists, the association, the PATH line.
  echo
  echo "== shortcuts =="
  links=$(iconv -f WINDOWS-1252 -t UTF-8 "$(unixpath "$records\\Uninstall.DAT")" 2>/dev/null \
          | tr -d '\r' | grep -i '\.lnk$' || true)
  [ -n "$links" ] || failed+=("no shortcuts")
  while IFS= read -r link; do
    [ -n "$link" ] || continue
    if [ -f "$(unixpath "$link")" ]; then echo "$link"; else echo "$link (missing)"; failed+=("no $link"); fi
  done <<<"$links"
  for key in 'HKCR\.tly' 'HKCR\Northwind.TallySheet\shell\open\command'; do
    echo
    echo "== reg query \"$key\" =="
    in_prefix reg query "$key" | tr -d '\r' | sed '/^$/d' || failed+=("no $key")
  done
  show_text 'C:\autoexec.bat' || failed+=("no C:\\autoexec.bat")
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo
  printf 'The installation failed: %s.\n' "${failed[@]}"
  exit 1
fi

# Uninstalling, as a deployment tool does: the registered quiet command, no
# questions, no boxes. The robot follows the uninstaller and the script it
# starts to delete the uninstaller's own file once it has ended.
quiet=$(registered QuietUninstallString)
uninstaller=$(printf '%s' "$quiet" | cut -d'"' -f2)
log=$out/$arch/uninstall.log
: >"$log"
status=0
scripts/wine-run.sh "$prefix" build/$build/tests/robot/velt-robot.exe --timeout 300 --tree \
  --log "$(winpath "$log")" --line "$quiet" </dev/null >/dev/null 2>"$log.err" || status=$?
echo
echo "== $quiet under Wine (exit code $status) =="
cat "$log"
if [ $status -ge 100 ]; then
  cat "$log.err"
  exit 1
fi
for _ in $(seq 300); do
  [ -e "$(unixpath "$uninstaller")" ] || break
  sleep 0.2
done
[ ! -e "$(unixpath "$uninstaller")" ] || failed+=("the uninstaller $uninstaller is still there")

echo
echo "== drive_c and the registry (HKLM, HKCU, HKCR) against the snapshot before the installation =="
snapshot take "$out/$arch/after.json"
snapshot compare "$out/$arch/before.json" "$out/$arch/after.json" "$location" \
  || failed+=("something else than the known leftovers is left after the uninstallation")
if [ ${#failed[@]} -gt 0 ]; then
  echo
  printf 'The uninstallation failed: %s.\n' "${failed[@]}"
  exit 1
fi
