#pragma once

#include <set>
#include <string>

// A fresh, uniquely named folder in `parent` (by default the temporary
// folder), removed with everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& leafName = L"tunetidy",
                        const std::wstring& parent = L"");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& relative) const;

private:
    std::wstring m_path;
};

// The 128-byte ID3v1 tag with the given artist and album bytes, each padded to
// 30 bytes with `padding`.
std::string MakeTag(const std::string& artist, const std::string& album, char padding = '\0');

// An MP3-like file: some audio bytes that depend on `seed`, followed by `tag`.
std::string MakeMp3(const std::string& tag, int seed = 0);

// These take full paths of any length, beyond MAX_PATH too, as other
// programs can make them; those that can fail say whether they succeeded.
[[nodiscard]] bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// Makes the folder and every missing folder above it.
[[nodiscard]] bool MakeFolder(const std::wstring& path);
// Removes the folder and everything in it, for up to a second while another
// program (the folder browser, a virus scanner) still holds something open.
[[nodiscard]] bool RemoveFolder(const std::wstring& path);

// Every file and folder below `root`, as relative paths with '/' separators;
// folders end in '/'.
std::set<std::wstring> ListTree(const std::wstring& root);
