#include "progress_bar_repaint.h"

#include "client_pixels.h"

#include <commctrl.h>
#include <memory>
#include <vector>

namespace {

// What a bar needs to tell whether a new position changes its picture. Owned
// by the bar, freed when it is destroyed.
struct QuietBar {
    WNDPROC plainProc;
    // The position callers see. The bar itself may hold an earlier one that
    // draws the same picture.
    int position;
    // The length of the fill area, measured from the bar's own drawing at the
    // client size and style it had then; 0 when it could not be measured.
    int fillLength;
    SIZE measuredSize;
    LONG_PTR measuredStyle;
    // Calls into the plain bar under way: what it sends itself meanwhile (its
    // own painting) goes straight to it.
    int plainCalls;
};

LRESULT CallPlain(QuietBar& quiet, HWND bar, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    ++quiet.plainCalls;
    const LRESULT result = CallWindowProcW(quiet.plainProc, bar, message, wParam, lParam);
    --quiet.plainCalls;
    return result;
}

int PlainPosition(QuietBar& quiet, HWND bar)
{
    return static_cast<int>(CallPlain(quiet, bar, PBM_GETPOS));
}

PBRANGE PlainRange(QuietBar& quiet, HWND bar)
{
    PBRANGE range = {};
    CallPlain(quiet, bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    return range;
}

SIZE ClientSize(HWND bar)
{
    RECT client = {};
    GetClientRect(bar, &client);
    return {client.right, client.bottom};
}

// The length along the bar of the pixels that differ between the bar drawn
// empty and drawn full: the area its fill grows in, whatever its look.
// Runs before the bar is subclassed, so the plain bar draws itself.
int MeasureFillLength(QuietBar& quiet, HWND bar, SIZE size, bool vertical)
{
    const PBRANGE range = PlainRange(quiet, bar);
    const int position = PlainPosition(quiet, bar);
    CallPlain(quiet, bar, PBM_SETRANGE32, 0, 1);
    CallPlain(quiet, bar, PBM_SETPOS, 0);
    const std::vector<DWORD> empty = ClientPixels(bar, PixelSource::WindowDrawing);
    CallPlain(quiet, bar, PBM_SETPOS, 1);
    const std::vector<DWORD> full = ClientPixels(bar, PixelSource::WindowDrawing);
    CallPlain(quiet, bar, PBM_SETRANGE32, range.iLow, range.iHigh);
    CallPlain(quiet, bar, PBM_SETPOS, position);

    int first = vertical ? size.cy : size.cx;
    int last = -1;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x)
            if (empty[y * size.cx + x] != full[y * size.cx + x]) {
                const int along = vertical ? y : x;
                first = along < first ? along : first;
                last = along > last ? along : last;
            }
    return last < first ? 0 : last - first + 1;
}

// Tells which picture a position draws, as a key: equal keys, equal pictures.
// A bar fills a share of its fill area proportional to the position and
// rounds the filled length its own way. Two positions whose exact filled
// lengths are equal, or lie strictly between the same two neighbouring half
// pixels, get the same filled length whichever way the bar rounds. Returns
// false when in doubt: the bar changed size or style since it was measured,
// it moves on its own, its range is empty, or the position lies outside it.
bool PictureKey(QuietBar& quiet, HWND bar, int position, long long& key)
{
    const SIZE size = ClientSize(bar);
    const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (quiet.fillLength == 0 || size.cx != quiet.measuredSize.cx ||
        size.cy != quiet.measuredSize.cy || style != quiet.measuredStyle || (style & PBS_MARQUEE))
        return false;
    const PBRANGE range = PlainRange(quiet, bar);
    if (range.iHigh <= range.iLow || position < range.iLow || position > range.iHigh)
        return false;

    const long long span = static_cast<long long>(range.iHigh) - range.iLow;
    const long long twiceFilled =
        2 * (static_cast<long long>(position) - range.iLow) * quiet.fillLength;
    key = 2 * (twiceFilled / span) + (twiceFilled % span != 0);
    return true;
}

bool DrawsTheSame(QuietBar& quiet, HWND bar, int shown, int position)
{
    long long shownKey = 0;
    long long key = 0;
    return PictureKey(quiet, bar, shown, shownKey) && PictureKey(quiet, bar, position, key) &&
           key == shownKey;
}

// Returns the previous position, as a plain bar does.
int SetPosition(QuietBar& quiet, HWND bar, int position)
{
    const int previous = quiet.position;
    if (!DrawsTheSame(quiet, bar, PlainPosition(quiet, bar), position)) {
        CallPlain(quiet, bar, PBM_SETPOS, static_cast<WPARAM>(position));
        position = PlainPosition(quiet, bar);
    }
    quiet.position = position;
    return previous;
}

// Gives the bar the position callers see. It draws the same picture as the
// one the bar holds, so nothing on screen changes.
void HandOverPosition(QuietBar& quiet, HWND bar)
{
    if (PlainPosition(quiet, bar) != quiet.position)
        CallPlain(quiet, bar, PBM_SETPOS, static_cast<WPARAM>(quiet.position));
}

LRESULT CALLBACK QuietProgressProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* quiet = reinterpret_cast<QuietBar*>(GetWindowLongPtrW(bar, GWLP_USERDATA));
    if (quiet->plainCalls)
        return CallWindowProcW(quiet->plainProc, bar, message, wParam, lParam);

    switch (message) {
    case PBM_SETPOS:
        return SetPosition(*quiet, bar, static_cast<int>(wParam));
    case PBM_GETPOS:
        return quiet->position;
    case WM_NCDESTROY: {
        const WNDPROC plainProc = quiet->plainProc;
        SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(plainProc));
        SetWindowLongPtrW(bar, GWLP_USERDATA, 0);
        delete quiet;
        return CallWindowProcW(plainProc, bar, message, wParam, lParam);
    }
    }
    // Any other message meets the bar as callers believe it to be; it may
    // move the position itself (a new range, a step).
    HandOverPosition(*quiet, bar);
    const LRESULT result = CallPlain(*quiet, bar, message, wParam, lParam);
    quiet->position = PlainPosition(*quiet, bar);
    return result;
}

} // namespace

void RepaintProgressOnlyOnChange(HWND progressBar)
{
    auto quiet = std::make_unique<QuietBar>();
    quiet->plainProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(progressBar, GWLP_WNDPROC));
    quiet->position = PlainPosition(*quiet, progressBar);
    quiet->measuredSize = ClientSize(progressBar);
    quiet->measuredStyle = GetWindowLongPtrW(progressBar, GWL_STYLE);
    // Measuring moves the bar, which must not show.
    if (!IsWindowVisible(progressBar))
        quiet->fillLength = MeasureFillLength(*quiet, progressBar, quiet->measuredSize,
                                              (quiet->measuredStyle & PBS_VERTICAL) != 0);
    SetWindowLongPtrW(progressBar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(quiet.release()));
    SetWindowLongPtrW(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(QuietProgressProc));
}
