// Times a sort job over a large library four ways, each on a fresh identical
// copy of the same folder, in alternating rounds:
//   (a) the file-system work of a job alone, in a plain loop;
//   (b) the same loop also sending every status and progress message to the
//       program's own dialog, visible, set up exactly as the program does;
//   (c) a real job: SortWorker on a worker thread, reporting to that dialog;
//   (d) the same loop reporting to a dialog whose progress bar drops every
//       position unpainted: the least that synchronous reporting can cost.
// c/b shows what the engine adds beyond the work and reporting it must do,
// c/d what the dialog's painting adds beyond that least reporting.
#include "id3v1_tag.h"
#include "main_dialog.h"
#include "mp3_scan.h"
#include "resource_ids.h"
#include "sort_job.h"
#include "system_dlls.h"
#include "test_files.h"
#include "test_windows.h"

#include <commctrl.h>
#include <process.h>
#include <psapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const int kTaggedFiles = 20000;
const int kArtists = 20;
const int kAlbumsPerArtist = 10;
const int kUntaggedFiles = 2000;
const int kTotalFiles = kTaggedFiles + kUntaggedFiles;
const int kRounds = 3;

// 20,000 tagged files over 200 artist and album pairs, and 2,000 untagged
// ones. Returns whether every file was written.
bool MakeLibrary(const std::wstring& folder)
{
    bool made = MakeFolder(folder);
    for (int i = 0; made && i < kTaggedFiles; ++i) {
        const int pair = i % (kArtists * kAlbumsPerArtist);
        const std::string tag = MakeTag("Artist " + std::to_string(pair / kAlbumsPerArtist),
                                        "Album " + std::to_string(pair % kAlbumsPerArtist));
        made = WriteBytes(folder + L"\\track" + std::to_wstring(i) + L".mp3", MakeMp3(tag, i));
    }
    for (int i = 0; made && i < kUntaggedFiles; ++i)
        made = WriteBytes(folder + L"\\untagged" + std::to_wstring(i) + L".mp3",
                          MakeMp3(std::string(128, '\0'), i));
    return made;
}

// --- Reporting targets: the program's dialog template, shown. ---

HANDLE g_jobFinished;
WNDPROC g_plainProgressProc;

// The program's own dialog procedure; the job's end also ends the pass.
INT_PTR CALLBACK ProgramDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SORTDONE)
        SetEvent(g_jobFinished);
    return MainDialogProc(dialog, message, wParam, lParam);
}

LRESULT CALLBACK DroppingProgressProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS)
        return 0;
    return CallWindowProcW(g_plainProgressProc, bar, message, wParam, lParam);
}

HWND ShowProgramDialog()
{
    return ShowTemplateDialog(ProgramDialogProc);
}

// The same template, with a progress bar that never paints a new position.
HWND ShowDroppingDialog()
{
    HWND dialog = ShowTemplateDialog(InertDialogProc);
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    g_plainProgressProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DroppingProgressProc)));
    return dialog;
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

// Pumps the dialog's messages until the job on another thread says it is
// over. Returns the most private memory seen meanwhile, sampled every 10 ms.
SIZE_T PumpUntilFinished()
{
    SIZE_T peak = PrivateBytes();
    DWORD lastSample = GetTickCount();
    PumpUntilSignalled(g_jobFinished, INFINITE, [&] {
        if (GetTickCount() - lastSample >= 10) {
            peak = std::max(peak, PrivateBytes());
            lastSample = GetTickCount();
        }
    });
    return std::max(peak, PrivateBytes());
}

// --- Passes (a), (b) and (d): the job's work written as a plain loop. ---

struct PlainLoopInput {
    std::wstring folder;
    HWND dialog; // Null for pass (a): no reporting.
};

// Sends one message when the pass reports, as the job does: synchronously.
void Report(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (target)
        SendMessageW(target, message, wParam, lParam);
}

