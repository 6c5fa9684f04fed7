#include "folder_chooser.h"

#include <shlobj.h>

namespace {

// Lives for the whole run: it remembers the last choice, which Cancel returns.
wchar_t g_browsePath[MAX_PATH];

} // namespace

std::wstring BrowseForDirectory(HWND owner)
{
    BROWSEINFOW settings = {};
    settings.hwndOwner = owner;
    settings.pszDisplayName = g_browsePath;
    settings.lpszTitle = L"Select Directory to Process";
    settings.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;

    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&settings);
    if (chosen) {
        SHGetPathFromIDListW(chosen, g_browsePath);
        IMalloc* allocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&allocator))) {
            allocator->Free(chosen);
            allocator->Release();
        }
    }
    return g_browsePath;
}
