#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/CompareFileEntry.h"
#include "engine/MovieFingerprint.h"

// The fingerprints of earlier searches, kept beside the digest cache and keyed as it is:
// a movie whose path, size, write and change times, file index and volume are unchanged is
// never decoded again (one that could not be decoded is not tried again either, until it
// changes). A file index of 0 is unknown: such a movie is neither taken from nor kept in the cache.
// Written whole through a temporary file; a damaged, cut or foreign file is ignored.
class FingerprintCache_CL {
public:
    static constexpr uint32_t kVersion = 4;  // 4: frames on one grid counted from either end
    static constexpr uint32_t kKeptSearches = 8;   // entries unseen for longer are dropped
    static constexpr size_t kMostEntries = 1000000;
    static constexpr uint32_t kMostFrames = 256;   // per fingerprint, when reading

    bool Load(const std::wstring& path);
    bool Save(const std::wstring& path);
    bool Find(const CompareFileEntry& file, MovieFingerprint& print);
    void Store(const CompareFileEntry& file, const MovieFingerprint& print);
    size_t GetCount() const { return entries.size(); }

private:
    struct Entry {
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
        uint64_t changeTime = 0;
        uint64_t fileIndex = 0;
        uint32_t volumeSerial = 0;
        uint32_t lastSeen = 0;
        MovieFingerprint print;
    };
    std::unordered_map<std::wstring, Entry> entries;
    uint32_t generation = 1;
};