void ReportStatus(HWND dialog, const wchar_t* text)
{
    Report(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

unsigned __stdcall PlainLoop(void* argument)
{
    const auto* input = static_cast<const PlainLoopInput*>(argument);
    HWND dialog = input->dialog;
    HWND progressBar = dialog ? GetDlgItem(dialog, IDC_PROGRESS_BAR) : nullptr;
    const std::wstring base = input->folder + L"\\";

    ReportStatus(dialog, kScanningFolderCaption);
    std::vector<std::wstring> names;
    FindFilesWithExtension(L"mp3", input->folder, names);
    Report(progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(names.size()));
    ReportStatus(dialog, kScanningFilesCaption);

    std::vector<std::wstring> sources;
    std::vector<std::wstring> destinations;
    for (size_t i = 0; i < names.size(); ++i) {
        Report(progressBar, PBM_SETPOS, i, 0);
        const std::optional<TagFields> tag = ReadTagFields(base + names[i]);
        if (!tag)
            continue;
        const std::wstring artist = base + MakeFolderName(tag->artist, L"Unknown Artist");
        const std::wstring album = artist + L"\\" + MakeFolderName(tag->album, L"Unknown Album");
        CreateDirectoryW(artist.c_str(), nullptr);
        CreateDirectoryW(album.c_str(), nullptr);
        sources.push_back(base + names[i]);
        destinations.push_back(album + L"\\" + names[i]);
    }

    Report(progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(sources.size()));
    ReportStatus(dialog, kMovingFilesCaption);
    for (size_t i = 0; i < sources.size(); ++i) {
        Report(progressBar, PBM_SETPOS, i, 0);
        MoveFileW(sources[i].c_str(), destinations[i].c_str());
    }
    Report(progressBar, PBM_SETPOS, sources.size(), 0);
    ReportStatus(dialog, kRestingCaption);
    Report(progressBar, PBM_SETPOS, 0, 0);
    Report(dialog, WM_SORTDONE, 0, 0);
    SetEvent(g_jobFinished);
    return 0;
}

// --- Measuring ---

double Seconds()
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct PassResult {
    double seconds;
    SIZE_T memoryGrowth;
    bool sorted;
};

bool IsSortedCorrectly(const std::wstring& folder)
{
    const std::wstring sample = folder + L"\\Artist 3\\Album 7\\track37.mp3";
    return GetFileAttributesW(sample.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs `procedure` on a worker thread over a fresh library in `folder` while
// this thread pumps messages, then removes the library.
PassResult TimePass(const std::wstring& folder, unsigned(__stdcall* procedure)(void*),
                    void* argument)
{
    const bool made = MakeLibrary(folder);
    ResetEvent(g_jobFinished);
    const SIZE_T before = PrivateBytes();
    const double start = Seconds();
    auto* thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, procedure, argument, 0, nullptr));
    const SIZE_T peak = PumpUntilFinished();
    const double seconds = Seconds() - start;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    const bool sorted = made && IsSortedCorrectly(folder);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return {seconds, peak - before, sorted};
}

// The plain loop, reporting to `dialog` (or to nobody), which it destroys.
PassResult TimeLoop(const std::wstring& folder, HWND dialog)
{
    PlainLoopInput input = {folder, dialog};
    const PassResult pass = TimePass(folder, PlainLoop, &input);
    DestroyWindow(dialog);
    return pass;
}

PassResult TimeSortWorker(const std::wstring& folder)
{
    wcscpy_s(g_jobFolder, folder.c_str());
    g_mainDialog = ShowProgramDialog();
    const PassResult pass = TimePass(folder, SortWorker, nullptr);
    DestroyWindow(g_mainDialog);
    return pass;
}

// The median time of a pass's rounds, with the most memory any round took.
PassResult Summarize(const std::vector<PassResult>& rounds)
{
    std::vector<double> seconds;
    PassResult summary = {0, 0, true};
    for (const PassResult& round : rounds) {
        seconds.push_back(round.seconds);
        summary.memoryGrowth = std::max(summary.memoryGrowth, round.memoryGrowth);
        summary.sorted = summary.sorted && round.sorted;
    }
    std::sort(seconds.begin(), seconds.end());
    summary.seconds = seconds[seconds.size() / 2];
    return summary;
}

void PrintPass(const char* label, const PassResult& pass)
{
    std::printf(
        "%-48s %7.0f files/s (%6.2f s), peak memory +%5.0f KiB = %4.0f bytes/file%s\n", label,
        kTotalFiles / pass.seconds, pass.seconds, static_cast<double>(pass.memoryGrowth) / 1024.0,
        static_cast<double>(pass.memoryGrowth) / kTotalFiles, pass.sorted ? "" : "  WRONG RESULT");
}

} // namespace

int main()
{
    g_jobFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    RegisterProgressBarClass();
    const TempFolder root(L"tunetidy-benchmark");
    const std::wstring folder = root / L"library";
    HWND probe = ShowProgramDialog();
    if (!probe) {
        std::printf("cannot create the dialog (no display?)\n");
        return 1;
    }
    DestroyWindow(probe);
    std::printf("%d MP3 files (%d tagged over %d artist/album pairs, %d untagged), "
                "%d alternating rounds, medians\n",
                kTotalFiles, kTaggedFiles, kArtists * kAlbumsPerArtist, kUntaggedFiles, kRounds);

    std::vector<PassResult> alone;
    std::vector<PassResult> toDialog;
    std::vector<PassResult> bySortWorker;
    std::vector<PassResult> toDroppingBar;
    for (int round = 0; round < kRounds; ++round) {
        alone.push_back(TimeLoop(folder, nullptr));
        toDialog.push_back(TimeLoop(folder, ShowProgramDialog()));
        bySortWorker.push_back(TimeSortWorker(folder));
        toDroppingBar.push_back(TimeLoop(folder, ShowDroppingDialog()));
    }
    const PassResult passA = Summarize(alone);
    const PassResult passB = Summarize(toDialog);
    const PassResult passC = Summarize(bySortWorker);
    const PassResult passD = Summarize(toDroppingBar);
    PrintPass("(a) file-system work alone", passA);
    PrintPass("(b) same loop + messages to the program's dialog", passB);
    PrintPass("(c) SortWorker to the program's dialog", passC);
    PrintPass("(d) same loop + messages to a bar that never paints", passD);
    std::printf("c/a = %.2f   c/b = %.2f   c/d = %.2f\n", passC.seconds / passA.seconds,
                passC.seconds / passB.seconds, passC.seconds / passD.seconds);
    return 0;
}
