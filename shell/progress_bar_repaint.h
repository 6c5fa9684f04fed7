#pragma once

#include <windows.h>

// Lets the program's progress bar skip the repaint of a new position that
// would draw the very picture already shown. Call it once, before the bar is
// first shown: it measures the bar's fill area from the bar's own drawing in
// memory, and paints every position if it cannot.
void RepaintProgressOnlyOnChange(HWND progressBar);
