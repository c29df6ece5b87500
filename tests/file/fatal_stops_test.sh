#!/usr/bin/env bash
# File's fatal stops: each shows its box and ends the program with exit
# code 1. $1 is the probe program (fatal_probe.cpp).
set -u
source "$VELT_SOURCE_DIR/tests/robot/robot.sh"
probe=$(winpath "$1")

robot_run --do 'caption=FATAL ERROR|press=OK' -- "$probe" pop
expect_status 1
expect_box 'FATAL ERROR' 'File32 930'

robot_run --do 'caption=FATAL ERROR|press=OK' -- "$probe" write 'C:\no-such-dir\w.bin'
expect_status 1
expect_box 'FATAL ERROR' 'Write to unopened File:\nC:\\no-such-dir\\w.bin'

robot_run --do 'caption=FATAL ERROR|press=OK' -- "$probe" required 'C:\no-such-dir\r.bin'
expect_status 1
expect_box 'FATAL ERROR' 'Failed to open required file:\r\nC:\\no-such-dir\\r.bin'

# No stop without a reason: the probe runs to its end.
robot_run -- "$probe" none
expect_status 7
echo "fatal stops: ok"
