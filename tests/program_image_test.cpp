#include "program_driver.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// DLLs that Windows 10 and 11 always load from System32 (KnownDLLs), never from
// the program's folder, plus ntdll, which every process has.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll", "ntdll.dll",
    "ole32.dll",    "oleaut32.dll", "shell32.dll", "shlwapi.dll",  "user32.dll",
};

// The shipped program, laid out in memory as Windows lays it out to run it,
// though none of it runs: every address in it points at what it names.
class ProgramImage {
public:
    ProgramImage()
        : m_module(LoadLibraryExW(BuiltProgram().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ProgramImage() { FreeLibrary(m_module); }
    ProgramImage(const ProgramImage&) = delete;
    ProgramImage& operator=(const ProgramImage&) = delete;

    // The structure at a relative address of the image. (The module's
    // handle marks an image loaded as data in its low bits.)
    template <typename T> const T* At(DWORD address) const
    {
        return reinterpret_cast<const T*>((reinterpret_cast<ULONG_PTR>(m_module) & ~ULONG_PTR{3}) +
                                          address);
    }

    const IMAGE_NT_HEADERS64* Headers() const
    {
        if (!m_module)
            return nullptr;
        const auto* headers = At<IMAGE_NT_HEADERS64>(At<IMAGE_DOS_HEADER>(0)->e_lfanew);
        return headers->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? headers : nullptr;
    }

    // The names of the DLLs in the import table, in lower case.
    std::set<std::string> ImportedDlls() const
    {
        std::set<std::string> names;
        const DWORD table =
            Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(table); table && entry->Name;
             ++entry) {
            std::string name = At<char>(entry->Name);
            CharLowerA(name.data());
            names.insert(name);
        }
        return names;
    }

    // The manifest that Windows reads as the program starts.
    std::string Manifest() const
    {
        HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        HGLOBAL loaded = found ? LoadResource(m_module, found) : nullptr;
        return loaded ? std::string(static_cast<const char*>(LockResource(loaded)),
                                    SizeofResource(m_module, found))
                      : "";
    }

private:
    HMODULE m_module;
};

TEST(ShippedProgram, LoadsOnlyKnownDllsAtAnyAddressWithNoCodeInItsData)
{
    const ProgramImage image;
    const IMAGE_NT_HEADERS64* headers = image.Headers();
    ASSERT_TRUE(headers) << "not a 64-bit Windows program";

    const WORD characteristics = headers->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "no ASLR";
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA)
        << "no high-entropy addresses";
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "no NX";
    EXPECT_FALSE(headers->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED)
        << "no relocations, so no other address to load at";

    std::set<std::string> imported = image.ImportedDlls();
    EXPECT_TRUE(imported.count("kernel32.dll")) << "the import table was not read";
#ifdef __SANITIZE_ADDRESS__
    // A sanitized build needs the sanitizer's runtime, which is no system DLL.
    imported.erase("clang_rt.asan_dynamic-x86_64.dll");
#endif
    // An API set (a UCRT build's C runtime, for one) names no file: the loader
    // maps it to a system DLL and never searches a folder for it.
    for (const std::string& dll : imported)
        EXPECT_TRUE(kKnownDlls.count(dll) || dll.rfind("api-ms-win-", 0) == 0)
            << dll << " could be loaded from the program's folder";
    EXPECT_EQ(headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u)
        << "DLLs loaded later by name";
}

// Drawn at each monitor's own scale, as a per-monitor (version 2) aware
// program, run with the user's rights, in the controls' classic look.
TEST(ShippedProgram, AsksForEachMonitorsScaleTheUsersRightsAndNoControlsVersion)
{
    const std::string manifest = ProgramImage().Manifest();
    for (
        const char* setting :
        {R"(<application xmlns="urn:schemas-microsoft-com:asm.v3">)",
         R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)",
         R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2</dpiAwareness>)",
         R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"})
        EXPECT_NE(manifest.find(setting), std::string::npos) << setting;
    EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

} // namespace
