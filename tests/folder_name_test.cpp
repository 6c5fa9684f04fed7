#include "id3v1_tag.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TagField Field(const std::string& bytes)
{
    TagField field = {};
    bytes.copy(field.data(), 30);
    return field;
}

struct NamingCase {
    std::string field;
    std::wstring expected;
};

TEST(MakeFolderName, AppliesTheNamingRules)
{
    const NamingCase cases[] = {
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
    for (const NamingCase& naming : cases)
        EXPECT_EQ(MakeFolderName(Field(naming.field), L"Unknown Artist"), naming.expected)
            << "field: " << naming.field;
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

class ReadTagFieldsTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(ReadTagFieldsTest, ReadsTheFieldsOfTheLast128Bytes)
{
    WriteBytes(folder / L"song.mp3", MakeMp3(MakeTag(std::string(30, 'A'), "Album", ' ')));

    const std::optional<TagFields> fields = ReadTagFields(folder / L"song.mp3");
    ASSERT_TRUE(fields);
    EXPECT_EQ(std::string(fields->title.data()), "Some Title" + std::string(20, ' '));
    EXPECT_EQ(std::string(fields->artist.data()), std::string(30, 'A'));
    EXPECT_EQ(fields->artist[30], '\0');
    EXPECT_EQ(std::string(fields->album.data()), "Album" + std::string(25, ' '));
}

TEST_F(ReadTagFieldsTest, NeedsAFullTagWithItsMarker)
{
    const std::string tag = MakeTag("Artist", "Album");
    WriteBytes(folder / L"exact.mp3", tag);
    WriteBytes(folder / L"short.mp3", tag.substr(0, 127));
    WriteBytes(folder / L"lower.mp3", "tag" + tag.substr(3));
    WriteBytes(folder / L"none.mp3", std::string(4000, 'x'));
    WriteBytes(folder / L"empty.mp3", "");

    EXPECT_TRUE(ReadTagFields(folder / L"exact.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"short.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"lower.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"none.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"empty.mp3"));
    EXPECT_FALSE(ReadTagFields(folder / L"missing.mp3"));
}

TEST_F(ReadTagFieldsTest, ReadsAnyFileNameEvenWhileAnotherProgramWritesTheFile)
{
    const std::wstring path = folder / L"\u0416\u6B4C \u20AC.mp3";
    WriteBytes(path, MakeMp3(MakeTag("Artist", "Album")));
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
