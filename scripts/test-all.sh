#!/usr/bin/env bash
# Installs what is missing, builds every toolchain and runs every test
# suite, then says which suites ran, how, how long they took and how they
# ended:
#   native  the portable code and the builder (sanitizers, fuzz corpus
#           replay, the builder end to end);
#   win64   the x64 stub and the Windows tests under 64-bit Wine;
#   win32   the x86 stub and the same tests in a 64-bit prefix as well,
#           its 32-bit processes run natively where this machine can
#           execute them, else under CPU emulation (scripts/wine-loader.sh).
# A failure in any suite fails the run.
#
# VELT_NO_WIN32=1 makes the 32-bit probe (scripts/can-run-32bit.sh) answer
# "no", to try the emulated path on a machine that could run 32-bit code.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# A Wine process left running would hold this command's output open.
stop_prefixes() {
  for arch in win32 win64; do
    bash scripts/wine-prefix.sh stop "build/$arch/wineprefix" || true
  done
}
trap stop_prefixes EXIT

# Each build makes what it takes from the others (the other architecture's
# stub, the native builder) in their builds first: any order works.
for preset in win32 win64 native; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done

summary=()
status=0

# Runs one suite's tests; its output is kept in build/PRESET/ctest.log.
run_suite() {
  local preset=$1 how=$2 log=build/$1/ctest.log result start=$SECONDS
  if ctest --preset "$preset" 2>&1 | tee "$log"; then
    result=passed
  else
    result=FAILED
    status=1
  fi
  result="$result in $((SECONDS - start)) s: $(grep -E '^[0-9]+% tests passed' "$log" || echo 'no test summary')"
  summary+=("$preset ($how): $result")
}

run_suite native "native code"
run_suite win64 "64-bit Wine"
run_suite win32 "32-bit processes $(bash scripts/wine-loader.sh --mode)"

echo
echo "== Test suites =="
printf '%s\n' "${summary[@]}"
exit $status
