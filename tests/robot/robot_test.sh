#!/usr/bin/env bash
# The robot against a small program of known behaviour:
#   robot_test.sh ROBOT TARGET
set -u
VELT_ROBOT=$1
source "$(dirname "$0")/robot.sh"
target_name=$(basename "$2")
target=$(winpath "$2")

# The pressed button is the program's exit code; a button is found by id
# or by its text without '&', and the box is logged in full.
for answer in "Yes 6" "no 7" "6 6" "Cancel 2"; do
  set -- $answer
  robot_run --do "caption=Robot|text=of three|press=$1" -- "$target" box
  expect_status "$2"
  expect_box "Robot Target" 'Pick one\r\nof three'
  expect_line "box 1 button 6: &Yes"
  expect_line "box 1 button 2: Cancel"
  expect_line "process 1 exit: $2"
done

# A dialog: typed text and the picked entry arrive (with the selection
# notification); a button that opens a box owned by the dialog gets the
# dialog answered again once that box has closed.
robot_run --do 'press=More...' \
          --do 'caption=Robot More|press=OK' \
          --do 'type=102:C:\Program Files\Robot|pick=103:green|press=OK' \
          --do 'caption=Robot Result|press=OK' -- "$target" dialog
expect_status 11
expect_line "box 1 list 103 2: blue"
expect_line "box 1 again"
expect_line 'box 1 type 102: C:\\Program Files\\Robot'
expect_box "Robot Result" 'typed <C:\\Program Files\\Robot>, picked <green>, notified 1'

# Steps from a script file; an entry picked by index and double-clicked.
cat >"$ROBOT_WORK/script" <<'SCRIPT'
# comments and blank lines are skipped

type=102:a || b|dblclick=103:#2
caption=Robot Result|press=1
SCRIPT
robot_run --script "$(winpath "$ROBOT_WORK/script")" -- "$target" dialog
expect_status 12
expect_box "Robot Result" 'typed <a | b>, picked <blue>, notified 2'

# A box is logged once its program answers the robot's reads: one that is
# closed before is noted, not logged with the empty texts of failed reads.
# A box whose caption and text are empty is a box all the same.
robot_run -- "$target" unread
expect_status 2
expect_line "process 1 box gone unread"
expect_no_line "box 1 caption: "
robot_run --do "press=OK" -- "$target" blank
expect_status 1
expect_line "box 1 caption: "
expect_line "box 1 static 65535: "
expect_line "box 1 press 1: OK"

# waitfile holds the answer until the file is there: the file is made only
# once the robot waits for it, and the button is pressed after that.
go=$ROBOT_WORK/go
next_log=$ROBOT_WORK/run$((ROBOT_RUNS + 1)).log
(
  for _ in $(seq 1200); do
    grep -q ' waitfile: ' "$next_log" 2>/dev/null && break
    sleep 0.1
  done
  wc -l <"$next_log" >"$go.lines"
  : >"$go"
) &
maker=$!
robot_run --do "caption=Robot|waitfile=$(winpath "$go")|press=No" -- "$target" box
wait $maker
expect_status 7
expect_line "box 1 waitfile: $(log_text "$(winpath "$go")")"
pressed_at=$(grep -nFx "box 1 press 7: &No" "$ROBOT_LOG" | cut -d: -f1)
[ -n "$pressed_at" ] && [ "$pressed_at" -gt "$(cat "$go.lines")" ] ||
  fail "pressed at line ${pressed_at:-none}, before the file was made after line $(cat "$go.lines")"

# A box no step answers fails at once with its text, and the program is
# killed; so does a box that does not match its step.
robot_run -- "$target" box
expect_status 101
expect_line "box 1 unexpected"
expect_error 'unexpected box 1 "Robot Target": Pick one\r\nof three (no step left)'
robot_run --do "caption=Other|press=OK" -- "$target" box
expect_status 101
expect_error 'step 1 "caption=Other|press=OK" expects the caption Other'

# A step that cannot be applied, steps left over, and a timeout.
robot_run --do "press=Maybe" -- "$target" box
expect_status 103
expect_error ': no button Maybe'
robot_run --do "press=OK" -- "$target" exit 5
expect_status 104
expect_error 'with 1 steps left; the next: press=OK'
robot_run -- "$target" exit 42
expect_status 42
robot_run --timeout 2 -- "$target" sleep
expect_status 102
expect_line "timeout"
expect_error "timeout after 2 s"

# --app starts the real program under another first word; --tree waits
# for a child that shows the box after its parent has ended.
robot_run --do "press=OK" --app "$target" --line '"C:\copy dir\setup.exe" cmdline'
expect_status 0
expect_box "Robot Command" "$(log_text "module=$target"$'\n'"line=\"C:\\copy dir\\setup.exe\" cmdline")"
robot_run --tree --do "press=No" -- "$target" child box
expect_status 3
expect_line "process 2 started: $target_name"
expect_line "box 1 process: 2"
expect_line "process 2 exit: 7"
echo "robot tests passed"
