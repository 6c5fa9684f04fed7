#include "program_driver.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

// DLLs that Windows 10 and 11 always load from System32 (KnownDLLs), never from
// the program's folder, plus ntdll, which every process has.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll", "ntdll.dll",
    "ole32.dll",    "oleaut32.dll", "shell32.dll", "shlwapi.dll",  "user32.dll",
};

// The shipped program's file, its image addresses turned into file offsets.
class ProgramImage {
public:
    explicit ProgramImage(std::string bytes) : m_bytes(std::move(bytes)) {}

    // The structure at a file offset, or null where it would not fit.
    template <typename T> const T* At(size_t offset) const
    {
        return offset <= m_bytes.size() && m_bytes.size() - offset >= sizeof(T)
                   ? reinterpret_cast<const T*>(m_bytes.data() + offset)
                   : nullptr;
    }

    const IMAGE_NT_HEADERS64* Headers() const
    {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE)
            return nullptr;
        const auto* headers = At<IMAGE_NT_HEADERS64>(static_cast<size_t>(dos->e_lfanew));
        return headers && headers->Signature == IMAGE_NT_SIGNATURE &&
                       headers->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                   ? headers
                   : nullptr;
    }

    // The file offset of a relative virtual address, through the section
    // that holds it; 0 when none does.
    size_t FileOffset(DWORD address) const
    {
        const IMAGE_NT_HEADERS64* headers = Headers();
        const auto* section = IMAGE_FIRST_SECTION(headers);
        for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section)
            if (address >= section->VirtualAddress &&
                address - section->VirtualAddress < section->SizeOfRawData)
                return section->PointerToRawData + (address - section->VirtualAddress);
        return 0;
    }

    // The names of the DLLs in the import table, in lower case.
    std::set<std::string> ImportedDlls() const
    {
        std::set<std::string> names;
        const DWORD table =
            Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (size_t offset = FileOffset(table); offset != 0;
             offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            const size_t nameOffset = entry ? FileOffset(entry->Name) : 0;
            if (nameOffset == 0 || nameOffset >= m_bytes.size())
                break;
            std::string name(m_bytes.c_str() + nameOffset);
            CharLowerA(name.data());
            names.insert(name);
        }
        return names;
    }

private:
    std::string m_bytes;
};

TEST(ShippedProgram, LoadsOnlyKnownDllsAtAnyAddressWithNoCodeInItsData)
{
    const ProgramImage image(ReadBytes(BuiltProgram()));
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

} // namespace
