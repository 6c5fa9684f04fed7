#include "job_recorder.h"

#include "resource_ids.h"
#include "sort_job.h"
#include "test_windows.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <process.h>

namespace {

const wchar_t kRecorderClass[] = L"TunetidyJobRecorder";
const DWORD kJobTimeoutMs = 60000;

std::wstring Numbers(WPARAM wParam, LPARAM lParam)
{
    return std::to_wstring(wParam) + L" " + std::to_wstring(lParam);
}

// A status the job shows, as recorded.
std::wstring Status(const wchar_t* text)
{
    return std::wstring(L"WM_SETTEXT 0 \"") + text + L"\"";
}

// The events of the recorder whose windows exist: a test holds one at a time.
std::vector<std::wstring>* g_events;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT:
        g_events->push_back(L"WM_SETTEXT " + std::to_wstring(wParam) + L" \"" +
                            reinterpret_cast<const wchar_t*>(lParam) + L"\"");
        break;
    case PBM_SETRANGE32:
        g_events->push_back(L"PBM_SETRANGE32 " + Numbers(wParam, lParam));
        return 0;
    case PBM_SETPOS:
        g_events->push_back(L"PBM_SETPOS " + Numbers(wParam, lParam));
        return 0;
    case WM_SORTDONE:
        g_events->push_back(L"WM_SORTDONE " + Numbers(wParam, lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

JobRecorder::JobRecorder()
{
    g_events = &m_events;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kRecorderClass;
    RegisterClassW(&windowClass); // Fails harmlessly when already registered.
    m_window = CreateWindowExW(0, kRecorderClass, L"Recorder", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    CreateWindowExW(0, kRecorderClass, L"", WS_CHILD, 0, 0, 100, 20, m_window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS_BAR)),
                    GetModuleHandleW(nullptr), nullptr);
    if (!m_window)
        ADD_FAILURE() << "cannot create the recording window (no display?)";
}

JobRecorder::~JobRecorder()
{
    DestroyWindow(m_window);
    g_events = nullptr;
}

std::vector<std::wstring> JobRecorder::TakeEvents()
{
    std::vector<std::wstring> events;
    events.swap(m_events);
    return events;
}

void JobRecorder::DismissErrorBox()
{
    // The box is found once it shows, when its text is there, and recorded
    // once: dismissing it waits for it to go.
    if (HWND box = FindBox(GetCurrentProcessId(), kFolderErrorCaption))
        m_events.push_back(L"message box \"" + DismissMessageBox(box) + L"\"");
}

unsigned JobRecorder::RunJob(const std::wstring& folder)
{
    wcscpy_s(g_jobFolder, folder.c_str());
    g_mainDialog = m_window;
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SortWorker, nullptr, 0, nullptr));
    EXPECT_NE(thread, nullptr);
    if (!PumpUntilSignalled(thread, kJobTimeoutMs, [this] { DismissErrorBox(); })) {
        ADD_FAILURE() << "the job did not end";
        return 0;
    }
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    return exitCode;
}

std::vector<std::wstring> ExpectedJobEvents(size_t scanned, size_t moved)
{
    std::vector<std::wstring> events = {
        Status(kScanningFolderCaption),
        L"PBM_SETRANGE32 0 " + std::to_wstring(scanned),
        Status(kScanningFilesCaption),
    };
    for (size_t i = 0; i < scanned; ++i)
        events.push_back(L"PBM_SETPOS " + std::to_wstring(i) + L" 0");
    events.push_back(L"PBM_SETRANGE32 0 " + std::to_wstring(moved));
    events.push_back(Status(kMovingFilesCaption));
    for (size_t i = 0; i < moved; ++i)
        events.push_back(L"PBM_SETPOS " + std::to_wstring(i) + L" 0");
    events.push_back(L"PBM_SETPOS " + std::to_wstring(moved) + L" 0");
    events.push_back(Status(kRestingCaption));
    events.push_back(L"PBM_SETPOS 0 0");
    events.push_back(L"WM_SORTDONE 0 0");
    return events;
}
