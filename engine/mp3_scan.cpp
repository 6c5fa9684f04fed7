#include "mp3_scan.h"

#include "bounded_path.h"

#include <cwctype>
#include <windows.h>

namespace {

const DWORD kSkippedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

bool BuildSearchPattern(const std::wstring& folder, wchar_t (&pattern)[MAX_PATH])
{
    const bool endsInBackslash = !folder.empty() && folder.back() == L'\\';
    return FormatPath(pattern, endsInBackslash ? L"%ls*" : L"%ls\\*", folder.c_str());
}

void ReportUnreadableFolder()
{
    MessageBoxW(nullptr, L"Error!", L"Error -- could not open directory. GetFonts() in main",
                MB_OK);
}

} // namespace

std::wstring GetExtension(const std::wstring& fileName)
{
    if (fileName.size() < 4)
        return std::wstring();
    std::wstring extension = fileName.substr(fileName.size() - 3);
    for (wchar_t& character : extension)
        character = static_cast<wchar_t>(std::towlower(character));
    return extension;
}

bool HasExtension(const std::wstring& fileName, const std::wstring& extension)
{
    return GetExtension(fileName) == extension;
}

void FindFilesWithExtension(const std::wstring& extension, const std::wstring& folder,
                            std::vector<std::wstring>& names)
{
    names.clear();

    // A folder too long for its search pattern counts as one that cannot be
    // opened.
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW entry;
    HANDLE search = BuildSearchPattern(folder, pattern) ? FindFirstFileW(pattern, &entry)
                                                        : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) {
        ReportUnreadableFolder();
        return;
    }

    do {
        if (entry.dwFileAttributes & kSkippedAttributes)
            continue;
        if (HasExtension(entry.cFileName, extension))
            names.push_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));

    FindClose(search);
}
