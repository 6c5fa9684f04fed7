#include "test_windows.h"

#include "resource_ids.h"

#include <gtest/gtest.h>

#include <cwchar>

bool WaitUntilClosed(HWND window)
{
    return WaitUntil([window] { return !IsWindow(window); });
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, kTimeoutMs, &answer) &&
        GetLastError() == ERROR_TIMEOUT)
        ADD_FAILURE() << "no answer to message " << message;
    return static_cast<LRESULT>(answer);
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = L"";
    Ask(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

HWND FindBox(DWORD processId, const std::wstring& caption)
{
    // Every top-level dialog box, of any process, one after another.
    for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == processId && IsWindowVisible(box) &&
            _wcsicmp(TextOf(box).c_str(), caption.c_str()) == 0)
            return box;
    }
    return nullptr;
}

std::wstring DismissMessageBox(HWND box)
{
    std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntilClosed(box)) << "the message box did not close";
    return text;
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

HWND ShowTemplateDialog(DLGPROC procedure, int top)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     procedure, 0);
    SetWindowPos(dialog, HWND_TOP, 0, top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    return dialog;
}
