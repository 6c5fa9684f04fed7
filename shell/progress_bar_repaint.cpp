#include "progress_bar_repaint.h"

#include <commctrl.h>
#include <vector>

namespace {

// The program's one progress bar: its own window procedure, and the length of
// its fill area in pixels, 0 when unknown (then every position is painted).
WNDPROC g_plainProgressProc;
int g_fillLength;

LRESULT CallPlain(HWND bar, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return CallWindowProcW(g_plainProgressProc, bar, message, wParam, lParam);
}

// The bar's client area as it draws itself into memory, 32-bit pixels row by
// row, whether or not it is shown.
std::vector<DWORD> DrawnPixels(HWND bar, SIZE size)
{
    HDC screen = GetDC(bar);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    CallPlain(bar, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    SelectObject(memory, previous);
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof format.bmiHeader, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(static_cast<size_t>(size.cx) * size.cy);
    GetDIBits(memory, bitmap, 0, size.cy, pixels.data(), &format, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(bar, screen);
    return pixels;
}

// The length along the bar of the columns that differ between the bar drawn
// empty and drawn full: the area its fill grows in, whatever its look. Leaves
// the bar's range and position as they were.
int MeasureFillLength(HWND bar)
{
    RECT client = {};
    GetClientRect(bar, &client);
    const SIZE size = {client.right, client.bottom};
    PBRANGE range = {};
    CallPlain(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    const LRESULT position = CallPlain(bar, PBM_GETPOS);
    CallPlain(bar, PBM_SETRANGE32, 0, 1);
    CallPlain(bar, PBM_SETPOS, 0);
    const std::vector<DWORD> empty = DrawnPixels(bar, size);
    CallPlain(bar, PBM_SETPOS, 1);
    const std::vector<DWORD> full = DrawnPixels(bar, size);
    CallPlain(bar, PBM_SETRANGE32, range.iLow, range.iHigh);
    CallPlain(bar, PBM_SETPOS, static_cast<WPARAM>(position));

    int first = size.cx;
    int last = -1;
    for (size_t i = 0; i < empty.size(); ++i)
        if (empty[i] != full[i]) {
            const int column = static_cast<int>(i % size.cx);
            first = column < first ? column : first;
            last = column > last ? column : last;
        }
    return last < first ? 0 : last - first + 1;
}

// Tells which picture a position draws, as a key: equal keys, equal pictures.
// A bar fills a share of its fill area proportional to the position and
// rounds the filled length its own way. Two positions whose exact filled
// lengths are equal, or lie strictly between the same two neighbouring half
// pixels, get the same filled length whichever way the bar rounds. -1 when in
// doubt: the fill area is unknown, the range empty or the position outside it.
long long PictureKey(HWND bar, long long position)
{
    PBRANGE range = {};
    CallPlain(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    if (g_fillLength == 0 || range.iHigh <= range.iLow || position < range.iLow ||
        position > range.iHigh)
        return -1;
    const long long span = static_cast<long long>(range.iHigh) - range.iLow;
    const long long twiceFilled = 2 * (position - range.iLow) * g_fillLength;
    return 2 * (twiceFilled / span) + (twiceFilled % span != 0);
}

// Whether the bar, taking this position now, would repaint only to draw the
// picture of the position it holds. A repaint already due for another reason
// (a region uncovered, a new range) stays due either way.
bool DrawsTheShownPicture(HWND bar, int position)
{
    const long long key = PictureKey(bar, position);
    return key >= 0 && key == PictureKey(bar, CallPlain(bar, PBM_GETPOS));
}

// Every message goes to the bar itself, which keeps every reply its own; a
// position that draws the shown picture is taken with redrawing off, so that
// the bar neither paints it nor leaves a repaint for later.
LRESULT CALLBACK QuietProgressProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS && DrawsTheShownPicture(bar, static_cast<int>(wParam))) {
        CallPlain(bar, WM_SETREDRAW, FALSE);
        const LRESULT previous = CallPlain(bar, message, wParam, lParam);
        CallPlain(bar, WM_SETREDRAW, TRUE);
        return previous;
    }
    // A new look may fill another area: paint every position from now on.
    if (message == WM_THEMECHANGED)
        g_fillLength = 0;
    return CallPlain(bar, message, wParam, lParam);
}

} // namespace

void RepaintProgressOnlyOnChange(HWND progressBar)
{
    g_plainProgressProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(progressBar, GWLP_WNDPROC));
    g_fillLength = MeasureFillLength(progressBar);
    SetWindowLongPtrW(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(QuietProgressProc));
}
