#pragma once
#include <windows.h>

#include <cstdint>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "core/CriticalSection_CL.h"
#include "core/UniqueHandle.h"
#include "engine/CompareFileEntry.h"
#include "engine/DuplicateGroup.h"
#include "engine/DigestCache_CL.h"
#include "engine/FileIdentitySet.h"

// The scanner: collects candidate files (folder walk or single files), then finds the
// groups of files with equal size and equal first 2 MiB. Subclasses give the four virtual
// operations their meaning.
//
// Files are read with ReadFile in 64 KiB blocks rather than through mapped views: a view
// whose page cannot be read (a file truncated from outside, a share gone) raises an
// exception, and one mapping per block costs far more under Wine.
//
// Threads: the scan and the detection run on one worker. The main thread may read and
// change `groups` while a search runs; both sides hold GroupsLock() for every access. The
// worker never holds it while it calls OnGroupFound or OnProgress, so a main window that
// handles those synchronously cannot deadlock with it.
class FirstFileCompare_CL {
public:
    static constexpr uint64_t kFirstBlockLimit = 0x200000;
    static constexpr uint32_t kBlockSize = 0x10000;
    static constexpr uint64_t kPrefixLength = 4096;
    static constexpr DWORD kEndPauseMs = 500;
    static constexpr int kDeepestFolder = 200;
    static constexpr size_t kListingBufferBytes = 0x10000;
    static constexpr int kSameFile = 2;

    FirstFileCompare_CL();
    virtual int AcceptFile(const CompareFileEntry& file);
    virtual void OnGroupFound(DuplicateGroup group);
    virtual void OnProgress(int value);
    virtual void OnCompareProgress(int percent, uint64_t bytesCompared);
    virtual ~FirstFileCompare_CL();

    FirstFileCompare_CL(const FirstFileCompare_CL&) = delete;
    FirstFileCompare_CL& operator=(const FirstFileCompare_CL&) = delete;

    // Folder scan.
    int ScanFolder(const std::wstring& folder, const volatile LONG* cancel);
    int ScanDirectory(std::wstring folder, std::vector<CompareFileEntry>& list);
    int AddFile(const std::wstring& path);
    int Clear();

    // Duplicate detection over `files`.
    int FindDuplicates(const volatile LONG* cancel);
    int OpenBaseFile(const std::wstring& path);
    int CompareFirstBlock(const std::wstring& path);
    int CloseBaseFile();
    uint64_t GetComparedBytes() const { return lastComparedBytes; }

    // 1 when both files have the same size and bytes; reports progress by percent.
    int CompareWholeFiles(const std::wstring& pathA, const std::wstring& pathB, uint32_t maxStep,
                          const volatile LONG* cancel);

    std::vector<CompareFileEntry>& Files() { return files; }
    std::vector<DuplicateGroup>& Groups() { return groups; }
    CriticalSection_CL& GroupsLock() { return groupsLock; }
    void SetEndPause(DWORD milliseconds) { endPauseMs = milliseconds; }
    // Digests of earlier searches (null: none); the detection reads into it what it reads.
    void SetDigestCache(DigestCache_CL* cache) { digestCache = cache; }
    // Files opened for comparing in this process so far (for tests and benchmarks).
    static inline std::atomic<uint64_t> openCount{0};

protected:
    std::vector<CompareFileEntry> files;
    std::vector<DuplicateGroup> groups;

private:
    struct DetectionState;

    bool ReadBaseUpTo(uint64_t end);
    bool IsNewFinalPath(HANDLE directory);
    bool IsCanceled() const { return cancelFlag && *cancelFlag == 1; }
    bool DigestOf(const CompareFileEntry& entry, uint64_t length, uint64_t& digest, uint64_t* high);
    bool CachedDigests(const CompareFileEntry& entry, DigestCache_CL::Digests& digests);
    void StoreDigests(const CompareFileEntry& entry, const DigestCache_CL::Digests& digests);
    void PrepareSizeClass(DetectionState& state, size_t classBegin);
    void SplitRun(DetectionState& state, uint32_t member);
    void ReportStepsUpTo(DetectionState& state, uint64_t target);
    void JumpTo(DetectionState& state, uint64_t target);
    void FormGroup(DetectionState& state, size_t baseIndex);

    FileHandle baseFile;
    std::wstring basePath;
    FileIdentitySet matchedFiles;  // the base and the files matched to it
    uint64_t baseSize = 0;
    std::vector<uint8_t> baseBlock;  // the base's first bytes, read once per base
    uint64_t baseBlockFilled = 0;
    std::vector<uint8_t> candidateBlock;
    uint64_t firstBlockLimit = kFirstBlockLimit;
    uint64_t lastComparedBytes = 0;
    int scanDepth = 0;
    const volatile LONG* cancelFlag = nullptr;
    int lastScanProgress = 0;
    FileIdentitySet visitedFolders;  // of the current ScanFolder walk
    DigestCache_CL* digestCache = nullptr;
    std::set<std::wstring> visitedFinalPaths;  // folders without an identity, same walk
    CriticalSection_CL groupsLock;
    DWORD endPauseMs = kEndPauseMs;
};
