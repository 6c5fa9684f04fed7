#include "planted_dll.h"
#include "program_driver.h"
#include "resource_ids.h"
#include "system_dlls.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <process.h>

namespace {

using Captions = std::vector<std::wstring>;

const Captions kJobCaptions = {kScanningFolderCaption, kScanningFilesCaption, kMovingFilesCaption,
                               kRestingCaption};

// A dialog's client size and its progress bar's, as this process sees them.
std::vector<LONG> Layout(HWND dialog)
{
    RECT client = {};
    RECT bar = {};
    GetClientRect(dialog, &client);
    GetClientRect(GetDlgItem(dialog, IDC_PROGRESS_BAR), &bar);
    return {client.right, client.bottom, bar.right, bar.bottom};
}

// Laid out at the display's scale, as this per-monitor aware test program
// lays the template out. Wine 8 takes every program as per-monitor aware, so
// only Wine 10 and Windows can fail the awareness.
TEST(Program, GuidesAFirstTimeUser)
{
    ProgramDriver program;
    ASSERT_TRUE(program.Dialog());
    EXPECT_EQ(program.Caption(), kRestingCaption);
    EXPECT_EQ(program.FolderField(), L"");
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(program.Dialog())),
              DPI_AWARENESS_PER_MONITOR_AWARE);
    RegisterProgressBarClass();
    HWND laidOut = ShowTemplateDialog(InertDialogProc, 400);
    EXPECT_EQ(Layout(program.Dialog()), Layout(laidOut));
    DestroyWindow(laidOut);

    program.Press(IDOK);
    EXPECT_EQ(program.DismissMessageBox(L"Empty!"), L"Please select a Directory");

    program.Press(IDC_HELP_BUTTON);
    const std::wstring directions =
        L"Directions:\r\n\r\n1. Select Directory\r\n2. Click Ok\r\n\r\n";
    const std::wstring help = program.DismissMessageBox(L"Instructions");
    EXPECT_EQ(help.substr(0, directions.size()), directions);
    EXPECT_GT(help.size(), directions.size()) << "the closing paragraph is missing";

    program.CancelFolderBrowser();
    EXPECT_EQ(program.FolderField(), L"");
    program.Press(IDOK);
    EXPECT_EQ(program.DismissMessageBox(L"Empty!"), L"Please select a Directory");

    program.Press(IDC_EXIT_BUTTON);
    EXPECT_EQ(program.WaitForExit(), 0);
}

// A music folder in the build folder: the folder browser surely reaches it,
// which it might not through the hidden AppData folder that holds the
// temporary folder on Windows.
TempFolder MusicFolder()
{
    return TempFolder(L"tunetidy-e2e", BuildFolder());
}

// Enough songs for every phase of a job to stay in the caption for many polls.
const int kSongsPerJob = 200;

bool AddSongs(const TempFolder& music, const std::wstring& prefix, const std::string& artist)
{
    bool written = true;
    for (int i = 0; written && i < kSongsPerJob; ++i)
        written = WriteBytes(music / (prefix + std::to_wstring(i) + L".mp3"),
                             MakeMp3(MakeTag(artist, "Album"), i));
    return written;
}

bool AllSongsMoved(const TempFolder& music, const std::wstring& prefix, const std::wstring& artist)
{
    for (int i = 0; i < kSongsPerJob; ++i)
        if (!std::filesystem::exists(
                music / (artist + L"\\Album\\" + prefix + std::to_wstring(i) + L".mp3")))
            return false;
    return true;
}

// Unpacked where a Windows user might put it: a folder named with spaces and
// characters beyond Latin-1, such as Downloads, where a stranger's
// comctl32.dll lies beside it. Wine prefers its own DLLs to one beside a
// program; told to prefer the one on disk for comctl32 in any tunetidy.exe, it
// searches the program's folder first, as Windows does for every DLL that is
// not a KnownDLL.
class UnpackedProgram : public TempFolder {
public:
    UnpackedProgram() : TempFolder(L"M\u00FCsik W\u00E9rkzeug \u266B")
    {
        EXPECT_TRUE(CopyFileW(BuiltProgram().c_str(), Program().c_str(), TRUE));
        EXPECT_TRUE(CopyFileW((BuildFolder() + L"\\tests\\planted\\comctl32.dll").c_str(),
                              (*this / L"comctl32.dll").c_str(), TRUE));
        if (RunningUnderWine()) {
            const std::wstring overrides = std::wstring(kAppDefaults) + L"\\DllOverrides";
            EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, overrides.c_str(), L"comctl32", REG_SZ,
                                      L"native,builtin", sizeof L"native,builtin"),
                      ERROR_SUCCESS);
        }
    }
    ~UnpackedProgram() { RegDeleteTreeW(HKEY_CURRENT_USER, kAppDefaults); }

    std::wstring Program() const { return *this / L"tunetidy.exe"; }
    bool PlantedDllRan() const { return std::filesystem::exists(*this / kPlantedDllMarker); }

