#pragma once
#include <cstdint>
#include <string>

// One candidate file of a search.
struct CompareFileEntry {
    int isGrouped = 0;            // used as a base or matched to one
    std::wstring path;            // folder, "\", name as the scan built it; or as listed
    uint64_t size = 0;            // from the directory entry at scan time
    uint64_t comparedBytes = 0;   // leading bytes found equal to the group's base
    uint64_t lastWriteTime = 0;   // from the directory entry (FILETIME units)
    uint64_t changeTime = 0;      // the same; moves on every write, even one that sets the write time back
    uint64_t fileIndex = 0;       // from the directory entry; 0 when the listing gave none
    uint32_t volumeSerial = 0;    // of the volume walked; 0 when unknown
    bool isTicked = false;        // marked by the user (or a selection rule) for deletion
    // Of a movie, once known (from its fingerprint or its preview); 0 while unknown.
    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    int64_t duration = 0;         // 100 ns
    int similarity = 0;           // percent like the first file of its similar group (that file 100)
};
