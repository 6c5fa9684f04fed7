#include "program_driver.h"

#include "resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

const DWORD kTimeoutMs = 20000;
const wchar_t kBrowserCaption[] = L"Browse for Folder";
const int kBrowserTree = 14145;
const int kBrowserSelectionEdit = 14149;
// The tree's type-ahead gathers all characters typed within 450 ms.
const DWORD kTypeAheadPauseMs = 600;
const wchar_t kRestingCaption[] = L"MP3 Tunetidy Utility";

// Asks the window itself: for a control of another process, GetWindowText
// gives only the text it was created with.
std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = L"";
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                        kTimeoutMs, &length);
    return text;
}

// Wine's drive Z: is the Linux root.
std::wstring LinuxPath(std::wstring windowsPath)
{
    windowsPath.erase(0, 2);
    for (wchar_t& character : windowsPath)
        if (character == L'\\')
            character = L'/';
    return windowsPath;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (processId == search->processId && wcscmp(className, L"#32770") == 0 &&
        IsWindowVisible(window) && TextOf(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Polls `done` every `pollMs` until it holds or the time-out passes.
template <typename Condition> bool WaitUntil(Condition done, DWORD pollMs = 10)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(pollMs))
        if (done())
            return true;
    return done();
}

bool WaitUntilClosed(HWND window)
{
    return WaitUntil([window] { return !IsWindow(window); });
}

} // namespace

void RunLinuxCommand(const std::wstring& shellCommand)
{
    // Wine cannot wait for a Linux process, so the command leaves a marker
    // file when it is done.
    static unsigned counter = 0;
    const std::wstring marker = L"/tmp/tunetidy-command-" + std::to_wstring(GetCurrentProcessId()) +
                                L"-" + std::to_wstring(++counter);
    std::wstring commandLine = L"/bin/sh -c \"" + shellCommand + L"; : > " + marker + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "cannot run a Linux command";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::wstring markerOnZ = L"Z:" + marker;
    EXPECT_TRUE(WaitUntil([&] { return DeleteFileW(markerOnZ.c_str()) != FALSE; }))
        << "a Linux command did not finish";
}

// One level above the tests.
std::wstring BuildFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\'));
    folder.erase(folder.find_last_of(L'\\'));
    return folder;
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
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
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
    WindowSearch search = {m_process.dwProcessId, caption.c_str(), nullptr};
    WaitUntil([&] {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

std::wstring ProgramDriver::Caption() const
{
    return TextOf(m_dialog);
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
    if (!box) {
        ADD_FAILURE() << "no message box appeared";
        return L"";
    }
    const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntilClosed(box)) << "the message box did not close";
    return text;
}

std::wstring ProgramDriver::BrowserSelection(HWND browser) const
{
    return TextOf(GetDlgItem(browser, kBrowserSelectionEdit));
}

HWND ProgramDriver::OpenFolderBrowser()
{
    Press(IDC_CHOOSE_DIR_BUTTON);
    HWND browser = WaitForWindow(kBrowserCaption);
    EXPECT_NE(browser, nullptr) << "the folder browser did not open";
    return browser;
}

void ProgramDriver::ChooseFolder(const std::vector<std::wstring>& namesBelowRoot)
{
    HWND browser = OpenFolderBrowser();
    if (!browser)
        return;
    // Keys are posted to the tree in order, so each one meets the tree as the
    // keys before it left it, however long listing a folder takes.
    HWND tree = GetDlgItem(browser, kBrowserTree);
    PostMessageW(tree, WM_KEYDOWN, VK_DOWN, 1);
    for (const std::wstring& name : namesBelowRoot) {
        Sleep(kTypeAheadPauseMs);
        PostMessageW(tree, WM_KEYDOWN, VK_RIGHT, 1);
        for (wchar_t character : name)
            PostMessageW(tree, WM_CHAR, character, 1);
        ASSERT_TRUE(WaitUntil([&] { return BrowserSelection(browser) == name; }, 50))
            << "the browser did not select " << std::string(name.begin(), name.end());
    }
    PostMessageW(browser, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
}

void ProgramDriver::CancelFolderBrowser()
{
    HWND browser = OpenFolderBrowser();
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
}

std::vector<std::wstring> ProgramDriver::WatchJobCaptions()
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

bool ProgramDriver::WaitForCaption(const std::wstring& caption)
{
    return WaitUntil([&] { return Caption() == caption; }, 1);
}

bool ProgramDriver::WaitForJobEnd()
{
    if (!WaitForCaption(kRestingCaption))
        return false;
    Sleep(300);
    return true;
}

long ProgramDriver::WaitForExit()
{
    if (WaitForSingleObject(m_process.hProcess, kTimeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD exitCode = 0;
    GetExitCodeProcess(m_process.hProcess, &exitCode);
    return static_cast<long>(exitCode);
}

void ProgramDriver::SaveScreenshot(const std::wstring& fileName) const
{
    const std::wstring pngPath = LinuxPath(BuildFolder() + L"\\" + fileName);
    RECT frame = {};
    GetWindowRect(m_dialog, &frame);
    const std::wstring crop = L"pnmcut -left " + std::to_wstring(frame.left) + L" -top " +
                              std::to_wstring(frame.top) + L" -width " +
                              std::to_wstring(frame.right - frame.left) + L" -height " +
                              std::to_wstring(frame.bottom - frame.top);
    RunLinuxCommand(L"xwd -root -silent | xwdtopnm 2>/dev/null | " + crop + L" | pnmtopng > '" +
                    pngPath + L"'");
}
