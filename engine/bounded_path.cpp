#include "bounded_path.h"

#include <cstdarg>
#include <cstdio>

bool FormatPath(wchar_t (&buffer)[MAX_PATH], const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    // _TRUNCATE makes an overlong result a reported failure instead of an
    // invalid-parameter abort.
    const int length = _vsnwprintf_s(buffer, MAX_PATH, _TRUNCATE, format, arguments);
    va_end(arguments);
    return length >= 0;
}
