#pragma once

#include <windows.h>

// Procedure of the program's only window, the modeless IDD_MAIN dialog: holds
// the chosen folder, starts one sort job at a time and shows its progress.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
