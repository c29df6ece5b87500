# Shell helpers for end-to-end tests that drive Windows programs with
# velt-robot. Source this file from a bash script run by velt_add_wine_test
# (its environment has WINEPREFIX, WINELOADER and VELT_BINARY_DIR). See README.md.
#
#   robot_run [ROBOT OPTIONS...] -- PROGRAM [ARGS...]
#       Runs the robot under Wine with a fresh log. Sets ROBOT_STATUS (its
#       exit code), ROBOT_LOG and ROBOT_ERR (files with the log and its
#       stderr). Never fails itself; check with the expect_ functions.
#   expect_status CODE        the robot exited with CODE
#   expect_box CAPTION TEXT   some box had exactly this caption and a
#                             static text exactly TEXT (escaped as in the
#                             log: \\ \r \n \t)
#   expect_line LINE          the log has exactly this line
#   expect_no_line LINE       ... and not this one
#   expect_error TEXT         the robot's stderr contains TEXT
#   winpath PATH              the Windows form (Z:\...) of a Unix path
#   log_text TEXT             TEXT escaped as the log writes it: a
#                             backslash doubled, CR, LF and TAB as \r \n \t
#   fail MESSAGE              fails the test, showing the last log
#
# VELT_ROBOT names the robot (default: the one in the build directory);
# ROBOT_WORK the directory for the logs, emptied first (default: NAME.logs
# in the current directory, for the test script NAME.sh; ctest runs a test
# in its build directory, where the logs stay for a look after a failure).

VELT_ROBOT=${VELT_ROBOT:-$VELT_BINARY_DIR/tests/robot/velt-robot.exe}
ROBOT_WORK=${ROBOT_WORK:-$PWD/$(basename "$0" .sh).logs}
rm -rf "$ROBOT_WORK"
mkdir -p "$ROBOT_WORK"
ROBOT_RUNS=0
ROBOT_STATUS=
ROBOT_LOG=
ROBOT_ERR=

winpath() {
  printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"
}

log_text() {
  local text=${1//\\/\\\\}
  text=${text//$'\r'/\\r}
  text=${text//$'\n'/\\n}
  printf '%s' "${text//$'\t'/\\t}"
}

# The output goes to files, never to a pipe: a process the robot leaves
# running (or one of Wine's) would hold a pipe open.
robot_run() {
  ROBOT_RUNS=$((ROBOT_RUNS + 1))
  ROBOT_LOG=$ROBOT_WORK/run$ROBOT_RUNS.log
  ROBOT_ERR=$ROBOT_WORK/run$ROBOT_RUNS.err
  : >"$ROBOT_LOG"
  ROBOT_STATUS=0
  "$WINELOADER" "$VELT_ROBOT" --log "$(winpath "$ROBOT_LOG")" "$@" \
    </dev/null >"$ROBOT_WORK/run$ROBOT_RUNS.out" 2>"$ROBOT_ERR" || ROBOT_STATUS=$?
}

fail() {
  {
    echo "FAIL: $*"
    if [ -n "$ROBOT_LOG" ]; then
      echo "--- robot log ($ROBOT_LOG)"
      cat "$ROBOT_LOG"
      echo "--- robot stderr (exit code $ROBOT_STATUS)"
      cat "$ROBOT_ERR"
    fi
  } >&2
  exit 1
}

expect_status() {
  [ "$ROBOT_STATUS" = "$1" ] || fail "expected exit code $1, got $ROBOT_STATUS"
}

expect_line() {
  grep -qFx -- "$1" "$ROBOT_LOG" || fail "no log line: $1"
}

expect_no_line() {
  ! grep -qFx -- "$1" "$ROBOT_LOG" || fail "unwanted log line: $1"
}

expect_error() {
  grep -qF -- "$1" "$ROBOT_ERR" || fail "stderr lacks: $1"
}

# The texts go through the environment: awk -v would read backslashes in
# Windows paths as escapes.
expect_box() {
  CAPTION=$1 TEXT=$2 awk '
    match($0, /^box [0-9]+ caption: /) {
      if (substr($0, RLENGTH + 1) == ENVIRON["CAPTION"]) captioned[$2] = 1
    }
    match($0, /^box [0-9]+ static [0-9]+: /) {
      if (substr($0, RLENGTH + 1) == ENVIRON["TEXT"]) texted[$2] = 1
    }
    END { for (n in captioned) if (n in texted) exit 0; exit 1 }
  ' "$ROBOT_LOG" || fail "no box \"$1\" with the text: $2"
}
