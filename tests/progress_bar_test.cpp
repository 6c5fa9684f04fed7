#include "main_dialog.h"
#include "resource_ids.h"
#include "system_dlls.h"
#include "test_windows.h"
#include "window_pictures.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <string>
#include <vector>

namespace {

// The program's dialog procedure, counting its bar's paints once the program
// has set the bar up.
int g_programBarPaints;
WNDPROC g_programBarProc;

LRESULT CALLBACK CountPaints(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_programBarPaints += message == WM_PAINT;
    return CallWindowProcW(g_programBarProc, bar, message, wParam, lParam);
}

INT_PTR CALLBACK ProgramDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = MainDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        g_programBarProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(GetDlgItem(dialog, IDC_PROGRESS_BAR), GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(CountPaints)));
    return result;
}

// Lays the dialog out again at `percent` of its size, as Windows does when it
// moves to a monitor of another scale: it tells each control, moves and
// resizes it, and resizes the dialog.
void Rescale(HWND dialog, int percent)
{
    auto scaled = [percent](LONG length) { return MulDiv(length, percent, 100); };
    RECT frame = {};
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT)) {
        GetWindowRect(control, &frame);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
        SendMessageW(control, WM_DPICHANGED_BEFOREPARENT, 0, 0);
        MoveWindow(control, scaled(frame.left), scaled(frame.top), scaled(frame.right - frame.left),
                   scaled(frame.bottom - frame.top), TRUE);
        SendMessageW(control, WM_DPICHANGED_AFTERPARENT, 0, 0);
    }
    GetWindowRect(dialog, &frame);
    MoveWindow(dialog, frame.left, frame.top, scaled(frame.right - frame.left),
               scaled(frame.bottom - frame.top), TRUE);
}

// A plain progress bar and the program's, same template, one above the other.
class ProgressBars : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterProgressBarClass(); }
    ProgressBars()
        : m_plainDialog(ShowTemplateDialog(InertDialogProc, 0)),
          m_programDialog(ShowTemplateDialog(ProgramDialogProc, 400)),
          m_plain(GetDlgItem(m_plainDialog, IDC_PROGRESS_BAR)),
          m_program(GetDlgItem(m_programDialog, IDC_PROGRESS_BAR))
    {
        PumpMessages();
    }
    ~ProgressBars() override
    {
        DestroyWindow(m_programDialog);
        DestroyWindow(m_plainDialog);
        PumpMessages();
    }

    // Sends the message to both bars: their replies, their answers to the
    // position and range queries, and what they show must all be the same.
    void Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        const LRESULT plainReply = SendMessageW(m_plain, message, wParam, lParam);
        const LRESULT programReply = SendMessageW(m_program, message, wParam, lParam);
        // Whatever either bar left for the message loop to paint is painted.
        PumpMessages();
        const std::string after = "message " + std::to_string(message) + " " +
                                  std::to_string(wParam) + " " + std::to_string(lParam);
        ASSERT_EQ(programReply, plainReply) << after;
        // The picture first: a query makes the bar take a position kept aside.
        ASSERT_TRUE(SamePicture()) << "the bars show different pictures after " << after;
        ASSERT_EQ(Queries(m_program), Queries(m_plain)) << after;
    }

    // A job's pass: range 0 to `count`, a position before each item.
    void SendPass(int count, int stride = 1)
    {
        ASSERT_NO_FATAL_FAILURE(Send(PBM_SETRANGE32, 0, count));
        for (int i = 0; i < count; i += stride)
            ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, i));
    }

    bool SamePicture() const
    {
        return ClientPixels(m_program, PixelSource::Screen) ==
               ClientPixels(m_plain, PixelSource::Screen);
    }

    HWND m_plainDialog;
    HWND m_programDialog;
    HWND m_plain;
    HWND m_program;

    // A bar's answers to the position query and to both range queries, then
    // the ranges those filled in (a braced list is evaluated in order).
    static std::vector<LRESULT> Queries(HWND bar)
    {
        PBRANGE low = {};
        PBRANGE high = {};
        return {SendMessageW(bar, PBM_GETPOS, 0, 0),
                SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&low)),
                SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&high)),
                low.iLow,
                low.iHigh,
                high.iLow,
                high.iHigh};
    }
};

