#include "test_files.h"

#include "test_windows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>
#include <windows.h>

namespace {

// A full path that Windows hands to the file system as it is, without the
// MAX_PATH limit that holds for plain paths in a process that is not long-path
// aware (the test programs are not).
std::wstring Unlimited(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// The names in a folder, each with whether it is a folder itself.
std::vector<std::pair<std::wstring, bool>> Entries(const std::wstring& folder)
{
    std::vector<std::pair<std::wstring, bool>> entries;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(Unlimited(Join(folder, L"*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            entries.emplace_back(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

void RemoveTree(const std::wstring& folder)
{
    for (const auto& [name, isFolder] : Entries(folder)) {
        if (isFolder)
            RemoveTree(Join(folder, name));
        else
            DeleteFileW(Unlimited(Join(folder, name)).c_str());
    }
    RemoveDirectoryW(Unlimited(folder).c_str());
}

void ListInto(const std::wstring& folder, const std::wstring& prefix,
              std::set<std::wstring>& entries)
{
    for (const auto& [name, isFolder] : Entries(folder)) {
        entries.insert(prefix + name + (isFolder ? L"/" : L""));
        if (isFolder)
            ListInto(Join(folder, name), prefix + name + L"/", entries);
    }
}

} // namespace

TempFolder::TempFolder(const std::wstring& leafName, const std::wstring& parent)
{
    static unsigned counter = 0;
    const std::wstring path =
        Join(parent.empty() ? std::filesystem::temp_directory_path().wstring() : parent,
             leafName + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter));
    if (!RemoveFolder(path) || !MakeFolder(path))
        ADD_FAILURE() << "cannot make the folder " << path;
    // The long form, which the folder browser returns: on Windows the
    // temporary folder may be given in short 8.3 names.
    wchar_t longPath[MAX_PATH] = L"";
    const DWORD length = GetLongPathNameW(path.c_str(), longPath, MAX_PATH);
    m_path = length > 0 && length < MAX_PATH ? longPath : path;
}

TempFolder::~TempFolder()
{
    // What another program keeps is left, and said: no test depends on it.
    if (!RemoveFolder(m_path))
        std::printf("cannot remove the test folder %ls\n", m_path.c_str());
}

std::wstring TempFolder::operator/(const std::wstring& relative) const
{
    return m_path + L"\\" + relative;
}

std::string MakeTag(const std::string& artist, const std::string& album, char padding)
{
    auto field = [padding](const std::string& text) {
        std::string bytes = text.substr(0, 30);
        bytes.resize(30, padding);
        return bytes;
    };
    std::string tag = "TAG" + field("Some Title") + field(artist) + field(album);
    tag.resize(128, '\0');
    return tag;
}

std::string MakeMp3(const std::string& tag, int seed)
{
    std::string audio(300, '\0');
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed) * 13) & 0xFF);
    return audio + tag;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(Unlimited(path)), std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.good();
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(Unlimited(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool MakeFolder(const std::wstring& path)
{
    // Each folder from the one below the drive's root down; those that exist
    // already are left as they are.
    for (size_t end = path.find(L'\\', 3);; end = path.find(L'\\', end + 1)) {
        CreateDirectoryW(Unlimited(path.substr(0, end)).c_str(), nullptr);
        if (end == std::wstring::npos)
            break;
    }
    const DWORD attributes = GetFileAttributesW(Unlimited(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFolder(const std::wstring& path)
{
    return WaitUntil(
        [&] {
            RemoveTree(path);
            return GetFileAttributesW(Unlimited(path).c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        50, 1000);
}

std::set<std::wstring> ListTree(const std::wstring& root)
{
    std::set<std::wstring> entries;
    ListInto(root, L"", entries);
    return entries;
}
