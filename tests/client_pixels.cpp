#include "client_pixels.h"

#include <cstring>

std::vector<DWORD> ClientPixels(HWND window, PixelSource source)
{
    RECT client = {};
    GetClientRect(window, &client);
    std::vector<DWORD> pixels(static_cast<size_t>(client.right) * client.bottom);
    BITMAPINFO format = {};
    // Top row first.
    format.bmiHeader = {sizeof format.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB,
                        0, 0, 0, 0, 0};

    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (source == PixelSource::Screen)
            BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
        else
            SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                         PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}
