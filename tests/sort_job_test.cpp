#include "job_recorder.h"
#include "sort_job.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using Tree = std::set<std::wstring>;
using Events = std::vector<std::wstring>;

// What this process holds that a search left open would add to: handles, and
// busy blocks of the process heap, where the system keeps a search's state.
std::pair<DWORD, int> Holdings()
{
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    int blocks = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(GetProcessHeap());
    while (HeapWalk(GetProcessHeap(), &entry))
        blocks += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    HeapUnlock(GetProcessHeap());
    return {handles, blocks};
}

class SortJobTest : public ::testing::Test {
protected:
    // Writes a tagged MP3 file and remembers its bytes.
    void AddTagged(const std::wstring& name, const std::string& artist, const std::string& album,
                   char padding = '\0')
    {
        const std::string bytes = MakeMp3(MakeTag(artist, album, padding), ++m_seed);
        WriteBytes(folder / name, bytes);
        m_bytes[name] = bytes;
    }

    void ExpectBytes(const std::wstring& relativePath, const std::wstring& originalName)
    {
        EXPECT_EQ(ReadBytes(folder / relativePath), m_bytes[originalName]) << relativePath;
    }

    TempFolder folder;
    JobRecorder recorder;

private:
    int m_seed = 0;
    std::map<std::wstring, std::string> m_bytes;
};

TEST_F(SortJobTest, MovesTaggedFilesIntoArtistAndAlbumFolders)
{
    AddTagged(L"a.mp3", "Artist", "Album");
    AddTagged(L"b.MP3", "Artist", "Album", ' ');
    AddTagged(L"blank.mp3", "", "Solo");
    AddTagged(L"slash.mp3", "AC/DC", "");
    WriteBytes(folder / L"untagged.mp3", std::string(500, 'u'));
    WriteBytes(folder / L"tiny.mp3", "TAG");
    AddTagged(L"notes.txt", "Artist", "Album");
    AddTagged(L"hidden.mp3", "Artist", "Album");
    SetFileAttributesW((folder / L"hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
    MakeFolder(folder / L"sub");
    AddTagged(L"sub\\inner.mp3", "Artist", "Album");

    EXPECT_EQ(recorder.RunJob(folder.Path()), 0u);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(6, 4));
    EXPECT_EQ(
        ListTree(folder.Path()),
        (Tree{L"AC_DC/", L"AC_DC/Unknown Album/", L"AC_DC/Unknown Album/slash.mp3", L"Artist/",
              L"Artist/Album/", L"Artist/Album/a.mp3", L"Artist/Album/b.MP3", L"Unknown Artist/",
              L"Unknown Artist/Solo/", L"Unknown Artist/Solo/blank.mp3", L"hidden.mp3",
              L"notes.txt", L"sub/", L"sub/inner.mp3", L"tiny.mp3", L"untagged.mp3"}));
    ExpectBytes(L"Artist\\Album\\a.mp3", L"a.mp3");
    ExpectBytes(L"Artist\\Album\\b.MP3", L"b.MP3");
    ExpectBytes(L"Unknown Artist\\Solo\\blank.mp3", L"blank.mp3");
}

TEST_F(SortJobTest, FolderWithoutMp3FilesStillReportsEveryStatus)
{
    MakeFolder(folder / L"only a folder.mp3");
    AddTagged(L"hidden.mp3", "Artist", "Album");
    SetFileAttributesW((folder / L"hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);

    recorder.RunJob(folder.Path());

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(0, 0));
    EXPECT_EQ(ListTree(folder.Path()), (Tree{L"hidden.mp3", L"only a folder.mp3/"}));
}

TEST_F(SortJobTest, NeverOverwritesAnExistingDestination)
{
    MakeFolder(folder / L"Artist\\Album");
    WriteBytes(folder / L"Artist\\Album\\song.mp3", "the file already there");
    AddTagged(L"song.mp3", "Artist", "Album");
    AddTagged(L"next.mp3", "Artist", "Other");

    recorder.RunJob(folder.Path());

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(2, 2));
    EXPECT_EQ(ReadBytes(folder / L"Artist\\Album\\song.mp3"), "the file already there");
    ExpectBytes(L"song.mp3", L"song.mp3");
    ExpectBytes(L"Artist\\Other\\next.mp3", L"next.mp3");
}

TEST_F(SortJobTest, SecondJobPlansWhatIsStillInTheFolder)
{
    AddTagged(L"first.mp3", "Artist", "Album");
    WriteBytes(folder / L"untagged.mp3", std::string(300, 'u'));
    recorder.RunJob(folder.Path());
    recorder.TakeEvents();

    AddTagged(L"second.mp3", "Artist", "Album");
    recorder.RunJob(folder.Path());

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(2, 1));
    EXPECT_EQ(ListTree(folder.Path()),
              (Tree{L"Artist/", L"Artist/Album/", L"Artist/Album/first.mp3",
                    L"Artist/Album/second.mp3", L"untagged.mp3"}));

    // A job leaves nothing behind: what each left would add up over these.
    const int kJobs = 10;
    const auto [handlesBefore, blocksBefore] = Holdings();
    for (int i = 0; i < kJobs; ++i) {
        recorder.RunJob(folder.Path());
        recorder.TakeEvents();
    }
    const auto [handlesAfter, blocksAfter] = Holdings();
    EXPECT_LT(static_cast<int>(handlesAfter - handlesBefore), kJobs);
    EXPECT_LT(blocksAfter - blocksBefore, kJobs);
}

