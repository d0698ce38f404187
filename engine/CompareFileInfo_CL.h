#pragma once
#include <string>
#include <vector>

#include "engine/ExtEntry.h"

// One extension list (movies or still images): the built-in table merged with what the
// user stored in the list's INI section. Kept in ordinal order of `extension`, no two
// entries alike.
class CompareFileInfo_CL {
public:
    static const wchar_t* const kBuiltinMovieExtensions[];
    static const wchar_t* const kBuiltinPictureExtensions[];
    static constexpr const wchar_t* kUserEntryText = L"★ユーザー追加拡張子";

    CompareFileInfo_CL(const std::wstring& sectionName, const wchar_t* const* builtinExtensions);
    virtual ~CompareFileInfo_CL() = default;

    void Load();
    void Save() const;

    // 1 and a copy of the entry whose extension equals the folded argument; 0 otherwise.
    int Find(const std::wstring& extension, ExtEntry& found) const;
    int SetEnabled(const std::wstring& extension, int flag);
    // 0 if the folded extension is already listed; otherwise appends (and sorts) and gives 1.
    int Add(const ExtEntry& entry, int sortAfter);
    int GetCount() const { return static_cast<int>(entries.size()); }
    const ExtEntry& GetAt(int index) const { return entries.at(index); }
    void RemoveAt(int index);

private:
    ExtEntry* FindEntry(const std::wstring& extension);
    void Sort();

    std::wstring sectionName;
    std::vector<ExtEntry> entries;
    const wchar_t* const* builtinExtensions;
};
