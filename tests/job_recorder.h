#pragma once

#include <string>
#include <vector>
#include <windows.h>

// Stands in for the main dialog: a real top-level window with a child of id
// IDC_PROGRESS_BAR, both recording every message a job sends them, in order,
// as text such as `WM_SETTEXT 0 "Scanning Directory"` or `PBM_SETPOS 3 0`.
class JobRecorder {
public:
    JobRecorder();
    ~JobRecorder();
    JobRecorder(const JobRecorder&) = delete;
    JobRecorder& operator=(const JobRecorder&) = delete;

    // Runs SortWorker on a worker thread for `folder` while this thread pumps
    // messages, and returns the worker's exit code. The scan's error box is
    // found by its caption, recorded as `message box "<text>"` and dismissed.
    unsigned RunJob(const std::wstring& folder);

    std::vector<std::wstring> TakeEvents();

private:
    void DismissErrorBox();

    HWND m_window = nullptr;
    std::vector<std::wstring> m_events;
};

// The exact messages of one job over a folder with `scanned` MP3 files of
// which `moved` are planned for moving.
std::vector<std::wstring> ExpectedJobEvents(size_t scanned, size_t moved);
