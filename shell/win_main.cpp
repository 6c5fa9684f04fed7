#include "main_dialog.h"
#include "resource_ids.h"
#include "system_dlls.h"

#include <cstdio>
#include <objbase.h>

namespace {

void ReportDialogFailure()
{
    wchar_t text[100];
    _snwprintf_s(text, _countof(text), _TRUNCATE, L"Error x%x",
                 static_cast<unsigned>(GetLastError()));
    MessageBoxW(nullptr, text, L"CreateDialog", MB_ICONWARNING);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    // Before anything can load a DLL: whatever lies beside the program, or in
    // the folder it is started from, never runs.
    LoadDllsFromSystem32Only();
    // The progress bar's window class must exist before the dialog is created;
    // without it there is no dialog.
    if (!RegisterProgressBarClass()) {
        ReportDialogFailure();
        return 1;
    }
    // The new-style folder browser needs COM in a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    HWND dialog =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!dialog) {
        ReportDialogFailure();
        return 1;
    }
    ShowWindow(dialog, showCommand);

    // The dialog manager sees every message first, so that the dialog answers
    // the keyboard as every dialog does: Tab and Shift+Tab move the focus
    // through its tab stops, Space presses the focused button, and Enter the
    // focused button or else OK, the default one.
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoUninitialize();
    return static_cast<int>(message.wParam);
}
