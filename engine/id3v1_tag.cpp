#include "id3v1_tag.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

const std::streamoff kTagSize = 128;
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

void ReadField(std::ifstream& file, TagField& field)
{
    file.read(field.data(), kFieldLength);
    field[kFieldLength] = '\0';
}

} // namespace

std::optional<TagFields> ReadTagFields(const std::wstring& path)
{
    // Opened by its UTF-16 path so that any file name can be read; the stream
    // shares the file for reading and writing with other programs.
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file)
        return std::nullopt;

    file.seekg(0, std::ios::end);
    if (!file || file.tellg() < kTagSize)
        return std::nullopt;
    file.seekg(-kTagSize, std::ios::end);

    char marker[3];
    file.read(marker, sizeof marker);
    if (!file || std::memcmp(marker, "TAG", sizeof marker) != 0)
        return std::nullopt;

    TagFields fields;
    ReadField(file, fields.title);
    ReadField(file, fields.artist);
    ReadField(file, fields.album);
    if (!file)
        return std::nullopt;
    return fields;
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
