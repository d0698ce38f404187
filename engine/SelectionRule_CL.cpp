#include "engine/SelectionRule_CL.h"

#include <windows.h>

#include <unordered_set>

namespace {

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder)
{
    if (folder.empty() || path.size() <= folder.size()) return false;
    // Windows compares names without regard to case, beyond A to Z too.
    if (::CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                               static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL)
        return false;
    return folder.back() == L'\\' || path[folder.size()] == L'\\';  // "D:\a" holds no "D:\ab\x"
}

int64_t FrameArea(const CompareFileEntry& entry)
{
    return static_cast<int64_t>(entry.frameWidth) * entry.frameHeight;
}

// Bytes a second; 0 when the length is not known.
double BitRate(const CompareFileEntry& entry)
{
    return entry.duration > 0 ? double(entry.size) / double(entry.duration) : 0.0;
}

// Whether `a` should stay rather than `b` under the rule (false when they tie).
bool Prefers(const CompareFileEntry& a, const CompareFileEntry& b, SelectionRule_CL::Rule rule,
             const std::vector<std::wstring>& folders)
{
    switch (rule) {
    case SelectionRule_CL::kKeepOldest:
        return a.lastWriteTime < b.lastWriteTime;
    case SelectionRule_CL::kKeepNewest:
        return a.lastWriteTime > b.lastWriteTime;
    case SelectionRule_CL::kKeepHighestFolder:
        return SelectionRule_CL::FolderRank(a.path, folders) < SelectionRule_CL::FolderRank(b.path, folders);
    case SelectionRule_CL::kKeepShortestPath:
        return a.path.size() < b.path.size();
    case SelectionRule_CL::kKeepHighestQuality:
        if (FrameArea(a) != FrameArea(b)) return FrameArea(a) > FrameArea(b);
        return BitRate(a) > BitRate(b);
    }
    return false;
}

}  // namespace

size_t SelectionRule_CL::FolderRank(const std::wstring& path, const std::vector<std::wstring>& folders)
{
    for (size_t i = 0; i < folders.size(); ++i)
        if (IsInsideFolder(path, folders[i])) return i;
    return folders.size();
}

size_t SelectionRule_CL::KeptMember(const DuplicateGroup& group, Rule rule, const std::vector<std::wstring>& folders)
{
    size_t kept = 0;
    for (size_t i = 1; i < group.size(); ++i)
        if (Prefers(*group[i], *group[kept], rule, folders)) kept = i;
    return kept;
}

void SelectionRule_CL::Apply(const std::vector<DuplicateGroup>& groups, Rule rule, const std::vector<std::wstring>& folders)
{
    // A movie may stand in two groups (an exact group's first file in a similar group too):
    // a file that one group keeps is ticked by none, so no group is left without its file.
    std::unordered_set<const CompareFileEntry*> kept;
    for (const DuplicateGroup& group : groups)
        if (!group.empty()) kept.insert(group[KeptMember(group, rule, folders)]);
    for (const DuplicateGroup& group : groups)
        for (CompareFileEntry* entry : group) entry->isTicked = kept.count(entry) == 0;
}

void SelectionRule_CL::ClearAll(const std::vector<DuplicateGroup>& groups)
{
    for (const DuplicateGroup& group : groups)
        for (CompareFileEntry* entry : group) entry->isTicked = false;
}
