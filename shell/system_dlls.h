#pragma once

#include <windows.h>

// Makes every later DLL load by name search System32 alone, never the
// program's own folder or the current folder, where a planted DLL could lie.
void LoadDllsFromSystem32Only();

// Makes the standard progress bar window class available from System32's
// comctl32.dll, which the program loads itself so that its import table names
// only DLLs that Windows always takes from System32. Returns false, with the
// reason in GetLastError(), when it cannot.
bool RegisterProgressBarClass();
