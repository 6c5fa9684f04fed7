#include "system_dlls.h"

#include <commctrl.h>

namespace {

using InitCommonControlsExProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

} // namespace

void LoadDllsFromSystem32Only()
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool RegisterProgressBarClass()
{
    // Stays loaded for the whole run: the class lives in it.
    HMODULE commonControls = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!commonControls)
        return false;
    const FARPROC address = GetProcAddress(commonControls, "InitCommonControlsEx");
    if (!address)
        return false;
    // The export has this type; the detour through void* keeps the cast from
    // FARPROC free of function-type warnings.
    const auto initCommonControlsEx =
        reinterpret_cast<InitCommonControlsExProc>(reinterpret_cast<void*>(address));
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    return initCommonControlsEx(&classes) != FALSE;
}
