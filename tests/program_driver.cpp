#include "program_driver.h"

#include "resource_ids.h"
#include "window_pictures.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <cwchar>
#include <filesystem>
#include <shlobj.h>

const wchar_t kBrowserCaption[] = L"Browse for Folder";

// One level above the tests.
std::wstring BuildFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path().parent_path().wstring();
}

bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring BuiltProgram()
{
    return BuildFolder() + L"\\tunetidy.exe";
}

ProgramDriver::ProgramDriver(const std::wstring& program)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &m_process)) {
        ADD_FAILURE() << "cannot start tunetidy.exe";
        return;
    }
    m_dialog = WaitForWindow(kRestingCaption);
    if (!m_dialog)
        ADD_FAILURE() << "the main dialog did not appear";
}

ProgramDriver::~ProgramDriver()
{
    if (!m_process.hProcess)
        return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(m_process.hProcess, 99);
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

HWND ProgramDriver::WaitForWindow(const std::wstring& caption) const
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindBox(m_process.dwProcessId, caption)) != nullptr; });
    return found;
}

// As the window manager keeps it: no message waits behind the job's progress
// messages on the program's user-interface thread, so a watcher sees each
// caption for as long as it stands.
std::wstring ProgramDriver::Caption() const
{
    wchar_t caption[256] = L"";
    GetWindowTextW(m_dialog, caption, 256);
    return caption;
}

std::wstring ProgramDriver::FolderField() const
{
    return TextOf(GetDlgItem(m_dialog, IDC_DIR_EDIT));
}

bool ProgramDriver::ShowsFolder(const std::wstring& folder) const
{
    return _wcsicmp(FolderField().c_str(), folder.c_str()) == 0;
}

void ProgramDriver::Press(int controlId)
{
    PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(m_dialog, controlId)));
}

