// Times a sort job over a large library three ways, each on a fresh identical
// copy of the same folder:
//   (a) the file-system work of a job alone, in a plain loop;
//   (b) the same loop also sending every status and progress message to a
//       real, visible dialog whose thread pumps messages;
//   (c) a real job: SortWorker on a worker thread, reporting to that dialog.
// c/b shows what the engine adds beyond the work and reporting it must do.
#include "id3v1_tag.h"
#include "mp3_scan.h"
#include "resource_ids.h"
#include "sort_job.h"

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

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Field(const std::string& text)
{
    std::string field = text;
    field.resize(30, '\0');
    return field;
}

// 20,000 tagged files over 200 artist and album pairs, and 2,000 untagged
// ones, each of 1 KiB.
void MakeLibrary(const std::wstring& folder)
{
    std::filesystem::create_directories(folder);
    const std::string audio(896, '\x55');
    for (int i = 0; i < kTaggedFiles; ++i) {
        const int pair = i % (kArtists * kAlbumsPerArtist);
        const std::string tag = "TAG" + Field("Track " + std::to_string(i)) +
                                Field("Artist " + std::to_string(pair / kAlbumsPerArtist)) +
                                Field("Album " + std::to_string(pair % kAlbumsPerArtist)) +
                                std::string(35, '\0');
        WriteFileBytes(folder + L"\\track" + std::to_wstring(i) + L".mp3", audio + tag);
    }
    for (int i = 0; i < kUntaggedFiles; ++i)
        WriteFileBytes(folder + L"\\untagged" + std::to_wstring(i) + L".mp3",
                       audio + std::string(128, '\0'));
}

// --- Reporting target: the program's own dialog template, shown. ---

HANDLE g_jobFinished;

INT_PTR CALLBACK BenchmarkDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    if (message == WM_SORTDONE)
        SetEvent(g_jobFinished);
    return message == WM_INITDIALOG;
}

HWND CreateReportingDialog()
{
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     BenchmarkDialogProc, 0);
    ShowWindow(dialog, SW_SHOW);
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
    while (MsgWaitForMultipleObjects(1, &g_jobFinished, FALSE, 10, QS_ALLINPUT) != WAIT_OBJECT_0) {
        if (GetTickCount() - lastSample >= 10) {
            peak = std::max(peak, PrivateBytes());
            lastSample = GetTickCount();
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return std::max(peak, PrivateBytes());
}

// --- Pass (a) and (b): the job's work written as a plain loop. ---

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

    ReportStatus(dialog, L"Scanning Directory");
    std::vector<std::wstring> names;
    FindFilesWithExtension(L"mp3", input->folder, names);
    Report(progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(names.size()));
    ReportStatus(dialog, L"Scanning MP3 files");

    std::vector<std::wstring> sources, destinations;
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
    ReportStatus(dialog, L"Moving MP3 files");
    for (size_t i = 0; i < sources.size(); ++i) {
        Report(progressBar, PBM_SETPOS, i, 0);
        MoveFileW(sources[i].c_str(), destinations[i].c_str());
    }
    Report(progressBar, PBM_SETPOS, sources.size(), 0);
    ReportStatus(dialog, L"MP3 Tunetidy Utility");
    Report(progressBar, PBM_SETPOS, 0, 0);
    SetEvent(g_jobFinished);
    return 0;
}

// --- Measuring ---

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct PassResult {
    double seconds;
    SIZE_T memoryGrowth;
};

// Runs `procedure` on a worker thread over a fresh library in `folder` while
// this thread pumps messages.
PassResult TimePass(const std::wstring& folder, unsigned(__stdcall* procedure)(void*),
                    void* argument)
{
    MakeLibrary(folder);
    ResetEvent(g_jobFinished);
    const SIZE_T before = PrivateBytes();
    const double start = Seconds();
    auto thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, procedure, argument, 0, nullptr));
    const SIZE_T peak = PumpUntilFinished();
    const double seconds = Seconds() - start;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return {seconds, peak - before};
}

bool IsSortedCorrectly(const std::wstring& folder)
{
    const std::wstring sample = folder + L"\\Artist 3\\Album 7\\track37.mp3";
    return GetFileAttributesW(sample.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PrintPass(const char* label, const PassResult& pass, bool sorted)
{
    std::printf("%-44s %7.0f files/s (%6.2f s), peak memory +%5.0f KiB = %4.0f bytes/file%s\n",
                label, kTotalFiles / pass.seconds, pass.seconds, pass.memoryGrowth / 1024.0,
                static_cast<double>(pass.memoryGrowth) / kTotalFiles,
                sorted ? "" : "  WRONG RESULT");
}

} // namespace

int main()
{
    g_jobFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() /
        (L"tunetidy-benchmark-" + std::to_wstring(GetCurrentProcessId()));
    const std::wstring folderA = (root / L"a").wstring();
    const std::wstring folderB = (root / L"b").wstring();
    const std::wstring folderC = (root / L"c").wstring();
    HWND dialog = CreateReportingDialog();
    if (!dialog) {
        std::printf("cannot create the dialog (no display?)\n");
        return 1;
    }
    std::printf("%d MP3 files (%d tagged over %d artist/album pairs, %d untagged)\n", kTotalFiles,
                kTaggedFiles, kArtists * kAlbumsPerArtist, kUntaggedFiles);

    PlainLoopInput bare = {folderA, nullptr};
    const PassResult a = TimePass(folderA, PlainLoop, &bare);
    PlainLoopInput reported = {folderB, dialog};
    const PassResult b = TimePass(folderB, PlainLoop, &reported);
    wcscpy_s(g_jobFolder, folderC.c_str());
    g_mainDialog = dialog;
    const PassResult c = TimePass(folderC, SortWorker, nullptr);

    PrintPass("(a) file-system work alone", a, IsSortedCorrectly(folderA));
    PrintPass("(b) same loop + messages to a real dialog", b, IsSortedCorrectly(folderB));
    PrintPass("(c) SortWorker to the same dialog", c, IsSortedCorrectly(folderC));
    std::printf("c/a = %.2f   c/b = %.2f\n", c.seconds / a.seconds, c.seconds / b.seconds);

    DestroyWindow(dialog);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