TEST_F(SortJobTest, FolderThatCannotBeOpenedShowsTheErrorBoxAndEndsNormally)
{
    recorder.RunJob(folder / L"missing");

    Events expected = ExpectedJobEvents(0, 0);
    expected.insert(expected.begin() + 1, L"message box \"Error!\"");
    EXPECT_EQ(recorder.TakeEvents(), expected);
}

TEST_F(SortJobTest, EmptyFolderEndsAtOnceWithoutAWord)
{
    EXPECT_EQ(recorder.RunJob(L""), static_cast<unsigned>(-1));
    EXPECT_TRUE(recorder.TakeEvents().empty());
}

TEST_F(SortJobTest, SortsFoldersAndFilesNamedBeyondLatin1)
{
    const std::wstring music = folder / L"\u041C\u0443\u0437\u044B\u043A\u0430 \u20AC";
    MakeFolder(music);
    const std::string bytes = MakeMp3(MakeTag("\xC9"
                                              "dith",
                                              "Album"));
    WriteBytes(music + L"\\\u6B4C.mp3", bytes);

    recorder.RunJob(music);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 1));
    EXPECT_EQ(ReadBytes(music + L"\\\u00C9dith\\Album\\\u6B4C.mp3"), bytes);
}

// A chain of folders below `root` whose full path is exactly `length`
// characters long.
std::wstring MakeFolderOfLength(const std::wstring& root, size_t length)
{
    std::wstring path = root;
    while (path.size() < length) {
        const size_t room = length - path.size() - 1;
        const size_t part = room > 200 ? 100 : room;
        path += L"\\" + std::wstring(part, L'd');
    }
    MakeFolder(path);
    return path;
}

TEST_F(SortJobTest, SkipsFilesWhosePathsWouldNotFit)
{
    const std::wstring deep = MakeFolderOfLength(folder.Path(), 200);
    const std::string longArtist(30, 'L');
    const std::string fits = MakeMp3(MakeTag("A", "B"));
    const std::string tooLong = MakeMp3(MakeTag(longArtist, std::string(30, 'M')));
    WriteBytes(deep + L"\\fits.mp3", fits);
    WriteBytes(deep + L"\\toolong.mp3", tooLong);

    recorder.RunJob(deep);

    // The destination of toolong.mp3 would need 268 characters.
    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(2, 1));
    EXPECT_EQ(ListTree(deep), (Tree{L"A/", L"A/B/", L"A/B/fits.mp3", L"toolong.mp3"}));
    EXPECT_EQ(ReadBytes(deep + L"\\toolong.mp3"), tooLong);
}

TEST_F(SortJobTest, FolderTooLongToScanCountsAsUnreadable)
{
    // 257 characters: the search pattern fits, but no source path does.
    const std::wstring scannable = MakeFolderOfLength(folder.Path(), 257);
    const std::string bytes = MakeMp3(MakeTag("A", "B"));
    WriteBytes(scannable + L"\\x.mp3", bytes);
    recorder.RunJob(scannable);
    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 0));
    EXPECT_EQ(ListTree(scannable), (Tree{L"x.mp3"}));

    // 258 characters: the search pattern itself would not fit.
    const std::wstring unscannable = scannable + L"e";
    MakeFolder(unscannable);
    WriteBytes(unscannable + L"\\x.mp3", bytes);
    recorder.RunJob(unscannable);
    Events expected = ExpectedJobEvents(0, 0);
    expected.insert(expected.begin() + 1, L"message box \"Error!\"");
    EXPECT_EQ(recorder.TakeEvents(), expected);
    EXPECT_EQ(ListTree(unscannable), (Tree{L"x.mp3"}));
}

// The test script maps T: to an empty scratch folder holding only this marker
// file (on Windows: subst T: to such a folder), so no real drive is touched.
TEST_F(SortJobTest, SortsADriveRoot)
{
    const std::wstring root = L"T:\\";
    ASSERT_NE(GetFileAttributesW(L"T:\\tunetidy-scratch-drive"), INVALID_FILE_ATTRIBUTES)
        << "T: is not mapped to a scratch folder";
    const std::string bytes = MakeMp3(MakeTag("Artist", "Album"));
    WriteBytes(root + L"song.mp3", bytes);

    recorder.RunJob(root);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 1));
    EXPECT_EQ(ListTree(root), (Tree{L"Artist/", L"Artist/Album/", L"Artist/Album/song.mp3",
                                    L"tunetidy-scratch-drive"}));
    EXPECT_EQ(ReadBytes(L"T:\\Artist\\Album\\song.mp3"), bytes);
    std::filesystem::remove_all(L"T:\\Artist");
}

} // namespace
