#pragma once

#include <string>
#include <windows.h>

// Lets the user pick a file-system folder in the shell's folder browser and
// returns its full path. Cancel returns the folder picked last time, or the
// empty text if none was ever picked.
std::wstring BrowseForDirectory(HWND owner);
