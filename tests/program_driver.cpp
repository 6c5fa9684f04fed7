#include "program_driver.h"

#include "resource_ids.h"
#include "window_pictures.h"

#include <gtest/gtest.h>

#include <commctrl.h>
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

void ProgramDriver::TypeKey(WORD key, WORD modifier)
{
    // Windows lets a process bring another's window to the front only in some
    // cases (no window in front, or the caller started by the one in front);
    // where it may not, the keys would reach whatever window is in front.
    SetForegroundWindow(m_dialog);
    ASSERT_EQ(GetForegroundWindow(), m_dialog)
        << "the dialog is not in front: keys would go astray";
    // Down in order, up in reverse; no modifier is key 0.
    const WORD keys[] = {modifier, key, key, modifier};
    std::vector<INPUT> inputs;
    for (size_t i = 0; i < 4; ++i) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki = {keys[i], 0, static_cast<DWORD>(i < 2 ? 0 : KEYEVENTF_KEYUP), 0, 0};
        if (keys[i])
            inputs.push_back(input);
    }
    EXPECT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
              inputs.size())
        << "the keys were not typed";
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

bool ProgramDriver::ChooseFolderInBrowser(const std::wstring& folder)
{
    // The browser sometimes ignores the first selection it is given in a
    // process (seen under Wine): a choice that did not reach the dialog is
    // made again in a browser opened anew.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            Press(IDC_CHOOSE_DIR_BUTTON);
        HWND browser = WaitForWindow(kBrowserCaption);
        if (!browser) {
            ADD_FAILURE() << "the folder browser did not open";
            return false;
        }
        // The browser reads the path in its own address space.
        const size_t size = (folder.size() + 1) * sizeof(wchar_t);
        void* path = VirtualAllocEx(m_process.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
        if (path && WriteProcessMemory(m_process.hProcess, path, folder.c_str(), size, nullptr))
            Ask(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path));
        else
            ADD_FAILURE() << "cannot hand the folder to the browser";
        VirtualFreeEx(m_process.hProcess, path, 0, MEM_RELEASE);
        PostMessageW(browser, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
        if (FolderField() == folder)
            return true;
    }
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
    std::vector<std::wstring> captions;
    bool left = false;
    WaitUntil(
        [&] {
            const std::wstring caption = Caption();
            left = left || caption != resting;
            if (left && (captions.empty() || captions.back() != caption))
                captions.push_back(caption);
            return left && caption == resting;
        },
        0);
    return captions;
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

bool ProgramDriver::WaitForJobEnd() const
{
    // The job empties the bar right after it puts the resting caption back,
    // and then only tells the dialog that it is done.
    HWND bar = GetDlgItem(m_dialog, IDC_PROGRESS_BAR);
    return WaitForCaption(kRestingCaption) &&
           WaitUntil([bar] { return Ask(bar, PBM_GETPOS) == 0; }, 0);
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
