#include "sort_job.h"

#include "bounded_path.h"
#include "id3v1_tag.h"
#include "mp3_scan.h"
#include "resource_ids.h"

#include <commctrl.h>
#include <cwchar>
#include <string>
#include <vector>

wchar_t g_jobFolder[MAX_PATH];
HWND g_mainDialog;

namespace {

// Recorded moves: entry i of both lists belongs to the same file.
struct MovePlan {
    std::vector<std::wstring> sources;
    std::vector<std::wstring> destinations;
};

void ShowStatus(const wchar_t* text)
{
    SendMessageW(g_mainDialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void SetProgressRange(HWND progressBar, size_t maximum)
{
    SendMessageW(progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
}

void SetProgressPosition(HWND progressBar, size_t position)
{
    SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// The job folder with exactly one trailing backslash (a drive root already
// has it).
bool BuildBaseFolder(wchar_t (&baseFolder)[MAX_PATH])
{
    const size_t length = wcslen(g_jobFolder);
    return FormatPath(baseFolder, g_jobFolder[length - 1] == L'\\' ? L"%ls" : L"%ls\\",
                      g_jobFolder);
}

// Windows creates no folder whose plain path has this many characters or
// more, keeping room below it for an 8.3 file name. A file bound for such a
// folder stays where it is, wherever the program runs (Wine would make it).
const size_t kFolderPathLimit = MAX_PATH - 12;

// Reads one file's tag, creates its artist and album folders and records its
// move. A file without a tag, or one with a path that would not fit, stays
// where it is and creates nothing.
void PlanMove(const wchar_t* baseFolder, const std::wstring& name, MovePlan& plan)
{
    wchar_t source[MAX_PATH];
    if (!FormatPath(source, L"%ls%ls", baseFolder, name.c_str()))
        return;
    const std::optional<TagFields> tag = ReadTagFields(source);
    if (!tag)
        return;

    const std::wstring artist = MakeFolderName(tag->artist, L"Unknown Artist");
    const std::wstring album = MakeFolderName(tag->album, L"Unknown Album");
    wchar_t artistFolder[MAX_PATH];
    wchar_t albumFolder[MAX_PATH];
    wchar_t destination[MAX_PATH];
    if (!FormatPath(artistFolder, L"%ls%ls", baseFolder, artist.c_str()) ||
        !FormatPath(albumFolder, L"%ls%ls\\%ls", baseFolder, artist.c_str(), album.c_str()) ||
        // The artist folder's path is the first part of the album folder's.
        wcslen(albumFolder) >= kFolderPathLimit ||
        !FormatPath(destination, L"%ls%ls\\%ls\\%ls", baseFolder, artist.c_str(), album.c_str(),
                    name.c_str()))
        return;

    // An existing folder serves as well as a new one.
    CreateDirectoryW(artistFolder, nullptr);
    CreateDirectoryW(albumFolder, nullptr);
    plan.sources.push_back(source);
    plan.destinations.push_back(destination);
}

} // namespace

unsigned __stdcall SortWorker(void*)
{
    if (g_jobFolder[0] == L'\0')
        return static_cast<unsigned>(-1);

    HWND progressBar = GetDlgItem(g_mainDialog, IDC_PROGRESS_BAR);
    wchar_t baseFolder[MAX_PATH];
    const bool baseFolderFits = BuildBaseFolder(baseFolder);

    ShowStatus(L"Scanning Directory");
    std::vector<std::wstring> names;
    FindFilesWithExtension(L"mp3", g_jobFolder, names);

    SetProgressRange(progressBar, names.size());
    ShowStatus(L"Scanning MP3 files");
    MovePlan plan;
    for (size_t i = 0; i < names.size(); ++i) {
        SetProgressPosition(progressBar, i);
        if (baseFolderFits)
            PlanMove(baseFolder, names[i], plan);
    }

    const size_t moveCount = plan.sources.size();
    SetProgressRange(progressBar, moveCount);
    ShowStatus(L"Moving MP3 files");
    for (size_t i = 0; i < moveCount; ++i) {
        SetProgressPosition(progressBar, i);
        // A move that fails (say, onto an existing file) leaves the file in
        // place; MoveFileW never overwrites.
        MoveFileW(plan.sources[i].c_str(), plan.destinations[i].c_str());
    }

    SetProgressPosition(progressBar, moveCount);
    ShowStatus(kProgramCaption);
    SetProgressPosition(progressBar, 0);
    SendMessageW(g_mainDialog, WM_SORTDONE, 0, 0);
    return 0;
}
