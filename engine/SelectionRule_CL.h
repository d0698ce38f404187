#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "engine/DuplicateGroup.h"

// The rules that tick the copies of every group at once, keeping one file of each: the
// oldest, the newest, the one in the folder listed highest, or the one with the shortest
// path, or the movie of the best picture (the largest frame, then the highest bit rate; a
// movie whose frame size is not known yet counts as the smallest). A rule never ticks a
// whole group.
class SelectionRule_CL {
public:
    enum Rule { kKeepOldest, kKeepNewest, kKeepHighestFolder, kKeepShortestPath, kKeepHighestQuality };

    // The member that stays; of members the rule cannot tell apart, the earlier one.
    // `folders` are the listed compare folders, highest first.
    static size_t KeptMember(const DuplicateGroup& group, Rule rule, const std::vector<std::wstring>& folders);
    // Ticks every member of every group but the one that stays, and unticks that one.
    static void Apply(const std::vector<DuplicateGroup>& groups, Rule rule, const std::vector<std::wstring>& folders);
    static void ClearAll(const std::vector<DuplicateGroup>& groups);
    // The place of the highest listed folder that holds the file (at any depth); the
    // number of folders when none does.
    static size_t FolderRank(const std::wstring& path, const std::vector<std::wstring>& folders);
};