private:
    static constexpr const wchar_t* kAppDefaults = L"Software\\Wine\\AppDefaults\\tunetidy.exe";
};

TEST(Program, SortsTheChosenFolderAgainAndAgainWhateverLiesBesideIt)
{
    TempFolder music = MusicFolder();
    ASSERT_TRUE(AddSongs(music, L"first", "Artist"));
    ASSERT_TRUE(WriteBytes(music / L"untagged.mp3", std::string(400, 'u')));
    ASSERT_TRUE(MakeFolder(music / L"other"));
    // Other files make the scan itself last long enough to be seen.
    for (int i = 0; i < 1500; ++i)
        ASSERT_TRUE(WriteBytes(music / (L"note" + std::to_wstring(i) + L".txt"), "x"));

    UnpackedProgram unpacked;
    ProgramDriver program(unpacked.Program());
    EXPECT_FALSE(unpacked.PlantedDllRan()) << "at start-up";
    ASSERT_TRUE(program.Dialog());
    ASSERT_TRUE(program.ChooseFolder(music.Path()));

    program.Press(IDOK);
    ASSERT_EQ(program.WatchJobCaptions(), kJobCaptions);
    EXPECT_TRUE(AllSongsMoved(music, L"first", L"Artist"));
    EXPECT_TRUE(std::filesystem::exists(music / L"untagged.mp3"));

    ASSERT_TRUE(AddSongs(music, L"second", "Later"));
    program.Press(IDOK);
    ASSERT_EQ(program.WatchJobCaptions(), kJobCaptions);
    EXPECT_TRUE(AllSongsMoved(music, L"second", L"Later"));

    program.CancelFolderBrowser();
    EXPECT_TRUE(program.ShowsFolder(music.Path())) << "Cancel keeps the earlier choice";

    // With its folder gone, the job waits on the scan's error box: OK now
    // meets a job in progress.
    ASSERT_TRUE(RemoveFolder(music.Path()));
    program.Press(IDOK);
    ASSERT_TRUE(program.WaitForCaption(kScanningFolderCaption));
    program.Press(IDOK);
    EXPECT_EQ(program.DismissMessageBox(L"Please wait"), L"Processing still in progress");
    EXPECT_EQ(program.DismissMessageBox(kFolderErrorCaption), L"Error!");
    EXPECT_TRUE(program.WaitForCaption(kRestingCaption)) << "the job ends after the error box";

    program.Press(IDC_EXIT_BUTTON);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_FALSE(unpacked.PlantedDllRan()) << "during the run";
}

