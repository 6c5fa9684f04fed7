#pragma once

// The file that the planted comctl32.dll leaves beside itself when anything
// loads it.
const wchar_t kPlantedDllMarker[] = L"planted-dll-ran";
