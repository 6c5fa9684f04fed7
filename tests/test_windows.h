#pragma once

#include <string>
#include <windows.h>

// The program's texts, spelled here once for every test rather than taken
// from the program, so that a text changed in the program fails a test.
const wchar_t kRestingCaption[] = L"MP3 Tunetidy Utility";
const wchar_t kScanningFolderCaption[] = L"Scanning Directory";
const wchar_t kScanningFilesCaption[] = L"Scanning MP3 files";
const wchar_t kMovingFilesCaption[] = L"Moving MP3 files";
const wchar_t kFolderErrorCaption[] = L"Error -- could not open directory. GetFonts() in main";

// How long a test waits for anything the program or a job should do.
const DWORD kTimeoutMs = 20000;

// Polls `done` every `pollMs` until it holds or `timeoutMs` passes. A poll
// every 0 ms only gives up the rest of the thread's time slice: a sleep of
// 1 ms may last a whole timer tick on Windows (15.6 ms unless the process
// asks for a finer one), long enough to miss a short pass of a job.
template <typename Condition>
bool WaitUntil(Condition done, DWORD pollMs = 10, DWORD timeoutMs = kTimeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(pollMs))
        if (done())
            return true;
    return done();
}

bool WaitUntilClosed(HWND window);

void PumpMessages();

// Pumps messages until `object` is signalled, calling `between()` at least
// every 10 ms; false if `timeoutMs` passes first.
template <typename Step> bool PumpUntilSignalled(HANDLE object, DWORD timeoutMs, Step between)
{
    const DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &object, FALSE, 10, QS_ALLINPUT) != WAIT_OBJECT_0) {
        PumpMessages();
        between();
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
    return true;
}

// Sends a message to a window of any process; 0 when the window is gone, a
// failure when it does not answer in time.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Asked of the window itself: for a control of another process, GetWindowText
// gives only the text it was created with.
std::wstring TextOf(HWND window);

// The shown dialog box of the process with this caption in any case (Windows
// captions the folder browser "Browse For Folder", Wine "Browse for Folder").
HWND FindBox(DWORD processId, const std::wstring& caption);
// Returns a message box's text, presses its OK button and waits for it to go.
std::wstring DismissMessageBox(HWND box);

INT_PTR CALLBACK InertDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// A dialog from the program's template, shown with its top edge at `top`,
// once the progress bar's class is registered.
HWND ShowTemplateDialog(DLGPROC procedure, int top = 0);
