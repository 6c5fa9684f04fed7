#pragma once

#include <array>
#include <optional>
#include <string>

// One 30-byte text field of an ID3v1 tag plus a terminating zero at index 30.
// Bytes after the first zero are kept as read.
using TagField = std::array<char, 31>;

struct TagFields {
    TagField title;
    TagField artist;
    TagField album;
};

// Reads the ID3v1 tag in the last 128 bytes of a file. Yields nothing when the
// file cannot be opened, is shorter than 128 bytes or has no "TAG" marker.
std::optional<TagFields> ReadTagFields(const std::wstring& path);

// Turns a raw artist or album field into a usable folder name: blank fields
// become `defaultName`, characters unfit for a folder name become '_', and
// trailing spaces are trimmed. Never empty, at most 30 characters.
std::wstring MakeFolderName(TagField field, const std::wstring& defaultName);
