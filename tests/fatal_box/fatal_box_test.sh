#!/usr/bin/env bash
# The fatal-error box: caption "FATAL ERROR", the formatted text, one OK
# button; pressing it ends the program with exit code 1.
#   fatal_box_test.sh FATAL_BOX_EXE
set -u
source "$VELT_SOURCE_DIR/tests/robot/robot.sh"
program=$(winpath "$1")

while IFS='|' read -r mode text; do
  robot_run --do 'caption=FATAL ERROR|press=OK' -- "$program" "$mode"
  expect_status 1
  expect_box 'FATAL ERROR' "$text"
  expect_line 'box 1 button 1: OK'
  expect_no_line 'box 1 button 2: Cancel'
  expect_no_line 'box 2 process: 1'
done <<'CASES'
format|Disk C: is full (42)
check|Core32 640
CASES
echo "fatal box tests passed"
