#include "program_driver.h"

#include "resource_ids.h"
#include "window_pictures.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <cstddef>
#include <cwchar>
#include <shlobj.h>

namespace {

const wchar_t kBrowserCaption[] = L"Browse for Folder";

// Memory in the program's process, for messages whose parameters point to
// data: another process's window reads them in its own address space.
class ProgramMemory {
public:
    ProgramMemory(HANDLE process, size_t size)
        : m_process(process), m_address(VirtualAllocEx(process, nullptr, size,
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
    {
    }
    ~ProgramMemory() { VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE); }
    ProgramMemory(const ProgramMemory&) = delete;
    ProgramMemory& operator=(const ProgramMemory&) = delete;

    void* Address() const { return m_address; }
    bool Write(const void* data, size_t size) const
    {
        return m_address && WriteProcessMemory(m_process, m_address, data, size, nullptr);
    }
    bool Read(void* data, size_t size) const
    {
        return m_address && ReadProcessMemory(m_process, m_address, data, size, nullptr);
    }

private:
    HANDLE m_process;
    void* m_address;
};

// Text in the program's memory, up to its terminator or MAX_PATH characters,
// read a page at a time: the page after the text may not be readable.
std::wstring ReadProgramText(HANDLE process, const wchar_t* address)
{
    const size_t kPage = 4096;
    std::wstring text;
    while (text.size() < MAX_PATH) {
        const auto start = reinterpret_cast<uintptr_t>(address + text.size());
        wchar_t chunk[kPage / sizeof(wchar_t)] = {};
        const size_t bytes = kPage - start % kPage;
        if (!ReadProcessMemory(process, reinterpret_cast<const void*>(start), chunk, bytes,
                               nullptr))
            return L"";
        const size_t length = wcsnlen(chunk, bytes / sizeof(wchar_t));
        text.append(chunk, length);
        if (length < bytes / sizeof(wchar_t))
            return text;
    }
    return text;
}

BOOL CALLBACK MatchTree(HWND window, LPARAM lParam)
{
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    if (wcscmp(className, WC_TREEVIEWW) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

} // namespace

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
    if (!box) {
        ADD_FAILURE() << "no message box appeared";
        return L"";
    }
    return ::DismissMessageBox(box);
}

void ProgramDriver::TypeKey(WORD key, WORD modifier)
{
    // Windows lets a process bring another's window to the front only in some
    // cases (no window in front, or the caller started by the one in front);
    // where it may not, the keys would reach whatever window is in front.
    SetForegroundWindow(m_dialog);
    ASSERT_EQ(GetForegroundWindow(), m_dialog)
        << "the dialog is not in front: keys would go astray";
    std::vector<INPUT> inputs;
    auto add = [&inputs](WORD virtualKey, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (modifier)
        add(modifier, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (modifier)
        add(modifier, KEYEVENTF_KEYUP);
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

HWND ProgramDriver::WaitForFolderBrowser() const
{
    HWND browser = WaitForWindow(kBrowserCaption);
    EXPECT_NE(browser, nullptr) << "the folder browser did not open";
    return browser;
}

std::wstring ProgramDriver::BrowserSelection(HWND browser) const
{
    HWND tree = nullptr;
    EnumChildWindows(browser, MatchTree, reinterpret_cast<LPARAM>(&tree));
    struct ItemText {
        TVITEMW item;
        wchar_t text[MAX_PATH];
    };
    const ProgramMemory memory(m_process.hProcess, sizeof(ItemText));
    ItemText itemText = {};
    itemText.item.mask = TVIF_TEXT;
    itemText.item.hItem = reinterpret_cast<HTREEITEM>(Ask(tree, TVM_GETNEXTITEM, TVGN_CARET));
    itemText.item.pszText =
        reinterpret_cast<wchar_t*>(static_cast<char*>(memory.Address()) + offsetof(ItemText, text));
    itemText.item.cchTextMax = MAX_PATH;
    if (!tree || !memory.Write(&itemText, sizeof itemText) ||
        !Ask(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address())) ||
        !memory.Read(&itemText, sizeof itemText))
        return L"";
    // A tree view may answer with a pointer to text of its own instead of
    // filling the buffer it was given.
    return ReadProgramText(m_process.hProcess, itemText.item.pszText);
}

bool ProgramDriver::ChooseFolder(const std::wstring& folder)
{
    Press(IDC_CHOOSE_DIR_BUTTON);
    return ChooseFolderInBrowser(folder);
}

bool ProgramDriver::ChooseFolderInBrowser(const std::wstring& folder)
{
    HWND browser = WaitForFolderBrowser();
    if (!browser)
        return false;
    const size_t size = (folder.size() + 1) * sizeof(wchar_t);
    const ProgramMemory path(m_process.hProcess, size);
    EXPECT_TRUE(path.Write(folder.c_str(), size)) << "cannot hand the folder to the browser";
    // The browser sometimes ignores the first selection it is given in a
    // process (seen under Wine): it is given the folder until it shows it.
    const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
    const bool selected = WaitUntil(
        [&] {
            Ask(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.Address()));
            return BrowserSelection(browser) == name;
        },
        100);
    EXPECT_TRUE(selected) << "the browser did not select the folder";
    PostMessageW(browser, WM_COMMAND, selected ? IDOK : IDCANCEL, 0);
    EXPECT_TRUE(WaitUntilClosed(browser)) << "the folder browser did not close";
    return selected && FolderField() == folder;
}

void ProgramDriver::CancelFolderBrowser()
{
    Press(IDC_CHOOSE_DIR_BUTTON);
    HWND browser = WaitForFolderBrowser();
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
    const std::vector<DWORD> shown = ClientPixels(desktop, PixelSource::Screen);
    std::vector<DWORD> pixels;
    for (LONG y = frame.top; y < frame.bottom; ++y) {
        const auto row = shown.begin() + static_cast<ptrdiff_t>(y) * screen.right;
        pixels.insert(pixels.end(), row + frame.left, row + frame.right);
    }

    const std::wstring path = BuildFolder() + L"\\" + fileName;
    const HRESULT result =
        WritePng(path, frame.right - frame.left, frame.bottom - frame.top, pixels);
    EXPECT_EQ(result, S_OK) << "cannot write the screenshot " << fileName;
}
