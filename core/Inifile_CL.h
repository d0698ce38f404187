#pragma once
#include <string>
#include <utility>
#include <vector>

// The program's INI file, read and written through the platform's private-profile
// functions, which serialise access to the file themselves: usable from any thread.
// The file is UTF-16LE with a byte-order mark so that every stored text keeps its
// characters.
class Inifile_CL {
public:
    static constexpr int kValueBufferLength = 8192;

    // Creates a missing file as the two bytes FF FE. An existing file in another encoding
    // (an editor's UTF-8 or ANSI save) is converted once, so later writes keep Japanese text.
    void SetFileName(const std::wstring& path);
    const std::wstring& GetFileName() const { return fileName; }

    int GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const;
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue) const;
    void SetInt(const std::wstring& section, const std::wstring& key, int value) const;
    void SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const;

    // The values of the keys prefix0, prefix1, ... below `count` that the section holds, in
    // index order. Equal to reading each key from 0 to count-1 and skipping missing ones,
    // but its cost follows the file, not `count` (a damaged count of 2147483647 is harmless).
    std::vector<std::pair<int, std::wstring>> GetIndexedStrings(const std::wstring& section,
                                                                const std::wstring& prefix,
                                                                int count) const;

private:
    std::vector<std::wstring> GetKeyNames(const std::wstring& section) const;

    std::wstring fileName;
};

// The one process-wide INI accessor.
Inifile_CL& TheIniFile();
