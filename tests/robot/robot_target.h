// Control ids of the robot test program's dialog.
#define IDD_ROBOT_DIALOG 100
#define IDC_LABEL 101
#define IDC_NAME 102
#define IDC_COLOURS 103
#define IDC_MORE 104
