#pragma once

#include <string>
#include <vector>
#include <windows.h>

enum class PixelSource {
    Screen,        // what the window shows now
    WindowDrawing, // what the window draws into memory: its background, then itself
};

// The window's client area as 32-bit pixels, row by row from the top.
std::vector<DWORD> ClientPixels(HWND window, PixelSource source);

// Writes the part `crop` of 32-bit pixels (blue, green, red, unused byte),
// `width` to a row from the top, as a PNG file, through the Windows Imaging
// Component. Returns what failed, or S_OK.
HRESULT WritePng(const std::wstring& path, std::vector<DWORD> pixels, UINT width, const RECT& crop);
