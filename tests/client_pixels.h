#pragma once

#include <vector>
#include <windows.h>

enum class PixelSource {
    Screen,        // what the window shows now
    WindowDrawing, // what the window draws when asked to print itself into memory
};

// The window's client area as 32-bit pixels, row by row from the top.
std::vector<DWORD> ClientPixels(HWND window, PixelSource source);
