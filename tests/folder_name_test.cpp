#include "id3v1_tag.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <windows.h>

namespace {

TagField Field(const std::string& bytes)
{
    TagField field = {};
    bytes.copy(field.data(), 30);
    return field;
}

TEST(MakeFolderName, AppliesTheNamingRules)
{
    const std::pair<std::string, std::wstring> cases[] = {
        {"Salt/Pepper", L"Salt_Pepper"},
        {"Vol. 2", L"Vol_ 2"},
        {"Rock 'n' Roll", L"Rock _n_ Roll"},
        {"?/\\';*<>,|\":.", L"_____________"},
        {"=&!\x01-", L"=&!\x01-"},
        {"Trail.", L"Trail_"},
        {"  Lead", L"  Lead"},
        {"ABBA" + std::string(26, ' '), L"ABBA"},
        {"ABBA", L"ABBA"},
        {std::string(30, 'x'), std::wstring(30, L'x')},
        {"\xC9t\xE9\x80\xFF", L"\u00C9t\u00E9\u0080\u00FF"},
        // Text, its terminating zero, then bytes that are not spaces: the
        // trim stops at once, so the text keeps its trailing spaces.
        {"Text  " + std::string(1, '\0') + std::string(23, 'Z'), L"Text  "},
    };
    for (const auto& [field, expected] : cases)
        EXPECT_EQ(MakeFolderName(Field(field), L"Unknown Artist"), expected) << "field: " << field;
}

TEST(MakeFolderName, BlankFieldsTakeTheDefault)
{
    const std::string blanks[] = {
        "",
        std::string(30, ' '),
        "  ",
        " ",
        std::string(1, '\0') + "ignored",
        // One space, its terminating zero, then bytes the trim stops at.
        " " + std::string(1, '\0') + std::string(28, 'Z'),
    };
    for (const std::string& blank : blanks) {
        EXPECT_EQ(MakeFolderName(Field(blank), L"Unknown Album"), L"Unknown Album")
            << "field of " << blank.size() << " bytes";
    }
}

// A byte of a random field: half the time one the rules treat specially.
char RandomByte(std::mt19937& random)
{
    const char special[] = " \0.?/\\';*<>,|\":";
    return random() % 2 ? special[random() % (sizeof special - 1)]
                        : static_cast<char>(random() % 256);
}

// Every byte of the field random, the terminator's place included; a third
// of the fields start with spaces, up to the whole blank pattern.
TagField RandomField(std::mt19937& random)
{
    TagField field;
    for (char& byte : field)
        byte = RandomByte(random);
    if (random() % 3 == 0)
        std::fill_n(field.begin(), random() % 31, ' ');
    return field;
}

TEST(MakeFolderName, AnyFieldsGiveUsableNamesExactlyTwoFoldersDown)
{
    std::mt19937 random(20261207);
    const std::wstring chosen = L"C:\\Music\\Inbox";
    for (int pair = 0; pair < 100000; ++pair) {
        const std::wstring artist = MakeFolderName(RandomField(random), L"Unknown Artist");
        const std::wstring album = MakeFolderName(RandomField(random), L"Unknown Album");
        for (const std::wstring& name : {artist, album}) {
            ASSERT_FALSE(name.empty()) << "pair " << pair;
            ASSERT_LE(name.size(), 30u) << "pair " << pair;
            ASSERT_NE(name, L" ") << "pair " << pair;
            ASSERT_EQ(name.find_first_of(L"?/\\';*<>,|\":."), std::wstring::npos)
                << "pair " << pair;
        }

        // Resolved as Windows resolves a path: still below the chosen folder,
        // in exactly two folders.
        const std::wstring destination = chosen + L"\\" + artist + L"\\" + album + L"\\song.mp3";
        wchar_t resolved[MAX_PATH] = L"";
        ASSERT_LT(GetFullPathNameW(destination.c_str(), MAX_PATH, resolved, nullptr),
                  DWORD{MAX_PATH});
        const std::wstring path = resolved;
        ASSERT_EQ(path.compare(0, chosen.size() + 1, chosen + L"\\"), 0) << "pair " << pair;
        const std::wstring below = path.substr(chosen.size());
        ASSERT_EQ(std::count(below.begin(), below.end(), L'\\'), 3) << "pair " << pair;
        ASSERT_EQ(below.substr(below.size() - 9), L"\\song.mp3") << "pair " << pair;
    }
}

TEST(ReadTagFieldsTest, ReadsTheFieldsOfTheLast128Bytes)
{
    const TempFolder folder;
    ASSERT_TRUE(
        WriteBytes(folder / L"song.mp3", MakeMp3(MakeTag(std::string(30, 'A'), "Album", ' '))));

    const std::optional<TagFields> fields = ReadTagFields(folder / L"song.mp3");
    ASSERT_TRUE(fields);
    EXPECT_EQ(std::string(fields->title.data()), "Some Title" + std::string(20, ' '));
    EXPECT_EQ(std::string(fields->artist.data()), std::string(30, 'A'));
    EXPECT_EQ(fields->artist[30], '\0');
    EXPECT_EQ(std::string(fields->album.data()), "Album" + std::string(25, ' '));
}

TEST(ReadTagFieldsTest, NeedsAFullTagWithItsMarker)
{
    const TempFolder folder;
    const std::string tag = MakeTag("Artist", "Album");
    ASSERT_TRUE(WriteBytes(folder / L"exact.mp3", tag));
    ASSERT_TRUE(WriteBytes(folder / L"short.mp3", tag.substr(0, 127)));
    ASSERT_TRUE(WriteBytes(folder / L"lower.mp3", "tag" + tag.substr(3)));
    ASSERT_TRUE(WriteBytes(folder / L"none.mp3", std::string(4000, 'x')));
    ASSERT_TRUE(WriteBytes(folder / L"empty.mp3", ""));

    EXPECT_TRUE(ReadTagFields(folder / L"exact.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"short.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"lower.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"none.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"empty.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"missing.mp3"));
}

TEST(ReadTagFieldsTest, ReadsAnyFileNameEvenWhileAnotherProgramWritesTheFile)
{
    const TempFolder folder;
    const std::wstring path = folder / L"\u0416\u6B4C \u20AC.mp3";
    ASSERT_TRUE(WriteBytes(path, MakeMp3(MakeTag("Artist", "Album"))));
    HANDLE writer =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    const std::optional<TagFields> fields = ReadTagFields(path);
    CloseHandle(writer);
    ASSERT_TRUE(fields);
    EXPECT_EQ(std::string(fields->artist.data()), "Artist");
}

} // namespace
