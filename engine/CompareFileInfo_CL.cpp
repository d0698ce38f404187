#include "engine/CompareFileInfo_CL.h"

#include <algorithm>

#include "core/Inifile_CL.h"
#include "core/PathFunctions.h"
#include "engine/RegistryExtInfo_CL.h"

// ".mod" and ".flv" stand twice; loading keeps the first of each.
const wchar_t* const CompareFileInfo_CL::kBuiltinMovieExtensions[] = {
    L".3g2", L".3gp", L".3gp2", L".3gpp", L".asf", L".asx", L".avi", L".divx", L".flv", L".m1v", L".m2t",
    L".m2ts", L".m2v", L".m4v", L".mkv", L".mod", L".mov", L".mp2v", L".mp4", L".mp4v", L".mpa", L".mpe",
    L".mpeg", L".mpg", L".mpv2", L".mts", L".ts", L".tts", L".wm", L".wmv", L".wmx", L".wvx", L".xvid",
    L".mod", L".rm", L".rmvb", L".flv", L".ogg", L".webm", L".iso", L".vob", nullptr};

const wchar_t* const CompareFileInfo_CL::kBuiltinPictureExtensions[] = {L".bmp", L".png", L".jpg", L".jpeg",
                                                                        nullptr};

CompareFileInfo_CL::CompareFileInfo_CL(const std::wstring& sectionName, const wchar_t* const* builtinExtensions)
    : sectionName(sectionName), builtinExtensions(builtinExtensions)
{
}

void CompareFileInfo_CL::Load()
{
    RegistryExtInfo_CL registry;
    for (const wchar_t* const* builtin = builtinExtensions; *builtin; ++builtin)
        Add(ExtEntry{1, 1, *builtin, registry.GetContentType(*builtin)}, 0);

    const Inifile_CL& ini = TheIniFile();
    int count = ini.GetInt(sectionName, L"count", 0);
    for (const auto& [index, item] : ini.GetIndexedStrings(sectionName, L"item", count)) {
        if (item.size() <= 2) continue;
        int flag = item[0] == L'1' ? 1 : 0;
        std::wstring extension = item.substr(2);
        ExtEntry existing;
        if (Find(extension, existing))
            SetEnabled(extension, flag);
        else
            Add(ExtEntry{flag, 0, extension, kUserEntryText}, 0);
    }
    Sort();
}

void CompareFileInfo_CL::Save() const
{
    Inifile_CL::KeyValues keys = {{L"count", std::to_wstring(GetCount())}};
    for (int i = 0; i < GetCount(); ++i)
        keys.emplace_back(NumberSuffix(L"item", i), std::to_wstring(entries[i].isEnabled) + L"|" + entries[i].extension);
    TheIniFile().SetStrings(sectionName, keys);
}

ExtEntry* CompareFileInfo_CL::FindEntry(const std::wstring& extension)
{
    std::wstring folded = ToLowerAscii(extension);
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const ExtEntry& entry) { return entry.extension == folded; });
    return found == entries.end() ? nullptr : &*found;
}

int CompareFileInfo_CL::Find(const std::wstring& extension, ExtEntry& found) const
{
    const ExtEntry* entry = const_cast<CompareFileInfo_CL*>(this)->FindEntry(extension);
    if (!entry) return 0;
    found = *entry;
    return 1;
}

int CompareFileInfo_CL::SetEnabled(const std::wstring& extension, int flag)
{
    ExtEntry* entry = FindEntry(extension);
    if (!entry) return 0;
    entry->isEnabled = flag;
    return 1;
}

int CompareFileInfo_CL::Add(const ExtEntry& entry, int sortAfter)
{
    if (FindEntry(entry.extension)) return 0;
    ExtEntry folded = entry;
    folded.extension = ToLowerAscii(entry.extension);
    entries.push_back(std::move(folded));
    if (sortAfter) Sort();
    return 1;
}

void CompareFileInfo_CL::RemoveAt(int index)
{
    if (index >= 0 && index < GetCount()) entries.erase(entries.begin() + index);
}

void CompareFileInfo_CL::Sort()
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ExtEntry& a, const ExtEntry& b) { return a.extension < b.extension; });
}
