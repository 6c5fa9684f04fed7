#pragma once

#include <windows.h>

// Sent to the main dialog when a job is over.
const UINT WM_SORTDONE = 12345;

// The dialog's caption at rest, which a job restores when it ends.
const wchar_t kProgramCaption[] = L"MP3 Tunetidy Utility";

// The job's inputs, written by the dialog before it starts a worker and left
// alone while that job runs.
extern wchar_t g_jobFolder[MAX_PATH];
extern HWND g_mainDialog;

// Worker thread procedure for _beginthreadex: sorts the tagged MP3 files
// directly inside g_jobFolder into <folder>\<artist>\<album>\, reporting status
// as g_mainDialog's caption and progress on its IDC_PROGRESS_BAR child, then
// sends WM_SORTDONE. Returns -1 at once, sending nothing, when the folder is
// empty.
unsigned __stdcall SortWorker(void* unused);