void ProgramDriver::CloseWindow()
{
    // What the title bar's close box and the system menu's Close send.
    PostMessageW(m_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::wstring ProgramDriver::DismissMessageBox(const std::wstring& caption)
{
    HWND box = WaitForWindow(caption);
    EXPECT_NE(box, nullptr) << "no message box appeared";
    return box ? ::DismissMessageBox(box) : L"";
}

namespace {

// Presses `key` through the system's input, holding down `modifier` if one is
// given: down in order, up in reverse.
bool SendKey(WORD key, WORD modifier = 0)
{
    const WORD keys[] = {modifier, key, key, modifier};
    std::vector<INPUT> inputs;
    for (size_t i = 0; i < 4; ++i) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki = {keys[i], 0, static_cast<DWORD>(i < 2 ? 0 : KEYEVENTF_KEYUP), 0, 0};
        if (keys[i])
            inputs.push_back(input);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

// The folder browser's tree: Windows puts it inside a control of its own,
// Wine straight into the browser.
HWND FindTree(HWND browser)
{
    HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    for (HWND child = nullptr; !tree && (child = FindWindowExW(browser, child, nullptr, nullptr));)
        tree = FindWindowExW(child, nullptr, WC_TREEVIEWW, nullptr);
    return tree;
}

} // namespace

bool ProgramDriver::BringToFront()
{
    // Windows lets a process bring another's window to the front only in
    // some cases, one being that it received the last input event: its own
    // Alt press makes it so.
    if (GetForegroundWindow() != m_dialog && SendKey(VK_MENU))
        SetForegroundWindow(m_dialog);
    return GetForegroundWindow() == m_dialog;
}

bool ProgramDriver::TypeKey(WORD key, WORD modifier)
{
    return BringToFront() && SendKey(key, modifier);
}

bool ProgramDriver::WaitForFocus(int controlId) const
{
    HWND control = GetDlgItem(m_dialog, controlId);
    return WaitUntil([&] {
        GUITHREADINFO thread = {};
        thread.cbSize = sizeof thread;
        return GetGUIThreadInfo(m_process.dwThreadId, &thread) && thread.hwndFocus == control;
    });
}

bool ProgramDriver::ChooseFolder(const std::wstring& folder)
{
    Press(IDC_CHOOSE_DIR_BUTTON);
    return ChooseFolderInBrowser(folder);
}

// Hands the browser the folder until its tree's selection moves, for a
// moment: on Windows the tree may still be filling. Returns whether it moved.
bool ProgramDriver::SelectInBrowser(HWND browser, const std::wstring& folder) const
{
    // The browser reads the path in its own address space.
    const size_t size = (folder.size() + 1) * sizeof(wchar_t);
    void* path =
        VirtualAllocEx(m_process.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    HWND tree = FindTree(browser);
    const LRESULT start = Ask(tree, TVM_GETNEXTITEM, TVGN_CARET);
    const bool selected =
        tree && path &&
        WriteProcessMemory(m_process.hProcess, path, folder.c_str(), size, nullptr) &&
        WaitUntil(
            [&] {
                Ask(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path));
                return Ask(tree, TVM_GETNEXTITEM, TVGN_CARET) != start;
            },
            10, 2000);
    VirtualFreeEx(m_process.hProcess, path, 0, MEM_RELEASE);
    return selected;
}

bool ProgramDriver::ChooseFolderInBrowser(const std::wstring& folder)
{
    // Wine's browser finds a path by comparing its tree's item IDs, level by
    // level, with those parsed from the path. They hold each folder's time of
    // last change, so a folder changed since the browser listed it is never
    // found there (measured): a new browser, which lists the folders anew, is
    // opened instead. So is one that returned another folder: on Windows the
    // tree may select a parent while it still expands the path.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            Press(IDC_CHOOSE_DIR_BUTTON);
        HWND browser = WaitForWindow(kBrowserCaption);
        if (!browser) {
            ADD_FAILURE() << "the folder browser did not open";
            return false;
        }
        const bool selected = SelectInBrowser(browser, folder);
        PostMessageW(browser, WM_COMMAND, selected ? IDOK : IDCANCEL, 0);
        EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
        // The program shows the folder only once the browser has returned.
        if (selected && WaitUntil([&] { return ShowsFolder(folder); }, 10, 2000))
            return true;
    }
    ADD_FAILURE() << "no folder browser took the folder";
    return false;
}

void ProgramDriver::CancelFolderBrowser()
{
    Press(IDC_CHOOSE_DIR_BUTTON);
    HWND browser = WaitForWindow(kBrowserCaption);
    EXPECT_NE(browser, nullptr) << "the folder browser did not open";
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
}

std::vector<std::wstring> ProgramDriver::WatchJobCaptions() const
{
    const std::wstring resting = kRestingCaption;
    HWND bar = GetDlgItem(m_dialog, IDC_PROGRESS_BAR);
    std::vector<std::wstring> captions;
    WaitUntil(
        [&] {
            const std::wstring caption = Caption();
            // Before the job, and at its end until the bar is empty, the
            // caption rests as well.
            if (caption == resting && (captions.empty() || Ask(bar, PBM_GETPOS) != 0))
                return false;
            if (captions.empty() || captions.back() != caption)
                captions.push_back(caption);
            return caption == resting;
        },
        0);
    return captions;
}

bool ProgramDriver::WaitForJobEnd() const
{
    const std::vector<std::wstring> captions = WatchJobCaptions();
    return !captions.empty() && captions.back() == kRestingCaption;
}

bool ProgramDriver::WaitForCaption(const std::wstring& caption) const
{
    return WaitUntil([&] { return Caption() == caption; }, 0);
}

bool ProgramDriver::WaitForMovesPast(int position) const
{
    const std::wstring moving = kMovingFilesCaption;
    if (!WaitForCaption(moving))
        return false;
    // Until the pass sets its first position, the bar still stands where the
    // planning pass left it.
    HWND bar = GetDlgItem(m_dialog, IDC_PROGRESS_BAR);
    bool started = false;
    bool reached = false;
    WaitUntil(
        [&] {
            const LRESULT current = Ask(bar, PBM_GETPOS);
            started = started || current < position;
            reached = started && current >= position;
            return reached || Caption() != moving;
        },
        0);
    return reached;
}

long ProgramDriver::WaitForExit() const
{
    if (WaitForSingleObject(m_process.hProcess, kTimeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD exitCode = 0;
    GetExitCodeProcess(m_process.hProcess, &exitCode);
    return static_cast<long>(exitCode);
}

void ProgramDriver::SaveScreenshot(const std::wstring& fileName) const
{
    // The screen as shown, cut to the dialog's frame.
    HWND desktop = GetDesktopWindow();
    RECT screen = {};
    RECT frame = {};
    GetClientRect(desktop, &screen);
    GetWindowRect(m_dialog, &frame);
    IntersectRect(&frame, &frame, &screen);
    const HRESULT result =
        WritePng(BuildFolder() + L"\\" + fileName, ClientPixels(desktop, PixelSource::Screen),
                 static_cast<UINT>(screen.right), frame);
    EXPECT_EQ(result, S_OK) << "cannot write the screenshot " << fileName;
}
