#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <windows.h>

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::wstring& leafName)
{
    static unsigned counter = 0;
    const fs::path path =
        fs::temp_directory_path() / (leafName + L"-" + std::to_wstring(GetCurrentProcessId()) +
                                     L"-" + std::to_wstring(++counter));
    fs::remove_all(path);
    fs::create_directories(path);
    // The long form, which the folder browser returns: on Windows the
    // temporary folder may be given in short 8.3 names.
    wchar_t longPath[MAX_PATH] = L"";
    const DWORD length = GetLongPathNameW(path.c_str(), longPath, MAX_PATH);
    m_path = length > 0 && length < MAX_PATH ? longPath : path.wstring();
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
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

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(fs::path(path), std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << "cannot write " << fs::path(path).string();
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream file(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void MakeFolder(const std::wstring& path)
{
    fs::create_directories(path);
}

std::set<std::wstring> ListTree(const std::wstring& root)
{
    std::set<std::wstring> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        std::wstring relative = entry.path().lexically_relative(root).generic_wstring();
        if (entry.is_directory())
            relative += L'/';
        entries.insert(relative);
    }
    return entries;
}
