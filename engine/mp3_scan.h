#pragma once

#include <string>
#include <vector>

// The lower-cased last three characters of a file name, or the empty text for
// a name shorter than four characters.
std::wstring GetExtension(const std::wstring& fileName);

bool HasExtension(const std::wstring& fileName, const std::wstring& extension);

// Fills `names` with the plain, visible files directly inside `folder` whose
// names end in `extension`, in enumeration order. A folder that cannot be
// enumerated is reported in a message box and yields no names.
void FindFilesWithExtension(const std::wstring& extension, const std::wstring& folder,
                            std::vector<std::wstring>& names);
