#include "progress_bar_repaint.h"

#include <commctrl.h>
#include <vector>

namespace {

// The program's one progress bar: its own window procedure; the length of its
// fill area in pixels, 0 when unknown (then every position is painted); and a
// position kept aside because it draws the picture the bar shows.
WNDPROC g_plainProgressProc;
int g_fillLength;
bool g_positionKept;
int g_keptPosition;

LRESULT CallPlain(HWND bar, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return CallWindowProcW(g_plainProgressProc, bar, message, wParam, lParam);
}

// The bar's client area as it draws itself into memory, 32-bit pixels row by
// row, whether or not it is shown: its background, then itself, into the
// device context that each message carries, as common controls do.
std::vector<DWORD> DrawnPixels(HWND bar, SIZE size)
{
    HDC screen = GetDC(bar);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    CallPlain(bar, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory));
    CallPlain(bar, WM_PAINT, reinterpret_cast<WPARAM>(memory));
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

// Which picture a position draws, as a key: equal keys, equal pictures. A bar
// fills a share of its fill area proportional to the position and rounds the
// filled length its own way; two positions whose exact filled lengths are
// equal, or lie strictly between the same two neighbouring half pixels, get
// the same filled length whichever way it rounds. -1 when in doubt: the fill
// area unknown, the range empty or the position outside it.
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

// A new position that draws the picture shown is kept aside, not given to the
// bar to repaint for nothing. Anything else reaches the bar once it has that
// position, which draws the same pixels, so every other reply is its own.
LRESULT CALLBACK QuietProgressProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS) {
        const LRESULT held = CallPlain(bar, PBM_GETPOS);
        const LRESULT previous = g_positionKept ? g_keptPosition : held;
        const long long key = PictureKey(bar, static_cast<int>(wParam));
        g_positionKept = key >= 0 && key == PictureKey(bar, held);
        g_keptPosition = static_cast<int>(wParam);
        if (!g_positionKept)
            CallPlain(bar, message, wParam, lParam);
        return previous;
    }
    if (g_positionKept) {
        // Cleared first: what the bar sends itself meanwhile reaches it directly.
        g_positionKept = false;
        CallPlain(bar, PBM_SETPOS, static_cast<WPARAM>(g_keptPosition));
    }
    const LRESULT result = CallPlain(bar, message, wParam, lParam);
    // A new size (a new display scale resizes the bar too) or a new look may
    // fill another area.
    if (message == WM_SIZE || message == WM_THEMECHANGED)
        g_fillLength = MeasureFillLength(bar);
    return result;
}

} // namespace

void RepaintProgressOnlyOnChange(HWND progressBar)
{
    g_plainProgressProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(progressBar, GWLP_WNDPROC));
    g_fillLength = MeasureFillLength(progressBar);
    SetWindowLongPtrW(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(QuietProgressProc));
}
