// Shows the real program at work, for `dev.sh run`. `sample_run <folder>
// <tracks>` makes the sample folder; `sample_run <folder>` chooses it in the
// folder browser, sorts it and exits, saving screenshots beside tunetidy.exe.
#include "program_driver.h"
#include "resource_ids.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <shellapi.h>

namespace {

std::wstring g_folder;
int g_tracks;

void WriteSong(const std::wstring& name, const std::string& artist, const std::string& album)
{
    EXPECT_TRUE(WriteBytes(g_folder + L"\\" + name, MakeMp3(MakeTag(artist, album)))) << name;
}

// A few songs that show the folder-name rules, one untagged song, and enough
// tracks of one album for the job to take a moment.
TEST(SampleRun, MakesTheSampleFolder)
{
    ASSERT_TRUE(MakeFolder(g_folder));
    WriteSong(L"01 Morning.mp3", "The Examples", "First Light");
    WriteSong(L"02 Noon.mp3", "The Examples", "First Light");
    WriteSong(L"03 Dusk.MP3", "The Examples", "Vol. 2");
    WriteSong(L"04 Rain.mp3", "AC/DC Tribute", "");
    WriteSong(L"05 Loose.mp3", "", "Odds and Ends");
    EXPECT_TRUE(WriteBytes(g_folder + L"\\06 Untagged.mp3", MakeMp3("")));
    // Numbered with four digits: Track 0001.mp3 and on.
    for (int track = 1; track <= g_tracks; ++track)
        WriteSong(L"Track " + std::to_wstring(10000 + track).substr(1) + L".mp3", "The Examples",
                  "Long Player");
}

TEST(SampleRun, SortsTheChosenFolder)
{
    ProgramDriver program;
    ASSERT_TRUE(program.Dialog());
    ASSERT_TRUE(program.ChooseFolder(g_folder));
    program.SaveScreenshot(L"sample-at-rest.png");

    program.Press(IDOK);
    ASSERT_TRUE(program.WaitForMovesPast(250));
    program.SaveScreenshot(L"sample-during-job.png");
    ASSERT_TRUE(program.WaitForJobEnd());
    program.SaveScreenshot(L"sample-after-job.png");

    program.Press(IDC_EXIT_BUTTON);
    EXPECT_EQ(program.WaitForExit(), 0);
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    g_folder = count > 1 ? arguments[1] : L"";
    g_tracks = count > 2 ? _wtoi(arguments[2]) : 0;
    LocalFree(static_cast<HLOCAL>(arguments));
    if (g_folder.empty()) {
        std::printf("usage: sample_run <folder> [<tracks> to make it]\n");
        return 2;
    }
    testing::GTEST_FLAG(filter) = count > 2 ? "*.MakesTheSampleFolder" : "*.SortsTheChosenFolder";
    return RUN_ALL_TESTS();
}
