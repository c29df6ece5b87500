#!/usr/bin/env bash
# The registry module's boxes, answered by the robot:
#   registry_boxes.sh PROGRAM
set -u
source "$VELT_SOURCE_DIR/tests/robot/robot.sh"
program=$(winpath "$1")

# A missing required value names the program, the key and the value, and
# ends the program with exit code 1.
robot_run --do 'caption=FATAL ERROR|press=OK' -- "$program" required
expect_status 1
expect_box "FATAL ERROR" 'The following registry key is required by Veltpack, but is invalid or does not exist:\n\nHKEY_CURRENT_USER\\Software\\VeltpackMissingValue\n\nIf you have tried moving this program to a different computer by copying files, this will not work.  This program must be reinstalled.'

# With ShowRegistryError as its report both failures of the deletion (opening the key to
# empty it, deleting it) show the system's text; without it nothing is
# shown. The robot fails on any box left unanswered (101) or any step
# left over (104).
robot_run --do 'caption=Registry Error|press=OK' --do 'caption=Registry Error|press=OK' \
          -- "$program" errors
expect_status 40
expect_line "box 2 caption: Registry Error"
expect_no_line "box 3 caption: Registry Error"
echo PASS
