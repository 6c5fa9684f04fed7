#include "test_windows.h"

#include "resource_ids.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

struct BoxSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (processId == search->processId && wcscmp(className, L"#32770") == 0 &&
        IsWindowVisible(window) && _wcsicmp(TextOf(window).c_str(), search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

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
    BoxSearch search = {processId, caption.c_str(), nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
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

HWND ShowTemplateDialog(DLGPROC procedure, int left)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     procedure, 0);
    SetWindowPos(dialog, HWND_TOP, left, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    return dialog;
}
