#include "main_dialog.h"

#include "folder_chooser.h"
#include "progress_bar_repaint.h"
#include "resource_ids.h"
#include "sort_job.h"

#include <process.h>
#include <string>

namespace {

const wchar_t kHelpText[] = L"Directions:\r\n\r\n1. Select Directory\r\n2. Click Ok\r\n\r\n"
                            L"With thanks to everyone who tried the early builds and lent us their "
                            L"untidiest music folders.";

std::wstring g_chosenFolder;
// 1 from the start of a job until its WM_SORTDONE; touched by this thread only.
unsigned char g_busy;
HWND g_folderEdit;
wchar_t g_folderEditText[MAX_PATH];

void ShowFolder()
{
    SendMessageW(g_folderEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_chosenFolder.c_str()));
}

void ChooseFolder(HWND dialog)
{
    g_chosenFolder = BrowseForDirectory(dialog);
    ShowFolder();
}

bool FolderFieldIsEmpty()
{
    const LRESULT length = SendMessageW(g_folderEdit, WM_GETTEXT, MAX_PATH,
                                        reinterpret_cast<LPARAM>(g_folderEditText));
    g_folderEditText[length] = L'\0';
    return g_folderEditText[0] == L'\0';
}

void StartJob(HWND dialog)
{
    if (g_busy) {
        MessageBoxW(dialog, L"Processing still in progress", L"Please wait", MB_OK);
        return;
    }
    if (FolderFieldIsEmpty()) {
        MessageBoxW(dialog, L"Please select a Directory", L"Empty!", MB_OK);
        return;
    }

    g_busy = 1;
    // The chosen folder comes from a MAX_PATH buffer, so it always fits.
    wcscpy_s(g_jobFolder, g_chosenFolder.c_str());
    g_mainDialog = dialog;
    unsigned threadId = 0;
    const uintptr_t worker = _beginthreadex(nullptr, 0, SortWorker, nullptr, 0, &threadId);
    if (worker == 0) {
        // No job runs, so no WM_SORTDONE will come: accept the next OK.
        g_busy = 0;
        return;
    }
    // Nobody waits for the worker; it ends with its job or with the process.
    CloseHandle(reinterpret_cast<HANDLE>(worker));
}

void OnCommand(HWND dialog, WORD controlId)
{
    switch (controlId) {
    case IDOK:
        StartJob(dialog);
        break;
    case IDC_CHOOSE_DIR_BUTTON:
        ChooseFolder(dialog);
        break;
    case IDC_HELP_BUTTON:
        MessageBoxW(dialog, kHelpText, L"Instructions", MB_OK);
        break;
    case IDC_EXIT_BUTTON:
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        break;
    }
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendMessageW(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kProgramCaption));
        g_folderEdit = GetDlgItem(dialog, IDC_DIR_EDIT);
        ShowFolder();
        // A job moves the bar for every file; most moves change no pixel.
        RepaintProgressOnlyOnChange(GetDlgItem(dialog, IDC_PROGRESS_BAR));
        // Let the dialog manager focus the first tab stop, the OK button.
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        break;
    case WM_CLOSE:
        SendMessageW(dialog, WM_DESTROY, 0, 0);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_SORTDONE:
        g_busy = 0;
        break;
    }
    return FALSE;
}
