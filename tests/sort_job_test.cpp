#include "job_recorder.h"
#include "sort_job.h"
#include "test_files.h"

#include <gtest/gtest.h>

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
    [[nodiscard]] bool AddTagged(const std::wstring& name, const std::string& artist,
                                 const std::string& album, char padding = '\0')
    {
        m_bytes[name] = MakeMp3(MakeTag(artist, album, padding), ++m_seed);
        return WriteBytes(folder / name, m_bytes[name]);
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
    ASSERT_TRUE(AddTagged(L"a.mp3", "Artist", "Album"));
    ASSERT_TRUE(AddTagged(L"b.MP3", "Artist", "Album", ' '));
    ASSERT_TRUE(AddTagged(L"blank.mp3", "", "Solo"));
    ASSERT_TRUE(AddTagged(L"slash.mp3", "AC/DC", ""));
    ASSERT_TRUE(WriteBytes(folder / L"untagged.mp3", std::string(500, 'u')));
    ASSERT_TRUE(WriteBytes(folder / L"tiny.mp3", "TAG"));
    ASSERT_TRUE(AddTagged(L"notes.txt", "Artist", "Album"));
    ASSERT_TRUE(AddTagged(L"hidden.mp3", "Artist", "Album"));
    SetFileAttributesW((folder / L"hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(MakeFolder(folder / L"sub"));
    ASSERT_TRUE(AddTagged(L"sub\\inner.mp3", "Artist", "Album"));

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
    ASSERT_TRUE(MakeFolder(folder / L"only a folder.mp3"));
    ASSERT_TRUE(AddTagged(L"hidden.mp3", "Artist", "Album"));
    SetFileAttributesW((folder / L"hidden.mp3").c_str(), FILE_ATTRIBUTE_HIDDEN);

    recorder.RunJob(folder.Path());

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(0, 0));
    EXPECT_EQ(ListTree(folder.Path()), (Tree{L"hidden.mp3", L"only a folder.mp3/"}));
}

TEST_F(SortJobTest, NeverOverwritesAnExistingDestination)
{
    ASSERT_TRUE(MakeFolder(folder / L"Artist\\Album"));
    ASSERT_TRUE(WriteBytes(folder / L"Artist\\Album\\song.mp3", "the file already there"));
    ASSERT_TRUE(AddTagged(L"song.mp3", "Artist", "Album"));
    ASSERT_TRUE(AddTagged(L"next.mp3", "Artist", "Other"));

    recorder.RunJob(folder.Path());

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(2, 2));
    EXPECT_EQ(ReadBytes(folder / L"Artist\\Album\\song.mp3"), "the file already there");
    ExpectBytes(L"song.mp3", L"song.mp3");
    ExpectBytes(L"Artist\\Other\\next.mp3", L"next.mp3");
}

TEST_F(SortJobTest, SecondJobPlansWhatIsStillInTheFolder)
{
    ASSERT_TRUE(AddTagged(L"first.mp3", "Artist", "Album"));
    ASSERT_TRUE(WriteBytes(folder / L"untagged.mp3", std::string(300, 'u')));
    recorder.RunJob(folder.Path());
    recorder.TakeEvents();

    ASSERT_TRUE(AddTagged(L"second.mp3", "Artist", "Album"));
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
    ASSERT_TRUE(MakeFolder(music));
    const std::string bytes = MakeMp3(MakeTag("\xC9"
                                              "dith",
                                              "Album"));
    ASSERT_TRUE(WriteBytes(music + L"\\\u6B4C.mp3", bytes));

    recorder.RunJob(music);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 1));
    EXPECT_EQ(ReadBytes(music + L"\\\u00C9dith\\Album\\\u6B4C.mp3"), bytes);
}

// A chain of folders below `root` whose full path is exactly `length`
// characters long.
std::wstring PathOfLength(const std::wstring& root, size_t length)
{
    std::wstring path = root;
    while (path.size() < length) {
        const size_t room = length - path.size() - 1;
        const size_t part = room > 200 ? 100 : room;
        path += L"\\" + std::wstring(part, L'd');
    }
    return path;
}

TEST_F(SortJobTest, SkipsFilesWhosePathsWouldNotFit)
{
    // The album folder of fits.mp3 has 247 characters, the most that Windows
    // creates, that of edge.mp3 would have 248; the destination of
    // toolong.mp3 would need 317.
    const std::wstring deep = PathOfLength(folder.Path(), 243);
    ASSERT_TRUE(MakeFolder(deep));
    const std::string fits = MakeMp3(MakeTag("A", "B"));
    const std::string edge = MakeMp3(MakeTag("AB", "B"));
    const std::string tooLong = MakeMp3(MakeTag(std::string(30, 'L'), std::string(30, 'M')));
    ASSERT_TRUE(WriteBytes(deep + L"\\fits.mp3", fits));
    ASSERT_TRUE(WriteBytes(deep + L"\\edge.mp3", edge));
    ASSERT_TRUE(WriteBytes(deep + L"\\toolong.mp3", tooLong));

    recorder.RunJob(deep);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(3, 1));
    EXPECT_EQ(ListTree(deep), (Tree{L"A/", L"A/B/", L"A/B/fits.mp3", L"edge.mp3", L"toolong.mp3"}));
    EXPECT_EQ(ReadBytes(deep + L"\\edge.mp3"), edge);
    EXPECT_EQ(ReadBytes(deep + L"\\toolong.mp3"), tooLong);
}

TEST_F(SortJobTest, FolderTooLongToScanCountsAsUnreadable)
{
    // 257 characters: the search pattern fits, but no source path does.
    const std::wstring scannable = PathOfLength(folder.Path(), 257);
    ASSERT_TRUE(MakeFolder(scannable));
    const std::string bytes = MakeMp3(MakeTag("A", "B"));
    ASSERT_TRUE(WriteBytes(scannable + L"\\x.mp3", bytes));
    recorder.RunJob(scannable);
    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 0));
    EXPECT_EQ(ListTree(scannable), (Tree{L"x.mp3"}));

    // 258 characters: the search pattern itself would not fit.
    const std::wstring unscannable = scannable + L"e";
    ASSERT_TRUE(MakeFolder(unscannable));
    ASSERT_TRUE(WriteBytes(unscannable + L"\\x.mp3", bytes));
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
    ASSERT_TRUE(WriteBytes(root + L"song.mp3", bytes));

    recorder.RunJob(root);

    EXPECT_EQ(recorder.TakeEvents(), ExpectedJobEvents(1, 1));
    EXPECT_EQ(ListTree(root), (Tree{L"Artist/", L"Artist/Album/", L"Artist/Album/song.mp3",
                                    L"tunetidy-scratch-drive"}));
    EXPECT_EQ(ReadBytes(L"T:\\Artist\\Album\\song.mp3"), bytes);
    EXPECT_TRUE(RemoveFolder(L"T:\\Artist"));
}

} // namespace
