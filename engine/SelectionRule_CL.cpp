#include "engine/SelectionRule_CL.h"

#include <windows.h>

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
    for (const DuplicateGroup& group : groups) {
        if (group.empty()) continue;
        const size_t kept = KeptMember(group, rule, folders);
        for (size_t i = 0; i < group.size(); ++i) group[i]->isTicked = i != kept;
    }
}

void SelectionRule_CL::ClearAll(const std::vector<DuplicateGroup>& groups)
{
    for (const DuplicateGroup& group : groups)
        for (CompareFileEntry* entry : group) entry->isTicked = false;
}
