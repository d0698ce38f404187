#include "engine/FirstFileCompare_CL.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <tuple>

#include "core/PathFunctions.h"
#include "engine/FileIdentity.h"

namespace {

constexpr DWORD kCompareAccess = GENERIC_READ | READ_CONTROL;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileHandle OpenForCompare(const std::wstring& path, DWORD flags)
{
    ++FirstFileCompare_CL::openCount;
    return FileHandle(
        ::CreateFileW(LongPathForm(path).c_str(), kCompareAccess, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool CurrentSize(HANDLE file, uint64_t& size)
{
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(file, &value)) return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

// Reads exactly `length` bytes at `offset`; a short read (the file shrank) is a failure.
bool ReadExactly(HANDLE file, uint64_t offset, uint8_t* buffer, uint32_t length)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ::ReadFile(file, buffer, length, &got, &at) && got == length;
}

uint64_t MixBlock(uint64_t hash, const uint8_t* data, size_t length)
{
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        memcpy(&word, data + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash = (hash << 27) | (hash >> 37);
    }
    for (; i < length; ++i) hash = ((hash ^ data[i]) * kMultiplier) ^ (hash >> 31);
    return hash;
}

bool SamePathIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

}  // namespace

// The detection visits bases in list order as the straightforward n x n loop would, but a
// base only looks at the later free entries of its own run: same size, same digest of the
// first 4 KiB and, once a run proved mixed, same digest of the whole first block. Each
// file is digested at most twice, so the reads stay bounded however many files share a
// size. Progress counts the n x n steps of the plain loop arithmetically.
struct FirstFileCompare_CL::DetectionState {
    // kPrefix: the digest of the first 4 KiB is known; kFull: also that of the whole first
    // block (or the prefix covers it). A run is a stretch of one size class whose entries
    // agree in state and digests.
    enum DigestState : uint8_t { kNotRead, kPrefix, kFull, kUnreadable };

    size_t count = 0;
    uint64_t totalSteps = 0;
    uint64_t done = 0;
    int lastProgress = 0;
    std::vector<uint32_t> order;          // entries by (size, readable, digests, index)
    std::vector<uint32_t> positionOf;     // entry index -> its place in `order`
    std::vector<uint32_t> classEnd;       // place in `order` -> end of its size class
    std::vector<uint64_t> prefixDigest;
    std::vector<uint64_t> digest;         // of the whole first block, once split; else 0
    std::vector<uint64_t> digestHigh;     // its second half
    std::vector<uint8_t> digestState;
    std::vector<uint8_t> isSameFile;      // another name of an earlier base

    bool SameRun(uint32_t a, uint32_t b) const
    {
        return digestState[a] != kUnreadable && digestState[a] == digestState[b] &&
               prefixDigest[a] == prefixDigest[b] && digest[a] == digest[b] && digestHigh[a] == digestHigh[b];
    }
    // Sorts [first, last) of `order` into runs, unreadable entries last, and notes the places.
    void SortRuns(size_t first, size_t last)
    {
        auto key = [&](uint32_t i) {
            bool readable = digestState[i] != kUnreadable;
            return std::make_tuple(!readable, readable ? prefixDigest[i] : uint64_t(i), digest[i], digestHigh[i], i);
        };
        std::sort(order.begin() + first, order.begin() + last, [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
        for (size_t place = first; place < last; ++place) positionOf[order[place]] = uint32_t(place);
    }
};

FirstFileCompare_CL::FirstFileCompare_CL()
{
    groupsLock.Initialise();
}

FirstFileCompare_CL::~FirstFileCompare_CL()
{
    CloseBaseFile();
}

int FirstFileCompare_CL::AcceptFile(const CompareFileEntry&)
{
    return 1;
}

void FirstFileCompare_CL::OnGroupFound(DuplicateGroup) {}
void FirstFileCompare_CL::OnProgress(int) {}
void FirstFileCompare_CL::OnCompareProgress(int, uint64_t) {}

int FirstFileCompare_CL::Clear()
{
    CriticalSection_CL::Guard guard(groupsLock);
    groups.clear();
    files.clear();
    return 1;
}

int FirstFileCompare_CL::ScanFolder(const std::wstring& folder, const volatile LONG* cancel)
{
    cancelFlag = cancel;
    lastScanProgress = 0;
    scanDepth = 0;
    visitedFolders.Clear();
    visitedFinalPaths.clear();
    ScanDirectory(folder, files);
    visitedFolders.Clear();
    visitedFinalPaths.clear();
    return 1;
}

bool FirstFileCompare_CL::IsNewFinalPath(HANDLE directory)
{
    // Only asked where the identity is unknown: the query costs a round trip under Wine.
    wchar_t buffer[1024];
    const DWORD length = ::GetFinalPathNameByHandleW(directory, buffer, 1024, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 1024) return true;
    return visitedFinalPaths.insert(ToLowerAscii(std::wstring(buffer, length))).second;
}

int FirstFileCompare_CL::ScanDirectory(std::wstring folder, std::vector<CompareFileEntry>& list)
{
    if (folder.empty()) return 1;
    // A link back into the walked tree would otherwise repeat it until paths grow too long.
    FileHandle directory(::CreateFileW(LongPathForm(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Where the drive tells no identities, a cycle still ends: by the folder's final path
    // where the platform gives it, and at a depth no real library reaches.
    uint64_t index = 0;
    const bool isKnown = directory && FileIdentity::IndexOfHandle(directory.Get(), index);
    if (isKnown && !visitedFolders.InsertIfNew(directory.Get(), folder)) return 1;
    if (directory && !isKnown && !IsNewFinalPath(directory.Get())) return 1;
    if (scanDepth >= kDeepestFolder) return 1;

    ++scanDepth;
    if (folder.back() != L'\\') folder += L'\\';
    const size_t cut = folder.size();
    // The listing with file indexes: one query per buffer of entries, and the index comes
    // with each file for free (the digest cache checks it).
    std::vector<uint8_t> buffer(kListingBufferBytes);
    FILE_INFO_BY_HANDLE_CLASS listing = FileIdBothDirectoryRestartInfo;
    CompareFileEntry work;
    bool stopped = false;
    while (!stopped && directory &&
           ::GetFileInformationByHandleEx(directory.Get(), listing, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        listing = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto& entry = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
            const std::wstring_view name(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
            if (!(entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                work.path.assign(folder, 0, cut);
                work.path += name;
                work.size = static_cast<uint64_t>(entry.EndOfFile.QuadPart);
                work.lastWriteTime = static_cast<uint64_t>(entry.LastWriteTime.QuadPart);
                work.fileIndex = static_cast<uint64_t>(entry.FileId.QuadPart);
                work.isGrouped = 0;
                work.comparedBytes = 0;
                if (AcceptFile(work) == 1) list.push_back(work);
            } else if (!name.empty() && name[0] != L'.') {
                folder.resize(cut);
                folder += name;
                ScanDirectory(folder, list);
            }
            int progress = 800 - std::min(scanDepth * 30, 800);
            if (progress != lastScanProgress) OnProgress(progress);
            lastScanProgress = progress;
            if (IsCanceled()) {
                stopped = true;
                break;
            }
            if (!entry.NextEntryOffset) break;
            offset += entry.NextEntryOffset;
        }
    }
    --scanDepth;
    return 1;
}

int FirstFileCompare_CL::AddFile(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    FindHandle search(::FindFirstFileW(LongPathForm(path).c_str(), &data));
    if (!search) return 1;
    CompareFileEntry work;
    work.path = path;
    work.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    work.lastWriteTime = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    search.Reset();
    if (AcceptFile(work) == 1) files.push_back(work);
    return 1;
}

int FirstFileCompare_CL::CloseBaseFile()
{
    baseFile.Reset();
    baseSize = 0;
    matchedFiles.Clear();
    baseBlockFilled = 0;
    return 1;
}

int FirstFileCompare_CL::OpenBaseFile(const std::wstring& path)
{
    CloseBaseFile();
    baseFile = OpenForCompare(path, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!baseFile) return 0;
    basePath = path;
    // An empty file has nothing to compare: it never matches, as before with mappings.
    if (!CurrentSize(baseFile.Get(), baseSize) || baseSize == 0) {
        CloseBaseFile();
        return 0;
    }
    return 1;
}

bool FirstFileCompare_CL::ReadBaseUpTo(uint64_t end)
{
    if (baseBlock.size() < firstBlockLimit) baseBlock.resize(firstBlockLimit);
    if (baseBlockFilled >= end) return true;
    // One read for what is missing: under Wine every call costs more than the copying.
    const uint32_t chunk = static_cast<uint32_t>(end - baseBlockFilled);
    if (!ReadExactly(baseFile.Get(), baseBlockFilled, baseBlock.data() + baseBlockFilled, chunk)) return false;
    baseBlockFilled = end;
    return true;
}

int FirstFileCompare_CL::CompareFirstBlock(const std::wstring& path)
{
    FileHandle candidate = OpenForCompare(path, FILE_FLAG_SEQUENTIAL_SCAN);
    uint64_t size = 0;
    if (!candidate || !baseFile || !CurrentSize(candidate.Get(), size) || size != baseSize || size == 0) return 0;
    // The base, or a file already matched to it, under another path (hard link, folder
    // link, 8.3 name) is no copy: deleting it would delete the file itself. Asked before
    // reading (the index costs little), so the links of one file are never read in full.
    if (matchedFiles.IsEmpty()) matchedFiles.InsertIfNew(baseFile.Get(), basePath);
    if (matchedFiles.Contains(candidate.Get())) return kSameFile;

    const uint64_t end = std::min(size, firstBlockLimit);
    if (candidateBlock.size() < end) candidateBlock.resize(static_cast<size_t>(end));
    // Steps growing from 64 KiB: a difference near the start is found after a small read,
    // a true copy is read in a few large ones.
    uint64_t step = kBlockSize;
    for (uint64_t offset = 0; offset < end; step *= 2) {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(end - offset, step));
        if (!ReadBaseUpTo(offset + chunk)) return 0;
        if (!ReadExactly(candidate.Get(), offset, candidateBlock.data(), chunk)) return 0;
        if (memcmp(baseBlock.data() + offset, candidateBlock.data(), chunk) != 0) return 0;
        offset += chunk;
    }
    matchedFiles.InsertIfNew(candidate.Get(), path);
    lastComparedBytes = end;
    return 1;
}

bool FirstFileCompare_CL::DigestOf(const CompareFileEntry& entry, uint64_t length, uint64_t& digest, uint64_t* high)
{
    FileHandle file = OpenForCompare(entry.path, FILE_FLAG_SEQUENTIAL_SCAN);
    uint64_t size = 0;
    if (!file || !CurrentSize(file.Get(), size) || size != entry.size || size == 0) return false;
    const uint64_t end = std::min(size, length);
    candidateBlock.resize(kBlockSize);
    digest = end;
    // A second lane with another start makes the digest of the whole first block 128 bits:
    // kept in the cache, it sets files apart without reading them again.
    uint64_t second = ~end;
    for (uint64_t offset = 0; offset < end; offset += kBlockSize) {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(end - offset, kBlockSize));
        if (!ReadExactly(file.Get(), offset, candidateBlock.data(), chunk)) return false;
        digest = MixBlock(digest, candidateBlock.data(), chunk);
        if (high) second = MixBlock(second * 0xC2B2AE3D27D4EB4Full, candidateBlock.data(), chunk);
    }
    if (high) *high = second;
    return true;
}

bool FirstFileCompare_CL::CachedDigests(const CompareFileEntry& entry, DigestCache_CL::Digests& digests)
{
    return digestCache && digestCache->Find(entry, digests);
}

void FirstFileCompare_CL::StoreDigests(const CompareFileEntry& entry, const DigestCache_CL::Digests& digests)
{
    if (digestCache) digestCache->Store(entry, digests);
}

void FirstFileCompare_CL::PrepareSizeClass(DetectionState& state, size_t classBegin)
{
    const size_t classEnd = state.classEnd[classBegin];
    const bool prefixCoversBlock = files[state.order[classBegin]].size <= kPrefixLength;
    // What the cache knows of every file of the class; the class is judged on one footing:
    // whole-block digests only when all have them.
    std::vector<DigestCache_CL::Digests> cached(classEnd - classBegin);
    bool allCached = digestCache != nullptr, allBlocks = true;
    for (size_t place = classBegin; place < classEnd; ++place) {
        allCached = allCached && CachedDigests(files[state.order[place]], cached[place - classBegin]);
        allBlocks = allBlocks && cached[place - classBegin].hasBlock;
    }
    if (allCached) {
        for (size_t place = classBegin; place < classEnd; ++place) {
            const uint32_t index = state.order[place];
            const DigestCache_CL::Digests& known = cached[place - classBegin];
            state.prefixDigest[index] = known.prefix;
            if (allBlocks && !prefixCoversBlock) {
                state.digest[index] = known.block;
                state.digestHigh[index] = known.blockHigh;
            }
            state.digestState[index] = allBlocks || prefixCoversBlock ? DetectionState::kFull : DetectionState::kPrefix;
        }
        state.SortRuns(classBegin, classEnd);
        return;
    }
    // Two files of one size are settled by their one comparison: no digest needed.
    if (classEnd - classBegin == 2) {
        for (size_t place = classBegin; place < classEnd; ++place)
            state.digestState[state.order[place]] = DetectionState::kFull;
        return;
    }
    // Most files of one size differ early: a digest of the first 4 KiB sets them apart.
    for (size_t place = classBegin; place < classEnd; ++place) {
        uint32_t index = state.order[place];
        bool read = !IsCanceled() && DigestOf(files[index], kPrefixLength, state.prefixDigest[index], nullptr);
        state.digestState[index] = !read ? DetectionState::kUnreadable
                                   : prefixCoversBlock ? DetectionState::kFull
                                                       : DetectionState::kPrefix;
        if (read) StoreDigests(files[index], {state.prefixDigest[index], 0, 0, false});
    }
    state.SortRuns(classBegin, classEnd);
}

void FirstFileCompare_CL::SplitRun(DetectionState& state, uint32_t member)
{
    size_t first = state.positionOf[member], last = first + 1;
    const size_t classEnd = state.classEnd[first];
    while (first > 0 && state.classEnd[first - 1] == classEnd && state.SameRun(state.order[first - 1], member)) --first;
    while (last < classEnd && state.SameRun(state.order[last], member)) ++last;
    for (size_t place = first; place < last; ++place) {
        uint32_t index = state.order[place];
        DigestCache_CL::Digests known;
        bool read = files[index].isGrouped;
        if (!read && CachedDigests(files[index], known) && known.hasBlock) {
            state.digest[index] = known.block;
            state.digestHigh[index] = known.blockHigh;
            read = true;
        } else if (!read && !IsCanceled()) {
            read = DigestOf(files[index], firstBlockLimit, state.digest[index], &state.digestHigh[index]);
            if (read) StoreDigests(files[index], {state.prefixDigest[index], state.digest[index], state.digestHigh[index], true});
        }
        state.digestState[index] = read ? DetectionState::kFull : DetectionState::kUnreadable;
    }
    state.SortRuns(first, last);
}

void FirstFileCompare_CL::ReportStepsUpTo(DetectionState& state, uint64_t target)
{
    // Every step of the plain loop reports its per-mille value when it changes; find the
    // steps where it changes instead of walking all of them.
    while (state.done < target) {
        unsigned __int128 next = (static_cast<unsigned __int128>(state.lastProgress + 1) * state.totalSteps + 999) / 1000;
        uint64_t step = std::max<uint64_t>(static_cast<uint64_t>(next), state.done + 1);
        if (step > target) {
            state.done = target;
            return;
        }
        state.done = step;
        int progress = static_cast<int>(static_cast<unsigned __int128>(step) * 1000 / state.totalSteps);
        if (progress != state.lastProgress) OnProgress(progress);
        state.lastProgress = progress;
    }
}

void FirstFileCompare_CL::JumpTo(DetectionState& state, uint64_t target)
{
    state.done = target;
    int progress = static_cast<int>(static_cast<unsigned __int128>(target) * 1000 / state.totalSteps);
    if (progress != state.lastProgress) OnProgress(progress);
    state.lastProgress = progress;
}

void FirstFileCompare_CL::FormGroup(DetectionState& state, size_t baseIndex)
{
    CompareFileEntry& base = files[baseIndex];
    DuplicateGroup group{&base};
    const uint64_t stepsBefore = uint64_t(baseIndex) * state.count;
    const uint64_t stepsAfter = stepsBefore + state.count;

    if (state.digestState[baseIndex] == DetectionState::kNotRead) PrepareSizeClass(state, state.positionOf[baseIndex]);
    bool baseOpened = false;
    bool stopped = false;
    size_t lastCompared = baseIndex;  // candidates are taken in index order
    const size_t classEnd = state.classEnd[state.positionOf[baseIndex]];
    for (size_t place = state.positionOf[baseIndex] + 1; place < classEnd && !stopped; ++place) {
        uint32_t candidateIndex = state.order[place];
        if (!state.SameRun(candidateIndex, uint32_t(baseIndex))) break;
        CompareFileEntry& candidate = files[candidateIndex];
        if (candidate.isGrouped || candidateIndex <= lastCompared || SamePathIgnoringCase(candidate.path, base.path))
            continue;

        if (IsCanceled()) {  // the plain loop would have stopped at its next step
            ReportStepsUpTo(state, state.done + 1);
            stopped = true;
            break;
        }
        ReportStepsUpTo(state, stepsBefore + candidateIndex);
        if (!baseOpened) {
            OpenBaseFile(base.path);
            baseOpened = true;
        }
        lastCompared = candidateIndex;
        const int compared = CompareFirstBlock(candidate.path);
        if (compared == 1) {
            candidate.comparedBytes = GetComparedBytes();
            candidate.isGrouped = 1;
            group.push_back(&candidate);
        } else if (compared == kSameFile) {
            // Another name of the base: as a base itself it would meet the same files, all
            // matched already or the base's own names again. Settled without being read.
            state.isSameFile[candidateIndex] = 1;
        } else if (state.digestState[baseIndex] == DetectionState::kPrefix) {
            // The run agrees in its first 4 KiB but not beyond: split it by the digest of
            // the whole first block, so no base meets more than one stranger in it.
            SplitRun(state, uint32_t(baseIndex));
            place = state.positionOf[baseIndex];
        }
        ReportStepsUpTo(state, stepsBefore + candidateIndex + 1);
        stopped = IsCanceled();
    }
    if (!stopped) ReportStepsUpTo(state, IsCanceled() ? state.done + 1 : stepsAfter);
    base.isGrouped = 1;
    if (group.size() > 1) {
        {
            CriticalSection_CL::Guard guard(groupsLock);
            groups.push_back(group);
        }
        OnGroupFound(group);
    }
}

int FirstFileCompare_CL::FindDuplicates(const volatile LONG* cancel)
{
    cancelFlag = cancel;
    {
        CriticalSection_CL::Guard guard(groupsLock);
        groups.clear();
    }
    for (CompareFileEntry& entry : files) {
        entry.isGrouped = 0;
        entry.comparedBytes = 0;
    }

    DetectionState state;
    state.count = files.size();
    state.totalSteps = uint64_t(state.count) * state.count;
    state.order.resize(state.count);
    std::iota(state.order.begin(), state.order.end(), 0u);
    std::stable_sort(state.order.begin(), state.order.end(),
                     [&](uint32_t a, uint32_t b) { return files[a].size < files[b].size; });
    state.positionOf.resize(state.count);
    state.classEnd.resize(state.count);
    for (size_t place = state.count; place-- > 0;) {
        state.positionOf[state.order[place]] = uint32_t(place);
        bool lastOfClass = place + 1 == state.count || files[state.order[place + 1]].size != files[state.order[place]].size;
        state.classEnd[place] = lastOfClass ? uint32_t(place + 1) : state.classEnd[place + 1];
    }
    state.prefixDigest.assign(state.count, 0);
    state.digest.assign(state.count, 0);
    state.digestHigh.assign(state.count, 0);
    state.digestState.assign(state.count, DetectionState::kNotRead);
    state.isSameFile.assign(state.count, 0);
    // A file alone in its size class, or empty, can match nothing: no need to read it.
    for (size_t begin = 0; begin < state.count; begin = state.classEnd[begin]) {
        size_t end = state.classEnd[begin];
        if (end - begin > 1 && files[state.order[begin]].size != 0) continue;
        for (size_t place = begin; place < end; ++place) state.digestState[state.order[place]] = DetectionState::kUnreadable;
    }

    for (size_t index = 0; index < state.count; ++index) {
        if (files[index].isGrouped) {
            JumpTo(state, state.done + state.count);
        } else if (state.isSameFile[index]) {
            // The plain loop would compare it with every later file and match none.
            ReportStepsUpTo(state, IsCanceled() ? state.done + 1 : uint64_t(index + 1) * state.count);
            files[index].isGrouped = 1;
        } else {
            FormGroup(state, index);
        }
        if (IsCanceled()) break;
    }

    ::Sleep(endPauseMs);
    CloseBaseFile();
    cancelFlag = nullptr;
    return 1;
}

int FirstFileCompare_CL::CompareWholeFiles(const std::wstring& pathA, const std::wstring& pathB, uint32_t maxStep,
                                           const volatile LONG* cancel)
{
    FileHandle a = OpenForCompare(pathA, 0);
    FileHandle b = OpenForCompare(pathB, 0);
    uint64_t sizeA = 0, sizeB = 0;
    if (!a || !b || !CurrentSize(a.Get(), sizeA) || !CurrentSize(b.Get(), sizeB) || sizeA != sizeB) return 0;
    if (maxStep == 0) return 0;
    if (sizeA == 0) {  // two empty files have equal content
        OnCompareProgress(100, 0);
        return 1;
    }

    std::vector<uint8_t> blockA(std::min<uint64_t>(maxStep, sizeA)), blockB(blockA.size());
    uint64_t offset = 0;
    uint64_t step = kBlockSize;
    int lastPercent = -1;
    while (offset < sizeB) {
        step = std::min<uint64_t>(maxStep, step);
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(sizeB - offset, step));
        if (!ReadExactly(a.Get(), offset, blockA.data(), chunk) || !ReadExactly(b.Get(), offset, blockB.data(), chunk) ||
            memcmp(blockA.data(), blockB.data(), chunk) != 0)
            return 0;
        offset += chunk;
        step *= 2;
        int percent = static_cast<int>(offset * 100 / sizeB);
        if (percent != lastPercent) {
            lastPercent = percent;
            OnCompareProgress(percent, offset);
        }
        if (cancel && *cancel == 1) return 0;
    }
    return 1;
}
