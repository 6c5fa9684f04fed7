#pragma once

#include <string>
#include <vector>
#include <windows.h>

// Writes 32-bit pixels (blue, green, red, unused byte), row by row from the
// top, as a PNG file, through the Windows Imaging Component. Returns what
// failed, or S_OK.
HRESULT WritePng(const std::wstring& path, UINT width, UINT height,
                 const std::vector<DWORD>& pixels);
