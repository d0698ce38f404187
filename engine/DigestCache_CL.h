#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/CompareFileEntry.h"

// What earlier searches read of each candidate file: the digests of its first 4 KiB and of
// its whole first block, kept with the path, size, last-write time, change time and file
// index they were read at. A file that matches its entry in all five is not opened for its
// digests again; one that changed in any is read afresh. The change time is what sees a
// rewrite that keeps size and write time: a tool may set the write time back, and a file
// deleted and written anew at the same path may get the same index (Wine reuses inodes). Digests only sort files apart: files that still
// look equal are compared byte for byte, so the cache never forms a group by itself.
//
// The file is written whole to a temporary file that then replaces the old one; a file that
// is damaged, cut short, foreign or of another version is ignored (and later rewritten).
class DigestCache_CL {
public:
    static constexpr uint32_t kVersion = 3;
    static constexpr uint32_t kKeptSearches = 8;        // entries unseen for longer are dropped
    static constexpr size_t kMostEntries = 4000000;     // and never more than this many

    struct Digests {
        uint64_t prefix = 0;
        uint64_t block = 0;
        uint64_t blockHigh = 0;
        bool hasBlock = false;
    };

    bool Load(const std::wstring& path);
    bool Save(const std::wstring& path);
    // The digests of the file as the walk saw it; false when it is not cached, or its size,
    // write time, change time or index differ (a file index of 0 is unknown: never taken from the cache).
    bool Find(const CompareFileEntry& file, Digests& digests);
    void Store(const CompareFileEntry& file, const Digests& digests);
    size_t GetCount() const { return entries.size(); }

private:
    // Kept small: a library of 200,000 files has as many entries. The path is its folder's
    // number and the file name's place in one shared text; entries are found by a hash of
    // the path, and the path itself is checked.
    struct Entry {
        uint32_t folder = 0;
        uint32_t nameAt = 0;
        uint32_t nameLength = 0;
        uint32_t lastSeen = 0;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
        uint64_t changeTime = 0;
        uint64_t fileIndex = 0;
        Digests digests;
    };

    void Clear();
    Entry* FindEntry(std::wstring_view path);
    Entry& AddEntry(std::wstring_view path);
    uint32_t FolderNumber(std::wstring_view folder);
    std::wstring_view NameOf(const Entry& entry) const { return std::wstring_view(names).substr(entry.nameAt, entry.nameLength); }

    std::unordered_map<uint64_t, Entry> entries;  // by hash of the whole path
    std::vector<std::wstring> folders;
    std::unordered_map<std::wstring, uint32_t> folderNumbers;
    std::wstring names;                           // every entry's file name, one after another
    uint32_t generation = 1;                      // counts the searches that saved the cache
};
