#pragma once
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/CompareFileEntry.h"

// What earlier searches learnt of each candidate file, kept with the path, size, last-write
// time, change time, file index and volume it was learnt at (its key): the digests of its
// first 4 KiB and of its whole first block, and which other file its first block was proven
// equal to, byte for byte. A file that matches its entry is not opened for its digests
// again; one that changed in any part of its key is read afresh. The change time is what
// sees a rewrite that keeps size and write time: a tool may set the write time back, and a
// file deleted and written anew at the same path may get the same index (Wine reuses
// inodes). Digests only sort files apart. A proven pair is trusted only while both files
// match their entries as they were when it was proven; every other file that still looks
// alike is compared byte for byte.
//
// The file is written whole to a temporary file that then replaces the old one; a file that
// is damaged, cut short, foreign or of another version is ignored (and later rewritten).
class DigestCache_CL {
public:
    static constexpr uint32_t kVersion = 4;
    static constexpr uint32_t kKeptSearches = 8;        // entries unseen for longer are dropped
    static constexpr size_t kMostEntries = 4000000;     // and never more than this many

    struct Digests {
        uint64_t prefix = 0;
        uint64_t block = 0;
        uint64_t blockHigh = 0;
        bool hasBlock = false;
    };
    // files[file] was proven equal to files[partner] over its first `bytes` bytes.
    struct ProvenPair {
        uint32_t file = 0;
        uint32_t partner = 0;
        uint64_t bytes = 0;
    };

    bool Load(const std::wstring& path);
    // Load on a thread of its own, so that a large cache is read while the search walks its
    // folders; FinishLoad waits for it and tells whether it loaded. A search starts with
    // FinishLoad, as Load, Save and GetCount do.
    void StartLoad(const std::wstring& path);
    bool FinishLoad();
    bool Save(const std::wstring& path);
    // The digests of the file as the walk saw it; false when it is not cached, or any part of
    // its key differs (a file index of 0 is unknown: never taken from the cache).
    bool Find(const CompareFileEntry& file, Digests& digests);
    void Store(const CompareFileEntry& file, const Digests& digests);
    // Find for each of `files` (the digests of files[i] in digests[i], or none), and the pairs
    // among them proven equal at an earlier search whose two files both still match their
    // entries as they were then.
    void FindAll(std::span<const CompareFileEntry* const> files, std::vector<std::optional<Digests>>& digests,
                 std::vector<ProvenPair>& pairs);
    // `file` was just found equal to `partner` over its first `bytes` bytes; kept only when
    // both have entries of their current keys.
    void StoreProvenPair(const CompareFileEntry& file, const CompareFileEntry& partner, uint64_t bytes);
    size_t GetCount()
    {
        FinishLoad();
        return entries.size();
    }

private:
    // Kept small: a library of 200,000 files has as many entries. The path is its folder's
    // number and the file name's place in one shared text; entries are found by a hash of
    // the path, and the path itself is checked. Every key an entry takes gets a stamp of its
    // own, and a proven pair names its partner's stamp: a partner whose key changed since
    // (even to one that matches its file again) no longer vouches for the pair.
    struct Entry {
        uint32_t folder = 0;
        uint32_t nameAt = 0;
        uint32_t nameLength = 0;
        uint32_t lastSeen = 0;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
        uint64_t changeTime = 0;
        uint64_t fileIndex = 0;
        uint32_t volumeSerial = 0;
        uint32_t stamp = 0;
        Digests digests;
        uint64_t partnerHash = 0;   // of the partner's path
        uint32_t partnerStamp = 0;  // 0: no proven partner
        uint64_t provenBytes = 0;
        uint32_t foundIn = 0;       // the FindAll that matched it last, and the file's place there
        uint32_t foundAt = 0;

        bool HasKeyOf(const CompareFileEntry& file) const
        {
            return size == file.size && lastWriteTime == file.lastWriteTime && changeTime == file.changeTime &&
                   fileIndex == file.fileIndex && volumeSerial == file.volumeSerial;
        }
    };

    void Clear();
    bool LoadNow(const std::wstring& path);
    Entry* FindEntry(std::wstring_view path) { return FindEntry(path, PathHash(path)); }
    Entry* FindEntry(std::wstring_view path, uint64_t hash);
    Entry* MatchingEntry(const CompareFileEntry& file, uint64_t hash);
    Entry* MatchingEntry(const CompareFileEntry& file) { return MatchingEntry(file, PathHash(file.path)); }
    // True when the entry was ageing (see isAgeing).
    bool MarkSeen(Entry& entry)
    {
        const bool wasAgeing = generation - entry.lastSeen > kKeptSearches / 2;
        entry.lastSeen = generation;
        return wasAgeing;
    }
    // Of the folder's and the name's hashes, so that loading never puts a path together.
    static uint64_t TextHash(std::wstring_view text) { return std::hash<std::wstring_view>{}(text); }
    static uint64_t PathHash(uint64_t folderHash, std::wstring_view name)
    {
        return folderHash * 0x9E3779B97F4A7C15ull + TextHash(name);
    }
    static uint64_t PathHash(std::wstring_view path);
    Entry& AddEntry(std::wstring_view path);
    Entry& AddEntry(uint64_t hash, uint32_t folder, std::wstring_view name);
    uint32_t FolderNumber(std::wstring_view folder);
    std::wstring_view NameOf(const Entry& entry) const { return std::wstring_view(names).substr(entry.nameAt, entry.nameLength); }

    // The entries live in large blocks, taken in order as they are added: an allocation of
    // its own for each made the load of a large cache a sixth slower, and a folder's
    // entries, loaded together, now lie together.
    std::unique_ptr<std::pmr::monotonic_buffer_resource> entryMemory = std::make_unique<std::pmr::monotonic_buffer_resource>();
    std::pmr::unordered_map<uint64_t, Entry> entries{entryMemory.get()};  // by PathHash
    std::vector<std::wstring> folders;
    std::unordered_map<std::wstring, uint32_t> folderNumbers;
    std::wstring names;                           // every entry's file name, one after another
    uint32_t generation = 1;                      // counts the searches that saved the cache
    uint32_t lastStamp = 0;
    uint32_t lookups = 0;                         // FindAll calls
    bool isChanged = false;                       // since the file at `loadedFrom` was read
    // An entry was seen that the file records as unseen for half its keeping time: saved
    // again, or a library searched only between searches that rewrite the file would age out.
    bool isAgeing = false;
    std::wstring loadedFrom;
    std::jthread loader;
    bool isLoaded = false;                        // by the last load the loader ran
};
