#!/usr/bin/env bash
# Installs what is missing, builds every toolchain and runs every test
# suite, then says which suites ran and how they ended:
#   native  the portable code and the builder (sanitizers, fuzz corpus
#           replay, the builder end to end);
#   win64   the x64 stub and the Windows tests under 64-bit Wine, which
#           runs on every machine;
#   win32   the x86 stub and the same tests under 32-bit Wine, run only
#           where this machine can execute 32-bit programs.
# A failure in any suite that ran fails the run.
#
# VELT_NO_WIN32=1 makes the 32-bit probe (scripts/can-run-32bit.sh) answer
# "no", to try that path on a machine that could run the win32 suite.
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

# Both stubs come first: each Windows build's veltpack.exe and the native
# builder carry the stubs of both architectures.
for preset in win32 win64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset --target velt-stub
done
for preset in win32 win64 native; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done

summary=()
status=0

# Runs one suite's tests; its output is kept in build/PRESET/ctest.log. A
# Wine suite reruns a test that timed out once; the summary names it.
run_suite() {
  local preset=$1 log=build/$1/ctest.log result
  if ctest --preset "$preset" 2>&1 | tee "$log"; then
    result=passed
  else
    result=FAILED
    status=1
  fi
  result="$result: $(grep -E '^[0-9]+% tests passed' "$log" || echo 'no test summary')"
  local retried
  retried=$(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) \.*\*\*\*Timeout.*$/\1/p' "$log" | sort -u | tr '\n' ' ')
  if [ -n "$retried" ]; then
    result="$result; timed out once and ran again: ${retried% }"
  fi
  summary+=("$preset: $result")
}

run_suite native
run_suite win64
if bash scripts/can-run-32bit.sh; then
  run_suite win32
else
  summary+=("win32 suite not run: this machine cannot execute 32-bit programs; the win64 suite ran the same tests")
fi

echo
echo "== Test suites =="
printf '%s\n' "${summary[@]}"
exit $status
