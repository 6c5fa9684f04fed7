// Shows the real program at work, for `dev.sh run` on a machine without a
// desktop: chooses the folder named on the command line in the folder
// browser, sorts it and exits, saving screenshots beside tunetidy.exe.
#include "program_driver.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

std::wstring g_folder;

TEST(SampleRun, SortsTheChosenFolder)
{
    ASSERT_FALSE(g_folder.empty()) << "usage: sample_run <folder>";
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
    if (arguments && count > 1)
        g_folder = arguments[count - 1];
    LocalFree(static_cast<HLOCAL>(arguments));
    return RUN_ALL_TESTS();
}
