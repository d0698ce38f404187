#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/UniqueHandle.h"
#include "engine/FileIdentitySet.h"

// Compares the first block (up to 2 MiB) of candidate files with that of one base file.
// The base's bytes are read once, as far as the candidates need them. A candidate may come
// already open, with its first bytes read (the detection opens files ahead of comparing).
//
// Files are read with ReadFile rather than through mapped views: a view whose page cannot
// be read (a file truncated from outside, a share gone) raises an exception, and one
// mapping per block costs far more under Wine.
class FirstBlockComparer_CL {
public:
    static constexpr uint64_t kFirstBlockLimit = 0x200000;
    static constexpr uint32_t kBlockSize = 0x10000;
    static constexpr int kSameFile = 2;

    // A file opened for comparing: shared with every other reader and writer.
    static FileHandle OpenForCompare(const std::wstring& path);
    static bool CurrentSize(HANDLE file, uint64_t& size);
    // Reads exactly `length` bytes at `offset`; a short read (the file shrank) is a failure.
    static bool ReadExactly(HANDLE file, uint64_t offset, uint8_t* buffer, uint32_t length);

    int OpenBase(const std::wstring& path);
    // Takes an open base whose first bytes were read already.
    int UseBase(FileHandle&& file, std::span<const uint8_t> prefix, const std::wstring& path);
    void CloseBase();
    // 1: the same size and first block; kSameFile: the base (or a file matched to it) under
    // another name, not read; 0: different, unreadable, or no base open.
    int Compare(const std::wstring& path);
    int CompareOpened(HANDLE candidate, std::span<const uint8_t> prefix, const std::wstring& path);
    uint64_t GetComparedBytes() const { return lastComparedBytes; }
    // A file found equal to the base without being read, by the index the walk gave it: a
    // later candidate that is this file under another name is then no copy either.
    void NoteMatched(uint64_t fileIndex, const std::wstring& path);
    // The base's whole first block (empty when it cannot be read).
    std::span<const uint8_t> BaseFirstBlock();

private:
    bool ReadBaseUpTo(uint64_t end);

    FileHandle baseFile;
    std::wstring basePath;
    FileIdentitySet matchedFiles;  // the base and the files matched to it
    bool isBaseInMatched = false;
    uint64_t baseSize = 0;
    std::vector<uint8_t> baseBlock;
    uint64_t baseBlockFilled = 0;
    std::vector<uint8_t> candidateBlock;
    uint64_t lastComparedBytes = 0;
};
