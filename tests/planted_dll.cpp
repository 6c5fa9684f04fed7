// A comctl32.dll that the tests plant beside a copy of the program, as a
// stranger's file could lie beside it in a Downloads folder. Its start-up code
// leaves a marker file beside it, so a test can tell whether it ever ran.
#include "planted_dll.h"

#include <string>
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE dll, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH];
    std::wstring marker(path, GetModuleFileNameW(dll, path, MAX_PATH));
    marker.replace(marker.find_last_of(L'\\') + 1, std::wstring::npos, kPlantedDllMarker);
    CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}

// What a caller of the real comctl32.dll might import.
extern "C" __declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*)
{
    return TRUE;
}

extern "C" __declspec(dllexport) void WINAPI InitCommonControls() {}