TEST(Program, WorksFromTheKeyboardAlone)
{
    TempFolder music = MusicFolder();
    ASSERT_TRUE(AddSongs(music, L"keyed", "Keys"));
    ProgramDriver program;
    ASSERT_TRUE(program.Dialog());
    if (!program.BringToFront())
        GTEST_SKIP() << "Windows keeps another window in front: keys typed would reach that one";
    ASSERT_TRUE(program.WaitForFocus(IDOK));

    // Round the tab stops in template order, and back.
    for (int control :
         {IDC_EXIT_BUTTON, IDC_DIR_EDIT, IDC_CHOOSE_DIR_BUTTON, IDC_HELP_BUTTON, IDOK})
        ASSERT_TRUE(program.TypeKey(VK_TAB) && program.WaitForFocus(control))
            << "Tab towards control " << control;
    for (int control :
         {IDC_HELP_BUTTON, IDC_CHOOSE_DIR_BUTTON, IDC_DIR_EDIT, IDC_EXIT_BUTTON, IDOK})
        ASSERT_TRUE(program.TypeKey(VK_TAB, VK_SHIFT) && program.WaitForFocus(control))
            << "Shift+Tab towards control " << control;

    // Escape does nothing: the next key meets the dialog as it was.
    ASSERT_TRUE(program.TypeKey(VK_ESCAPE) && program.TypeKey(VK_TAB));
    ASSERT_TRUE(program.WaitForFocus(IDC_EXIT_BUTTON));
    EXPECT_EQ(program.Caption(), kRestingCaption);

    // A whole job: Choose Directory by Space, the folder confirmed in the
    // browser, OK by Enter, and Alt+F4 to leave.
    ASSERT_TRUE(program.TypeKey(VK_TAB) && program.TypeKey(VK_TAB));
    ASSERT_TRUE(program.WaitForFocus(IDC_CHOOSE_DIR_BUTTON));
    ASSERT_TRUE(program.TypeKey(VK_SPACE));
    ASSERT_TRUE(program.ChooseFolderInBrowser(music.Path()));
    ASSERT_TRUE(program.WaitForFocus(IDC_CHOOSE_DIR_BUTTON));
    ASSERT_TRUE(program.TypeKey(VK_TAB) && program.TypeKey(VK_TAB));
    ASSERT_TRUE(program.WaitForFocus(IDOK));
    ASSERT_TRUE(program.TypeKey(VK_RETURN));
    ASSERT_TRUE(program.WaitForJobEnd());
    EXPECT_TRUE(AllSongsMoved(music, L"keyed", L"Keys"));
    ASSERT_TRUE(program.TypeKey(VK_F4, VK_MENU));
    EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(Program, ClosingDuringAJobLosesNoFile)
{
    TempFolder music = MusicFolder();
    std::vector<std::string> contents;
    for (int i = 0; i < 1500; ++i) {
        contents.push_back(MakeMp3(MakeTag("Artist", "Album " + std::to_string(i % 30)), i));
        ASSERT_TRUE(WriteBytes(music / (L"song" + std::to_wstring(i) + L".mp3"), contents.back()));
    }

    ProgramDriver program;
    ASSERT_TRUE(program.Dialog());
    ASSERT_TRUE(program.ChooseFolder(music.Path()));
    program.Press(IDOK);
    ASSERT_TRUE(program.WaitForMovesPast(300));
    program.SaveScreenshot(L"during-job.png");
    program.CloseWindow();
    EXPECT_EQ(program.WaitForExit(), 0);

    // Every file is whole, in exactly one place: still waiting or moved.
    int moved = 0;
    for (int i = 0; i < 1500; ++i) {
        const std::wstring name = L"song" + std::to_wstring(i) + L".mp3";
        const std::wstring destination =
            music / (L"Artist\\Album " + std::to_wstring(i % 30) + L"\\" + name);
        const bool atSource = std::filesystem::exists(music / name);
        const bool atDestination = std::filesystem::exists(destination);
        ASSERT_NE(atSource, atDestination) << "song" << i;
        EXPECT_EQ(ReadBytes(atSource ? music / name : destination), contents[i]) << "song" << i;
        moved += atDestination;
    }
    std::printf("closed after %d of 1500 moves\n", moved);
}

// Wine takes the display's scale from a setting as each program starts: the
// tests of the layout and of the bar's pictures run again in new processes at
// each usual scale, and the setting is put back. No test changes Windows'.
TEST(Program, IsLaidOutAndDrawnAtEveryUsualDisplayScale)
{
    if (!RunningUnderWine())
        GTEST_SKIP() << "on Windows the tests run at the desktop's scale only";
    const wchar_t desktop[] = L"Control Panel\\Desktop";
    DWORD before = 96;
    DWORD size = sizeof before;
    RegGetValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &before,
                 &size);
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (DWORD dpi : {120UL, 144UL, 192UL, before}) {
        ASSERT_EQ(
            RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"LogPixels", REG_DWORD, &dpi, sizeof dpi),
            ERROR_SUCCESS);
        if (dpi != before) {
            EXPECT_EQ(_wspawnl(_P_WAIT, self, self,
                               L"--gtest_filter=ProgressBars.*:Program.GuidesAFirstTimeUser",
                               nullptr),
                      0)
                << "at " << dpi << " dpi";
        }
    }
}

} // namespace
