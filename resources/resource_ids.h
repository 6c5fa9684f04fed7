#pragma once

// Shared by the dialog template, the shell and the engine (which finds the
// progress bar by its id).
#define IDD_MAIN 101

#define IDC_DIR_EDIT 1001
#define IDC_CHOOSE_DIR_BUTTON 1002
#define IDC_HELP_BUTTON 1004
#define IDC_EXIT_BUTTON 1005
#define IDC_PROGRESS_BAR 1006