TEST_F(ProgressBars, ProgramBarShowsAndAnswersExactlyWhatAPlainBarDoes)
{
    ASSERT_TRUE(m_plainDialog && m_programDialog);
    // Measuring left the bar's range and position as a plain bar's.
    ASSERT_EQ(Queries(m_program), Queries(m_plain)) << "the dialog's start";
    // The program measures its bar from the bar's own drawing into memory.
    SendMessageW(m_plain, PBM_SETRANGE32, 0, 1);
    SendMessageW(m_plain, PBM_SETPOS, 1, 0);
    const std::vector<DWORD> full = ClientPixels(m_plain, PixelSource::WindowDrawing);
    SendMessageW(m_plain, PBM_SETPOS, 0, 0);
    ASSERT_NE(full, ClientPixels(m_plain, PixelSource::WindowDrawing))
        << "this bar draws nothing into memory (WM_PAINT): its fill cannot be measured";

    // A long pass with nothing querying the bar between positions paints at
    // most twice per half pixel of the bar's length, and ends on the right
    // picture.
    const int kLongPass = 20000;
    const int paintsBefore = g_programBarPaints;
    for (HWND bar : {m_program, m_plain})
        SendMessageW(bar, PBM_SETRANGE32, 0, kLongPass);
    for (int i = 0; i < kLongPass; ++i)
        SendMessageW(m_program, PBM_SETPOS, i, 0);
    RECT client = {};
    GetClientRect(m_program, &client);
    EXPECT_LE(g_programBarPaints - paintsBefore, 4 * client.right + 2);
    SendMessageW(m_plain, PBM_SETPOS, kLongPass - 1, 0);
    PumpMessages();
    ASSERT_TRUE(SamePicture()) << "a long pass";

    ASSERT_NO_FATAL_FAILURE(SendPass(3));
    // Far more positions than pixels; some twice in a row.
    ASSERT_NO_FATAL_FAILURE(SendPass(20000, 11));
    for (int position : {14000, 14000, 14001, 13999, 20000, 20001, -5, 19999})
        ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, position));
    // Full, then empty, as a job ends; then a pass with nothing to do.
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 20000));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 0));
    ASSERT_NO_FATAL_FAILURE(SendPass(0));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 1));

    // A new range mid-way moves a position kept aside.
    ASSERT_NO_FATAL_FAILURE(SendPass(5000, 5));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 4321));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETRANGE32, 0, 4000));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 3999));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETRANGE32, 100, 200));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 150));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 151));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_DELTAPOS, 7));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETSTEP, 3));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_STEPIT));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETRANGE, 0, MAKELPARAM(0, 1000)));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 999));

    // A new look, announced as a theme change is, may fill another area: here
    // a deeper edge narrows both bars.
    for (HWND bar : {m_plain, m_program}) {
        SetWindowLongPtrW(bar, GWL_EXSTYLE, GetWindowLongPtrW(bar, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
        SetWindowPos(bar, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    ASSERT_NO_FATAL_FAILURE(Send(WM_THEMECHANGED));
    ASSERT_NO_FATAL_FAILURE(SendPass(2000, 3));

    // A move to a monitor of a larger scale, while a job runs: the bars grow
    // by half, and so does the area they fill.
    for (HWND dialog : {m_plainDialog, m_programDialog})
        Rescale(dialog, 150);
    ASSERT_NO_FATAL_FAILURE(SendPass(2000, 2));

    // Painting from outside: something draws over both bars and leaves them a
    // repaint due, as a window that moves away does. Before that repaint,
    // they take 502, which fills as much of the bar as 501 does: the
    // program's bar skips that position's repaint, never the one still due.
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 500));
    ASSERT_NO_FATAL_FAILURE(Send(PBM_SETPOS, 501));
    for (HWND bar : {m_plain, m_program}) {
        HDC drawing = GetDC(bar);
        GetClientRect(bar, &client);
        FillRect(drawing, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ReleaseDC(bar, drawing);
        InvalidateRect(bar, nullptr, TRUE);
        SendMessageW(bar, PBM_SETPOS, 502, 0);
    }
    PumpMessages();
    ASSERT_TRUE(SamePicture()) << "a repaint due";
    EXPECT_EQ(SendMessageW(m_program, PBM_GETPOS, 0, 0), 502);
}

} // namespace
