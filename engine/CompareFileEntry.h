#pragma once
#include <cstdint>
#include <string>

// One candidate file of a search.
struct CompareFileEntry {
    int isGrouped = 0;            // used as a base or matched to one
    std::wstring path;            // folder, "\", name as the scan built it; or as listed
    uint64_t size = 0;            // from the directory entry at scan time
    uint64_t comparedBytes = 0;   // leading bytes found equal to the group's base
};
