#pragma once

#include <cstdio>
#include <windows.h>

// Formats texts into a MAX_PATH buffer. Returns false, leaving the buffer
// unusable, when the result would need more than 259 characters: callers skip
// the path rather than act on a truncated one.
template <typename... Texts>
bool FormatPath(wchar_t (&buffer)[MAX_PATH], const wchar_t* format, const Texts*... texts)
{
    // _TRUNCATE makes an overlong result a reported failure instead of an
    // invalid-parameter abort.
    return _snwprintf_s(buffer, MAX_PATH, _TRUNCATE, format, texts...) >= 0;
}
