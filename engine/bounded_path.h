#pragma once

#include <windows.h>

// Formats a path into a MAX_PATH buffer. Returns false, leaving the buffer
// unusable, when the result would need more than 259 characters: callers skip
// the path rather than act on a truncated one.
bool FormatPath(wchar_t (&buffer)[MAX_PATH], const wchar_t* format, ...);
