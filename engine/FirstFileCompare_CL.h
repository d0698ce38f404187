#pragma once
#include <windows.h>

#include <cstdint>
#include <atomic>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/CriticalSection_CL.h"
#include "core/UniqueHandle.h"
#include "engine/CompareFileEntry.h"
#include "engine/DuplicateGroup.h"
#include "engine/DigestCache_CL.h"
#include "engine/FileIdentitySet.h"
#include "engine/FirstBlockComparer_CL.h"

// The scanner: collects candidate files (folder walk or single files), then finds the
// groups of files with equal size and equal first 2 MiB. Subclasses give the four virtual
// operations their meaning.
//
// Opening a file costs far more than reading it under Wine, and opens on two threads run
// nearly twice as fast as on one. So the size classes are settled on helper threads, ahead
// of the loop that reports: a class's files are opened once, their first 4 KiB read, and
// the ones that still look alike compared while still open, with those bytes kept (unless
// a class holds more than kMostHeldFiles). The reporting loop visits the files in list
// order and reports groups and progress exactly as a plain loop over them would.
//
// Threads: the scan and the reporting run on one worker. The main thread may read and
// change `groups` while a search runs; both sides hold GroupsLock() for every access. The
// worker never holds it while it calls OnGroupFound or OnProgress, so a main window that
// handles those synchronously cannot deadlock with it.
class FirstFileCompare_CL {
public:
    static constexpr uint64_t kFirstBlockLimit = FirstBlockComparer_CL::kFirstBlockLimit;
    static constexpr uint32_t kBlockSize = FirstBlockComparer_CL::kBlockSize;
    static constexpr uint64_t kPrefixLength = 4096;
    static constexpr DWORD kEndPauseMs = 500;
    static constexpr int kDeepestFolder = 200;
    static constexpr size_t kListingBufferBytes = 0x10000;
    static constexpr int kSameFile = FirstBlockComparer_CL::kSameFile;
    static constexpr size_t kMostHeldFiles = 2048;  // per class being settled
    static constexpr size_t kClassesAhead = 64;

    FirstFileCompare_CL();
    virtual int AcceptFile(const CompareFileEntry& file);
    virtual void OnGroupFound(DuplicateGroup group);
    virtual void OnProgress(int value);
    virtual void OnCompareProgress(int percent, uint64_t bytesCompared);
    virtual ~FirstFileCompare_CL();

    FirstFileCompare_CL(const FirstFileCompare_CL&) = delete;
    FirstFileCompare_CL& operator=(const FirstFileCompare_CL&) = delete;

    // Folder scan. One search (from one Clear to the next) lists each file once: a folder met
    // again, under any name or path, is not walked again, and a file listed again under any
    // name is not added again.
    int ScanFolder(const std::wstring& folder, const volatile LONG* cancel);
    // Every folder named, those named inside another named folder after it: the outer walk
    // then meets them, and the files come in the order a walk of the outer folder alone gives.
    int ScanFolders(const std::vector<std::wstring>& folders, const volatile LONG* cancel);
    int ScanDirectory(std::wstring folder, std::vector<CompareFileEntry>& list);
    // 0 when the file cannot be found or opened for reading (it is not added); otherwise 1,
    // whether the filter kept it or not.
    int AddFile(const std::wstring& path);
    int Clear();

    // Duplicate detection over `files`.
    int FindDuplicates(const volatile LONG* cancel);
    int OpenBaseFile(const std::wstring& path);
    int CompareFirstBlock(const std::wstring& path);
    int CloseBaseFile();
    uint64_t GetComparedBytes() const { return comparer.GetComparedBytes(); }

    // 1 when both files have the same size and bytes; reports progress by percent. 0 for
    // different, unreadable, cancelled, or changed while compared (then the next is true).
    int CompareWholeFiles(const std::wstring& pathA, const std::wstring& pathB, uint32_t maxStep,
                          const volatile LONG* cancel);
    bool WasChangedWhileCompared() const { return changedWhileCompared; }
    // Whether the last whole-file comparison could not open one of the files.
    bool WasNotOpened() const { return wasNotOpened; }

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
    struct ClassWork;

    bool IsNewFinalPath(HANDLE directory);
    bool IsCanceled() const { return cancelFlag && *cancelFlag == 1; }
    bool CachedDigests(const CompareFileEntry& entry, DigestCache_CL::Digests& digests);
    struct KnownClass;
    void LookUpCache(DetectionState& state);
    bool PartRunsByBlock(const DetectionState& state, KnownClass& known);
    bool SettleKnownClass(DetectionState& state, size_t task, KnownClass& known);
    void StoreDigests(std::span<const std::pair<uint32_t, DigestCache_CL::Digests>> digests);
    void SettleSizeClass(DetectionState& state, size_t task, FirstBlockComparer_CL& classComparer);
    void DigestSizeClass(DetectionState& state, ClassWork& work);
    void KeepRunMembers(DetectionState& state, ClassWork& work);
    bool IsKnownMemberName(const DetectionState& state, const DuplicateGroup& group, uint32_t index) const;
    void SettleBase(DetectionState& state, ClassWork& work, uint32_t baseIndex);
    void StoreProvenPairs(const DetectionState& state, const std::vector<DuplicateGroup>& classGroups);
    int CompareCandidate(ClassWork& work, uint32_t index);
    void SplitRun(DetectionState& state, ClassWork& work, uint32_t baseIndex);
    bool BlockDigest(DetectionState& state, ClassWork& work, uint32_t index, uint32_t baseIndex);
    void ReportStepsUpTo(DetectionState& state, uint64_t target);
    void JumpTo(DetectionState& state, uint64_t target);
    void SetProgress(DetectionState& state, int progress);
    void ReportBase(DetectionState& state, size_t baseIndex);

    FirstBlockComparer_CL comparer;  // of OpenBaseFile and CompareFirstBlock
    int scanDepth = 0;
    uint32_t walkVolume = 0;  // of the folder being walked
    bool askVolume = false;   // the next folder walked may be on another volume
    const volatile LONG* cancelFlag = nullptr;
    int lastScanProgress = 0;
    FileIdentitySet visitedFolders;            // walked in this search
    std::set<std::wstring> visitedFinalPaths;  // the same, for folders without an identity
    FileIdentitySet listedFiles;               // added by AddFile in this search
    DigestCache_CL* digestCache = nullptr;
    std::mutex cacheLock;  // the helpers ask and feed the cache
    CriticalSection_CL groupsLock;
    DWORD endPauseMs = kEndPauseMs;
    bool changedWhileCompared = false;
    bool wasNotOpened = false;
};
