#include "mp3_scan.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <windows.h>

namespace {

TEST(HasExtension, LooksAtTheLastThreeCharactersOnly)
{
    EXPECT_TRUE(HasExtension(L"song.mp3", L"mp3"));
    EXPECT_TRUE(HasExtension(L"SONG.MP3", L"mp3"));
    EXPECT_TRUE(HasExtension(L"Song.Mp3", L"mp3"));
    EXPECT_TRUE(HasExtension(L"trackmp3", L"mp3"));
    EXPECT_TRUE(HasExtension(L"xmp3", L"mp3"));
    EXPECT_FALSE(HasExtension(L"mp3", L"mp3"));
    EXPECT_FALSE(HasExtension(L"song.mp3.bak", L"mp3"));
    EXPECT_FALSE(HasExtension(L"song.mp4", L"mp3"));
    EXPECT_EQ(GetExtension(L"abc"), L"");
    EXPECT_EQ(GetExtension(L"\u00C9.\u00C9P3"), L"\u00C9p3");
}

TEST(FindFilesWithExtension, ListsVisiblePlainFilesDirectlyInsideTheFolder)
{
    TempFolder folder;
    const std::string bytes = MakeMp3(MakeTag("A", "B"));
    for (const wchar_t* name : {L"a.mp3", L"B.MP3", L"trackmp3", L"song.mp3.bak", L"mp3",
                                L"hidden.mp3", L"system.mp3", L"notes.txt"})
        ASSERT_TRUE(WriteBytes(folder / name, bytes));
    SetFileAttributesW((folder / L"hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((folder / L"system.mp3").c_str(), FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(MakeFolder(folder / L"folder.mp3"));
    ASSERT_TRUE(MakeFolder(folder / L"sub"));
    ASSERT_TRUE(WriteBytes(folder / L"sub\\inner.mp3", bytes));

    const std::vector<std::wstring> expected = {L"B.MP3", L"a.mp3", L"trackmp3"};
    std::vector<std::wstring> names = {L"left over from before"};
    FindFilesWithExtension(L"mp3", folder.Path(), names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);

    FindFilesWithExtension(L"mp3", folder.Path() + L"\\", names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected) << "folder given with a trailing backslash";
}

} // namespace
