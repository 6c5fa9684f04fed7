#include "id3v1_tag.h"

#include <cstring>
#include <windows.h>

namespace {

const LONGLONG kTagSize = 128;
const size_t kFieldLength = 30;
const char kReservedCharacters[] = "?/\\';*<>,|\":.";

bool IsBlankPattern(const TagField& field)
{
    return std::string(field.data(), kFieldLength) == std::string(kFieldLength, ' ');
}

void ReplaceReservedCharacters(TagField& field)
{
    for (char& byte : field)
        if (byte != '\0' && std::strchr(kReservedCharacters, byte))
            byte = '_';
}

void TrimTrailingSpaces(TagField& field)
{
    for (size_t index = kFieldLength; index-- > 0;) {
        if (field[index] != ' ' && field[index] != '\0')
            break;
        field[index] = '\0';
    }
}

// Each byte stands for the character with the same code (ISO-8859-1). The
// text ends at its first zero, and after the field's 30 bytes at the latest,
// whatever a caller left in the terminator's place.
std::wstring BytesToText(const TagField& field)
{
    std::wstring text;
    for (size_t index = 0; index < kFieldLength && field[index] != '\0'; ++index)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(field[index])));
    return text;
}

// One field's 30 bytes as read, and its terminator.
TagField FieldAt(const char* bytes)
{
    TagField field;
    std::memcpy(field.data(), bytes, kFieldLength);
    field[kFieldLength] = '\0';
    return field;
}

} // namespace

std::optional<TagFields> ReadTagFields(const std::wstring& path)
{
    // Opened by its UTF-16 path so that any file name can be read, and shared
    // for reading and writing: another program may be using the file.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    // The tag's marker and the three fields after it: title, artist, album.
    char tag[3 + 3 * kFieldLength];
    LARGE_INTEGER size = {};
    LARGE_INTEGER tagStart = {};
    tagStart.QuadPart = -kTagSize;
    DWORD read = 0;
    const bool whole = GetFileSizeEx(file, &size) && size.QuadPart >= kTagSize &&
                       SetFilePointerEx(file, tagStart, nullptr, FILE_END) &&
                       ReadFile(file, tag, sizeof tag, &read, nullptr) && read == sizeof tag;
    CloseHandle(file);
    if (!whole || std::memcmp(tag, "TAG", 3) != 0)
        return std::nullopt;
    return TagFields{FieldAt(tag + 3), FieldAt(tag + 3 + kFieldLength),
                     FieldAt(tag + 3 + 2 * kFieldLength)};
}

std::wstring MakeFolderName(TagField field, const std::wstring& defaultName)
{
    // The defaults hold no reserved characters and no trailing spaces, so a
    // blank field's name is the default itself.
    if (field[0] == '\0' || IsBlankPattern(field))
        return defaultName;
    ReplaceReservedCharacters(field);
    TrimTrailingSpaces(field);

    std::wstring name = BytesToText(field);
    if (name.empty() || name == L" ")
        return defaultName;
    return name;
}
