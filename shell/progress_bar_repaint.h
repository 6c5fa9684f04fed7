#pragma once

#include <windows.h>

// Lets a standard progress bar skip the repaint of a new position that would
// draw the very picture already shown: the bar keeps such a position aside and
// takes it before it handles any other message. Every reply stays exactly a
// plain bar's. Call it before the bar is first shown: it measures the bar's fill
// area by drawing it off screen, and paints every position if it cannot.
void RepaintProgressOnlyOnChange(HWND progressBar);
