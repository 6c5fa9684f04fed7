// Shows the real program at work, for `dev.sh run` on a machine without a
// desktop: chooses the folder named on the command line (a Linux path) in the
// folder browser, sorts it and exits, saving screenshots beside tunetidy.exe.
#include "program_driver.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

std::vector<std::wstring> g_foldersBelowRoot;

TEST(SampleRun, SortsTheChosenFolder)
{
    ASSERT_FALSE(g_foldersBelowRoot.empty()) << "usage: sample_run <Linux path of a folder>";
    ProgramDriver program;
    ASSERT_TRUE(program.Dialog());
    program.ChooseFolder(g_foldersBelowRoot);
    program.SaveScreenshot(L"sample-at-rest.png");

    program.Press(IDOK);
    ASSERT_TRUE(program.WaitForCaption(L"Moving MP3 files"));
    program.SaveScreenshot(L"sample-during-job.png");
    ASSERT_TRUE(program.WaitForJobEnd());
    program.SaveScreenshot(L"sample-after-job.png");

    program.Press(IDC_EXIT_BUTTON);
    EXPECT_EQ(program.WaitForExit(), 0);
}

// The folders from "/" down to `linuxPath`, one a level.
std::vector<std::wstring> FoldersBelowRoot(const std::wstring& linuxPath)
{
    std::vector<std::wstring> folders;
    size_t start = 0;
    for (size_t slash; (slash = linuxPath.find(L'/', start)) != std::wstring::npos;
         start = slash + 1)
        if (slash > start)
            folders.push_back(linuxPath.substr(start, slash - start));
    if (start < linuxPath.size())
        folders.push_back(linuxPath.substr(start));
    return folders;
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments && count > 1)
        g_foldersBelowRoot = FoldersBelowRoot(arguments[count - 1]);
    LocalFree(arguments);
    return RUN_ALL_TESTS();
}
