#include "engine/FirstFileCompare_CL.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "core/PathFunctions.h"
#include "engine/FileIdentity.h"
#include "engine/TaskPrefetch_CL.h"

namespace {

using Comparer = FirstBlockComparer_CL;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr uint32_t kNoTask = UINT32_MAX;

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

FileHandle OpenFolder(const std::wstring& folder, DWORD access)
{
    return FileHandle(::CreateFileW(LongPathForm(folder).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return std::wstring();
    std::wstring full(length, L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), length, full.data(), nullptr));
    return full;
}

// The folders above this one on its path, nearest first; none above a root.
std::vector<std::wstring> FoldersAbove(const std::wstring& folder)
{
    std::vector<std::wstring> above;
    std::wstring current = FullPathOf(folder);
    while (!current.empty() && above.size() < FirstFileCompare_CL::kDeepestFolder) {
        std::wstring parent = FullPathOf(current + (current.back() == L'\\' ? L".." : L"\\.."));
        if (parent.empty() || parent == current) break;
        above.push_back(parent);
        current = std::move(parent);
    }
    return above;
}

// The digest of a whole first block. A second lane with another start makes it 128 bits:
// kept in the cache, it sets files apart without reading them again. Mixed in chunks of
// kBlockSize, as the cache's digests of earlier searches were: the second lane depends on
// where the chunks end.
void FirstBlockDigests(std::span<const uint8_t> block, uint64_t& digest, uint64_t& high)
{
    const uint64_t end = block.size();
    digest = end;
    high = ~end;
    for (uint64_t offset = 0; offset < end; offset += Comparer::kBlockSize) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(end - offset, Comparer::kBlockSize));
        digest = MixBlock(digest, block.data() + offset, chunk);
        high = MixBlock(high * 0xC2B2AE3D27D4EB4Full, block.data() + offset, chunk);
    }
}

// Sorts (size, place) pairs given in place order by size, keeping the place order among
// equal sizes: by radix, 11 bits a pass, as many passes as the largest size needs. A
// comparison sort of 200,000 files took longer than the rest of a rescan's bookkeeping.
void SortBySize(std::vector<std::pair<uint64_t, uint32_t>>& bySize)
{
    constexpr int kBits = 11;
    constexpr uint64_t kMask = (1u << kBits) - 1;
    uint64_t allBits = 0;
    for (const auto& [size, place] : bySize) allBits |= size;
    std::vector<std::pair<uint64_t, uint32_t>> moved(bySize.size());
    std::vector<size_t> starts(kMask + 2);
    for (int shift = 0; shift < 64 && (allBits >> shift) != 0; shift += kBits) {
        std::fill(starts.begin(), starts.end(), 0);
        for (const auto& [size, place] : bySize) ++starts[((size >> shift) & kMask) + 1];
        for (size_t digit = 1; digit < starts.size(); ++digit) starts[digit] += starts[digit - 1];
        for (const auto& entry : bySize) moved[starts[(entry.first >> shift) & kMask]++] = entry;
        bySize.swap(moved);
    }
}

// A candidate opened ahead of its comparison, with its first bytes (up to kPrefixLength).
struct HeldFile {
    FileHandle handle;
    std::vector<uint8_t> prefix;
};

bool ReadPrefix(const CompareFileEntry& entry, HeldFile& held)
{
    held.handle = Comparer::OpenForCompare(entry.path);
    uint64_t size = 0;
    if (!held.handle || !Comparer::CurrentSize(held.handle.Get(), size) || size != entry.size || size == 0) return false;
    held.prefix.resize(static_cast<size_t>(std::min(size, FirstFileCompare_CL::kPrefixLength)));
    return Comparer::ReadExactly(held.handle.Get(), 0, held.prefix.data(), static_cast<uint32_t>(held.prefix.size()));
}

}  // namespace

// Each size class is settled as a whole, on whichever thread claims it: the bases of the
// class in list order, each meeting only the later free entries of its own run (same size,
// same digest of the first 4 KiB and, once a run proved mixed, of the whole first block).
// Each file is digested at most twice, so the reads stay bounded however many files share a
// size. The reporting loop then walks the list as the plain n x n loop would, counting its
// steps arithmetically for the progress.
struct FirstFileCompare_CL::DetectionState {
    // kPrefix: the digest of the first 4 KiB is known; kFull: also that of the whole first
    // block (or the prefix covers it). A run is a stretch of one size class whose entries
    // agree in state and digests.
    enum DigestState : uint8_t { kNotRead, kPrefix, kFull, kUnreadable };
    // What settling made of an entry other than a base: matched to an earlier base, or
    // another name of an earlier base or of a file matched to it.
    enum Role : uint8_t { kBase, kMatched, kSameFile };

    size_t count = 0;
    uint64_t totalSteps = 0;
    uint64_t done = 0;
    int lastProgress = 0;
    uint64_t nextChange = 0;  // the first step whose per-mille value passes lastProgress
    std::vector<uint32_t> order;          // entries by (size, readable, digests, index)
    std::vector<uint32_t> positionOf;     // entry index -> its place in `order`
    std::vector<uint32_t> classEnd;       // place in `order` -> end of its size class
    std::vector<uint32_t> classTask;      // task -> first place of the class it settles
    std::vector<uint32_t> taskOf;         // entry index -> task settling its class, or kNoTask
    std::vector<uint64_t> prefixDigest;
    std::vector<uint64_t> digest;         // of the whole first block, once split; else 0
    std::vector<uint64_t> digestHigh;     // its second half
    std::vector<uint8_t> digestState;
    std::vector<uint8_t> role;
    std::vector<uint8_t> isUnchanged;     // matches its cache entry
    // The partner each unchanged file was proven equal to at an earlier search (kNoTask: none),
    // and over how many bytes: a pair proven again needs no new word in the cache.
    std::vector<uint32_t> cachedPartner;
    std::vector<uint64_t> cachedPartnerBytes;
    std::vector<DigestCache_CL::Digests> cached;  // of the unchanged entries, what the cache knew
    // Files known equal without reading them now: pairs proven at an earlier search whose
    // files are unchanged, joined by what this search proves. By entry index, a parent each.
    std::vector<uint32_t> provenWith;

    uint32_t ProvenRoot(uint32_t index)
    {
        while (provenWith[index] != index) index = provenWith[index] = provenWith[provenWith[index]];
        return index;
    }
    void JoinProven(uint32_t a, uint32_t b) { provenWith[ProvenRoot(a)] = ProvenRoot(b); }
    std::vector<std::vector<DuplicateGroup>> classGroups;  // task -> its groups, by base
    std::vector<size_t> nextGroup;                          // task -> first group not reported

    bool SameRun(uint32_t a, uint32_t b) const
    {
        return digestState[a] != kUnreadable && digestState[a] == digestState[b] &&
               prefixDigest[a] == prefixDigest[b] && digest[a] == digest[b] && digestHigh[a] == digestHigh[b];
    }
    bool HasRunMate(size_t place) const
    {
        const uint32_t index = order[place];
        return (place > 0 && classEnd[place - 1] == classEnd[place] && SameRun(order[place - 1], index)) ||
               (place + 1 < classEnd[place] && SameRun(order[place + 1], index));
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

// One size class being settled: its places in `order`, the comparer of the thread settling
// it, and its files held open between their first read and their comparison.
struct FirstFileCompare_CL::ClassWork {
    size_t task = 0;
    size_t begin = 0;
    size_t end = 0;
    FirstBlockComparer_CL& comparer;
    std::unordered_map<uint32_t, HeldFile> held;
    std::vector<uint8_t> scratch;

    void Hold(uint32_t index, HeldFile&& file)
    {
        if (held.size() < kMostHeldFiles) held.try_emplace(index, std::move(file));
    }
    bool Take(uint32_t index, HeldFile& file)
    {
        auto found = held.find(index);
        if (found == held.end()) return false;
        file = std::move(found->second);
        held.erase(found);
        return true;
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
    {
        CriticalSection_CL::Guard guard(groupsLock);
        groups.clear();
        files.clear();
    }
    visitedFolders.Clear();
    visitedFinalPaths.clear();
    listedFiles.Clear();
    return 1;
}

int FirstFileCompare_CL::ScanFolder(const std::wstring& folder, const volatile LONG* cancel)
{
    cancelFlag = cancel;
    lastScanProgress = 0;
    scanDepth = 0;
    askVolume = true;
    ScanDirectory(folder, files);
    return 1;
}

int FirstFileCompare_CL::ScanFolders(const std::vector<std::wstring>& folders, const volatile LONG* cancel)
{
    std::vector<size_t> order(folders.size());
    std::iota(order.begin(), order.end(), size_t(0));
    if (folders.size() > 1) {
        // How many named folders stand above each on its path, told by identity so that any
        // spelling of them counts.
        FileIdentitySet named;
        for (const std::wstring& folder : folders)
            if (FileHandle handle = OpenFolder(folder, FILE_READ_ATTRIBUTES)) named.InsertIfNew(handle.Get(), FullPathOf(folder));
        std::vector<size_t> namedAbove(folders.size(), 0);
        for (size_t i = 0; i < folders.size(); ++i) {
            for (const std::wstring& above : FoldersAbove(folders[i])) {
                FileHandle handle = OpenFolder(above, FILE_READ_ATTRIBUTES);
                namedAbove[i] += handle && named.Contains(handle.Get(), above);
            }
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return namedAbove[a] < namedAbove[b]; });
    }
    for (size_t i : order) ScanFolder(folders[i], cancel);
    return 1;
}

bool FirstFileCompare_CL::IsNewFinalPath(HANDLE directory)
{
    // Only asked where the identity is unknown: the query costs a round trip under Wine.
    wchar_t buffer[1024];
    const DWORD length = ::GetFinalPathNameByHandleW(directory, buffer, 1024, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 1024) return true;
    return visitedFinalPaths.insert(CaseFolded(std::wstring(buffer, length))).second;
}

int FirstFileCompare_CL::ScanDirectory(std::wstring folder, std::vector<CompareFileEntry>& list)
{
    if (folder.empty()) return 1;
    // A link back into the walked tree would otherwise repeat it until paths grow too long.
    FileHandle directory = OpenFolder(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES);
    // Where the drive tells no identities, a cycle still ends: by the folder's final path
    // where the platform gives it, and at a depth no real library reaches.
    uint64_t index = 0;
    const bool isKnown = directory && FileIdentity::IndexOfHandle(directory.Get(), index);
    if (isKnown && !visitedFolders.InsertIfNew(directory.Get(), folder)) return 1;
    if (directory && !isKnown && !IsNewFinalPath(directory.Get())) return 1;
    if (scanDepth >= kDeepestFolder) return 1;
    // The volume is asked where the walk starts and where it passes a link (a mounted volume
    // is one): the query is slow under Wine, and every other folder is on its parent's.
    if (askVolume && !(directory && FileIdentity::VolumeOfHandle(directory.Get(), walkVolume))) walkVolume = 0;
    askVolume = false;

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
                work.changeTime = static_cast<uint64_t>(entry.ChangeTime.QuadPart);
                work.fileIndex = static_cast<uint64_t>(entry.FileId.QuadPart);
                work.volumeSerial = walkVolume;
                work.isGrouped = 0;
                work.comparedBytes = 0;
                if (AcceptFile(work) == 1) list.push_back(work);
            } else if (!name.empty() && name[0] != L'.') {
                folder.resize(cut);
                folder += name;
                const uint32_t volume = walkVolume;
                askVolume = (entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                ScanDirectory(folder, list);
                walkVolume = volume;
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
    // Opened for reading, as the comparison will open it: a listed file that cannot be read
    // is told now, even one that no other file shares its size with.
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!file || !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard, sizeof(standard)) || standard.Directory)
        return 0;
    CompareFileEntry work;
    work.path = path;
    work.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    work.lastWriteTime = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
    work.changeTime = static_cast<uint64_t>(basic.ChangeTime.QuadPart);
    if (FileIdentity::IndexOfHandle(file.Get(), work.fileIndex)) FileIdentity::VolumeOfHandle(file.Get(), work.volumeSerial);
    // Listed again, under this name or another (other case, 8.3 form, a link): the same file.
    if (AcceptFile(work) == 1 && listedFiles.InsertIfNew(file.Get(), LongPathForm(path))) files.push_back(work);
    return 1;
}

int FirstFileCompare_CL::CloseBaseFile()
{
    comparer.CloseBase();
    return 1;
}

int FirstFileCompare_CL::OpenBaseFile(const std::wstring& path)
{
    return comparer.OpenBase(path);
}

int FirstFileCompare_CL::CompareFirstBlock(const std::wstring& path)
{
    return comparer.Compare(path);
}

// The cache is shared by the threads settling classes: each class asks it, and feeds it,
// under one hold of the lock (a contended lock costs a round trip to the server under Wine).
bool FirstFileCompare_CL::CachedDigests(const CompareFileEntry& entry, DigestCache_CL::Digests& digests)
{
    if (!digestCache) return false;
    std::lock_guard<std::mutex> guard(cacheLock);
    return digestCache->Find(entry, digests);
}

// What the cache knows of the candidates, asked once for all of them before any class is
// settled (per class, the lookups and the lock cost more than the rest of a rescan): their
// digests, and which of them were proven equal at an earlier search and are unchanged since.
void FirstFileCompare_CL::LookUpCache(DetectionState& state)
{
    if (!digestCache) return;
    // In list order: the files' paths, and the cache's entries of a folder, lie together in
    // memory in that order.
    std::vector<uint32_t> candidates;
    for (uint32_t index = 0; index < state.count; ++index)
        if (state.taskOf[index] != kNoTask) candidates.push_back(index);
    std::vector<const CompareFileEntry*> members;
    members.reserve(candidates.size());
    for (uint32_t index : candidates) members.push_back(&files[index]);
    std::vector<std::optional<DigestCache_CL::Digests>> known;
    std::vector<DigestCache_CL::ProvenPair> pairs;
    digestCache->FindAll(members, known, pairs);
    state.cached.resize(state.count);
    for (size_t member = 0; member < members.size(); ++member) {
        if (!known[member]) continue;
        state.isUnchanged[candidates[member]] = 1;
        state.cached[candidates[member]] = *known[member];
    }
    state.cachedPartner.assign(state.count, kNoTask);
    state.cachedPartnerBytes.assign(state.count, 0);
    for (const DigestCache_CL::ProvenPair& pair : pairs) {
        const CompareFileEntry& file = *members[pair.file];
        state.cachedPartner[candidates[pair.file]] = candidates[pair.partner];
        state.cachedPartnerBytes[candidates[pair.file]] = pair.bytes;
        if (file.size == members[pair.partner]->size && pair.bytes >= std::min(file.size, kFirstBlockLimit))
            state.JoinProven(candidates[pair.file], candidates[pair.partner]);
    }
}

// What settling classes from the cache needs, kept from one class to the next.
struct FirstFileCompare_CL::KnownClass {
    // One file of a class the cache may settle alone.
    struct Member {
        uint64_t prefix = 0;
        uint64_t block = 0;  // of the whole first block, where its run is told apart by it; else 0
        uint64_t blockHigh = 0;
        uint32_t index = 0;
        uint32_t root = 0;  // of its proven pairs
        uint8_t role = DetectionState::kBase;

        bool SameRun(const Member& other) const
        {
            return prefix == other.prefix && block == other.block && blockHigh == other.blockHigh;
        }
        bool operator<(const Member& other) const
        {
            return std::tie(prefix, block, blockHigh, index) < std::tie(other.prefix, other.block, other.blockHigh, other.index);
        }
    };

    std::vector<Member> members;
    std::vector<std::pair<uint32_t, const DigestCache_CL::Digests*>> blockOfRoot;
    DuplicateGroup group;  // the base and the files matched to it
};

// The runs of a class as DigestSizeClass forms them from the cache alone: files of one first
// 4 KiB, parted by the digests of their whole first block where every file of the run has
// one (its own, or that of a file it was proven equal to). False where two files proven
// equal have different digests in the cache: which one counts is then left to the reading.
bool FirstFileCompare_CL::PartRunsByBlock(const DetectionState& state, KnownClass& known)
{
    std::vector<KnownClass::Member>& members = known.members;
    auto& blockOfRoot = known.blockOfRoot;
    blockOfRoot.clear();
    for (const KnownClass::Member& member : members)
        if (state.cached[member.index].hasBlock) blockOfRoot.emplace_back(member.root, &state.cached[member.index]);
    std::sort(blockOfRoot.begin(), blockOfRoot.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < blockOfRoot.size(); ++i)
        if (blockOfRoot[i].first == blockOfRoot[i - 1].first && (blockOfRoot[i].second->block != blockOfRoot[i - 1].second->block ||
                                                                 blockOfRoot[i].second->blockHigh != blockOfRoot[i - 1].second->blockHigh))
            return false;
    auto knownBlock = [&](const KnownClass::Member& member) -> const DigestCache_CL::Digests* {
        if (state.cached[member.index].hasBlock) return &state.cached[member.index];
        auto found = std::lower_bound(blockOfRoot.begin(), blockOfRoot.end(), member.root,
                                      [](const auto& entry, uint32_t root) { return entry.first < root; });
        return found != blockOfRoot.end() && found->first == member.root ? found->second : nullptr;
    };
    std::sort(members.begin(), members.end());
    for (size_t first = 0, last; first < members.size(); first = last) {
        for (last = first + 1; last < members.size() && members[last].prefix == members[first].prefix;) ++last;
        if (last - first < 2 || !std::all_of(members.begin() + first, members.begin() + last, knownBlock)) continue;
        for (size_t i = first; i < last; ++i) {
            const DigestCache_CL::Digests* known = knownBlock(members[i]);
            members[i].block = known->block;
            members[i].blockHigh = known->blockHigh;
        }
    }
    return true;
}

// Settles the class from the cache alone, as SettleSizeClass would, when that opens no file:
// every file matches its entry, and in each run the files are the first in list order, the
// files proven equal to it and other names of those. False, and nothing changed, otherwise.
// On a rescan of an unchanged tree every class is settled here, with no helper, no lock
// held and no file opened.
bool FirstFileCompare_CL::SettleKnownClass(DetectionState& state, size_t task, KnownClass& known)
{
    std::vector<KnownClass::Member>& members = known.members;
    DuplicateGroup& group = known.group;
    const size_t begin = state.classTask[task], end = state.classEnd[begin];
    members.clear();
    for (size_t place = begin; place < end; ++place) {
        const uint32_t index = state.order[place];
        if (!state.isUnchanged[index]) return false;
        members.push_back({state.cached[index].prefix, 0, 0, index, state.ProvenRoot(index)});
    }
    const uint64_t size = files[members.front().index].size;
    if (size > kPrefixLength && !PartRunsByBlock(state, known)) return false;
    std::sort(members.begin(), members.end());
    for (size_t first = 0, last; first < members.size(); first = last) {
        group.assign(1, &files[members[first].index]);
        for (last = first + 1; last < members.size() && members[last].SameRun(members[first]); ++last) {
            if (IsKnownMemberName(state, group, members[last].index)) {
                members[last].role = DetectionState::kSameFile;
            } else if (members[last].root == members[first].root) {
                members[last].role = DetectionState::kMatched;
                group.push_back(&files[members[last].index]);
            } else {
                return false;  // to be compared
            }
        }
    }
    std::vector<DuplicateGroup>& classGroups = state.classGroups[task];
    const uint64_t firstBlock = std::min(size, kFirstBlockLimit);
    for (size_t first = 0, last; first < members.size(); first = last) {
        group.assign(1, &files[members[first].index]);
        group.front()->isGrouped = 1;
        for (last = first + 1; last < members.size() && members[last].SameRun(members[first]); ++last) {
            CompareFileEntry& file = files[members[last].index];
            file.isGrouped = 1;
            state.role[members[last].index] = members[last].role;
            if (members[last].role != DetectionState::kMatched) continue;
            file.comparedBytes = firstBlock;
            group.push_back(&file);
        }
        if (group.size() > 1) classGroups.emplace_back(group.begin(), group.end());
    }
    if (classGroups.size() > 1)
        std::sort(classGroups.begin(), classGroups.end(),
                  [](const DuplicateGroup& a, const DuplicateGroup& b) { return a.front() < b.front(); });
    StoreProvenPairs(state, classGroups);
    return true;
}

void FirstFileCompare_CL::StoreDigests(std::span<const std::pair<uint32_t, DigestCache_CL::Digests>> digests)
{
    if (!digestCache) return;
    std::lock_guard<std::mutex> guard(cacheLock);
    for (const auto& [index, known] : digests) digestCache->Store(files[index], known);
}

// Runs on any thread: touches only the entries of its own class.
void FirstFileCompare_CL::SettleSizeClass(DetectionState& state, size_t task, FirstBlockComparer_CL& classComparer)
{
    ClassWork work{task, state.classTask[task], state.classEnd[state.classTask[task]], classComparer, {}, {}};
    DigestSizeClass(state, work);
    KeepRunMembers(state, work);
    // The bases in list order, as the reporting loop will meet them.
    std::vector<uint32_t> members(state.order.begin() + work.begin, state.order.begin() + work.end);
    std::sort(members.begin(), members.end());
    for (uint32_t index : members) {
        if (IsCanceled()) break;
        if (files[index].isGrouped) continue;
        if (state.role[index] == DetectionState::kSameFile) {
            // Another name of an earlier base or of a file matched to it: as a base it could
            // only group other names of that group's files, a second group of the same files
            // in which a user could delete the last copy. Settled without being read.
            files[index].isGrouped = 1;
            continue;
        }
        SettleBase(state, work, index);
    }
    StoreProvenPairs(state, state.classGroups[task]);
}

// What the class proved, for the next search: each file matched, equal to its base.
void FirstFileCompare_CL::StoreProvenPairs(const DetectionState& state, const std::vector<DuplicateGroup>& classGroups)
{
    if (!digestCache) return;
    // A pair the cache holds already, over the same bytes, is left as it is: asking the cache
    // to be sure would cost a rescan two lookups a file.
    auto isStored = [&](const CompareFileEntry& file, const CompareFileEntry& base) {
        const uint32_t index = uint32_t(&file - files.data());
        return !state.cachedPartner.empty() && state.cachedPartner[index] == uint32_t(&base - files.data()) &&
               state.cachedPartnerBytes[index] == file.comparedBytes;
    };
    std::unique_lock<std::mutex> guard(cacheLock, std::defer_lock);
    for (const DuplicateGroup& group : classGroups)
        for (size_t member = 1; member < group.size(); ++member) {
            if (isStored(*group[member], *group[0])) continue;
            if (!guard.owns_lock()) guard.lock();
            digestCache->StoreProvenPair(*group[member], *group[0], group[member]->comparedBytes);
        }
}

void FirstFileCompare_CL::DigestSizeClass(DetectionState& state, ClassWork& work)
{
    const bool prefixCoversBlock = files[state.order[work.begin]].size <= kPrefixLength;
    std::vector<std::pair<uint32_t, DigestCache_CL::Digests>> cached;  // by entry index
    for (size_t place = work.begin; place < work.end; ++place) {
        const uint32_t index = state.order[place];
        if (!state.isUnchanged[index]) continue;
        cached.emplace_back(index, state.cached[index]);
        state.prefixDigest[index] = state.cached[index].prefix;
        state.digestState[index] = prefixCoversBlock ? DetectionState::kFull : DetectionState::kPrefix;
    }
    // The others: most files of one size differ early, and a digest of the first 4 KiB sets
    // them apart.
    std::vector<std::pair<uint32_t, DigestCache_CL::Digests>> read;
    for (size_t place = work.begin; place < work.end; ++place) {
        const uint32_t index = state.order[place];
        if (state.isUnchanged[index]) continue;
        HeldFile held;
        const bool isRead = !IsCanceled() && ReadPrefix(files[index], held);
        state.digestState[index] = !isRead ? DetectionState::kUnreadable
                                   : prefixCoversBlock ? DetectionState::kFull
                                                       : DetectionState::kPrefix;
        if (!isRead) continue;
        state.prefixDigest[index] = MixBlock(held.prefix.size(), held.prefix.data(), held.prefix.size());
        read.emplace_back(index, DigestCache_CL::Digests{state.prefixDigest[index], 0, 0, false});
        work.Hold(index, std::move(held));
    }
    StoreDigests(read);
    state.SortRuns(work.begin, work.end);
    if (prefixCoversBlock || cached.empty()) return;
    // A run of one first 4 KiB whose files all have the digest of their whole first block in
    // the cache is judged by it: its near-copies part without being read. A file proven equal
    // to one with that digest has it too, and a file read now (still open) gets it here.
    std::unordered_map<uint32_t, const DigestCache_CL::Digests*> blockOf;  // by index, and by proven root
    for (const auto& [index, known] : cached)
        if (known.hasBlock) {
            blockOf.try_emplace(index, &known);
            blockOf.try_emplace(state.ProvenRoot(index), &known);
        }
    auto knownBlock = [&](uint32_t index) -> const DigestCache_CL::Digests* {
        auto found = blockOf.find(index);
        if (found == blockOf.end() && state.isUnchanged[index]) found = blockOf.find(state.ProvenRoot(index));
        return found == blockOf.end() ? nullptr : found->second;
    };
    bool anyJudged = false;
    for (size_t first = work.begin, last; first < work.end; first = last) {
        for (last = first + 1; last < work.end && state.SameRun(state.order[first], state.order[last]);) ++last;
        const auto begin = state.order.begin() + first, end = state.order.begin() + last;
        if (last - first < 2 || !std::any_of(begin, end, knownBlock) ||
            !std::all_of(begin, end, [&](uint32_t index) { return knownBlock(index) || work.held.contains(index); }))
            continue;
        for (size_t place = first; place < last; ++place) {
            const uint32_t index = state.order[place];
            if (const DigestCache_CL::Digests* known = knownBlock(index)) {
                state.digest[index] = known->block;
                state.digestHigh[index] = known->blockHigh;
            } else if (!BlockDigest(state, work, index, kNoTask)) {
                state.digestState[index] = DetectionState::kUnreadable;
                continue;
            }
            state.digestState[index] = DetectionState::kFull;
        }
        anyJudged = true;
    }
    if (anyJudged) state.SortRuns(work.begin, work.end);
}

// Keeps open the files that share their run with another, the ones to be compared, opening
// those read but not kept open; closes those alone in their run. A file the cache knows is
// opened only when it has to be compared after all: a proven pair or another name of one
// file is settled without it.
void FirstFileCompare_CL::KeepRunMembers(DetectionState& state, ClassWork& work)
{
    for (size_t place = work.begin; place < work.end; ++place) {
        const uint32_t index = state.order[place];
        if (!state.HasRunMate(place)) {
            work.held.erase(index);
        } else if (!work.held.contains(index) && !state.isUnchanged[index] && work.held.size() < kMostHeldFiles &&
                   !IsCanceled()) {
            HeldFile held;
            if (ReadPrefix(files[index], held)) work.Hold(index, std::move(held));
        }
    }
}

int FirstFileCompare_CL::CompareCandidate(ClassWork& work, uint32_t index)
{
    HeldFile held;
    if (!work.Take(index, held)) return work.comparer.Compare(files[index].path);
    const int compared = work.comparer.CompareOpened(held.handle.Get(), held.prefix, files[index].path);
    if (compared == 0) work.Hold(index, std::move(held));  // it may still match a later base, or be one
    return compared;
}

// The digest of the file's whole first block, read now, into the state and the cache.
// `baseIndex` is open in the work's comparer, with the bytes it has read so far.
bool FirstFileCompare_CL::BlockDigest(DetectionState& state, ClassWork& work, uint32_t index, uint32_t baseIndex)
{
    uint64_t& digest = state.digest[index];
    uint64_t& high = state.digestHigh[index];
    if (index == baseIndex) {
        const std::span<const uint8_t> block = work.comparer.BaseFirstBlock();
        if (block.empty()) return false;
        FirstBlockDigests(block, digest, high);
    } else {
        const CompareFileEntry& entry = files[index];
        HeldFile held;
        if (!work.Take(index, held) && !ReadPrefix(entry, held)) return false;
        const uint64_t end = std::min(entry.size, kFirstBlockLimit);
        work.scratch.resize(static_cast<size_t>(end));
        const size_t known = std::min<size_t>(held.prefix.size(), work.scratch.size());
        if (known) memcpy(work.scratch.data(), held.prefix.data(), known);
        if (end > known && !Comparer::ReadExactly(held.handle.Get(), known, work.scratch.data() + known,
                                                  static_cast<uint32_t>(end - known)))
            return false;
        FirstBlockDigests(work.scratch, digest, high);
        work.Hold(index, std::move(held));
    }
    const std::pair<uint32_t, DigestCache_CL::Digests> computed{index, {state.prefixDigest[index], digest, high, true}};
    StoreDigests({&computed, 1});
    return true;
}

void FirstFileCompare_CL::SplitRun(DetectionState& state, ClassWork& work, uint32_t baseIndex)
{
    size_t first = state.positionOf[baseIndex], last = first + 1;
    while (first > work.begin && state.SameRun(state.order[first - 1], baseIndex)) --first;
    while (last < work.end && state.SameRun(state.order[last], baseIndex)) ++last;
    for (size_t place = first; place < last; ++place) {
        uint32_t index = state.order[place];
        DigestCache_CL::Digests known;
        bool read = files[index].isGrouped;
        if (!read && CachedDigests(files[index], known) && known.hasBlock) {
            state.digest[index] = known.block;
            state.digestHigh[index] = known.blockHigh;
            read = true;
        } else if (!read && !IsCanceled()) {
            read = BlockDigest(state, work, index, baseIndex);
        }
        state.digestState[index] = read ? DetectionState::kFull : DetectionState::kUnreadable;
    }
    state.SortRuns(first, last);
}

// Whether the file is, by the identity the walk read, the base or a file matched to it: the
// comparer would find it so before reading a byte. Asked only of files unchanged since the
// cache saw them, whose identity the cache has vouched for.
bool FirstFileCompare_CL::IsKnownMemberName(const DetectionState& state, const DuplicateGroup& group,
                                            uint32_t index) const
{
    const CompareFileEntry& file = files[index];
    if (!state.isUnchanged[index]) return false;
    return std::any_of(group.begin(), group.end(), [&](const CompareFileEntry* member) {
        return member->fileIndex == file.fileIndex && member->volumeSerial == file.volumeSerial;
    });
}

void FirstFileCompare_CL::SettleBase(DetectionState& state, ClassWork& work, uint32_t baseIndex)
{
    CompareFileEntry& base = files[baseIndex];
    DuplicateGroup group{&base};
    bool baseOpened = false;
    size_t namesGiven = 1;  // the group's files the comparer knows by identity (the base: itself)
    size_t lastCompared = baseIndex;  // candidates are taken in index order
    const uint64_t firstBlock = std::min(base.size, kFirstBlockLimit);
    for (size_t place = state.positionOf[baseIndex] + 1; place < work.end && !IsCanceled(); ++place) {
        const uint32_t candidateIndex = state.order[place];
        if (!state.SameRun(candidateIndex, baseIndex)) break;
        CompareFileEntry& candidate = files[candidateIndex];
        // A candidate that is the base itself under another name is told by the comparer.
        if (candidate.isGrouped || candidateIndex <= lastCompared) continue;
        lastCompared = candidateIndex;
        int compared = 0;
        if (IsKnownMemberName(state, group, candidateIndex)) {
            compared = kSameFile;
        } else if (state.ProvenRoot(candidateIndex) == state.ProvenRoot(baseIndex)) {
            compared = 1;  // proven equal, and neither file changed since
            candidate.comparedBytes = firstBlock;
        } else {
            if (!baseOpened) {
                HeldFile held;
                if (work.Take(baseIndex, held))
                    work.comparer.UseBase(std::move(held.handle), held.prefix, base.path);
                else
                    work.comparer.OpenBase(base.path);
                baseOpened = true;
            }
            // Files matched without being read are named to the comparer, which must know
            // every file of the group to tell another name of one from a copy.
            for (; namesGiven < group.size(); ++namesGiven)
                if (group[namesGiven]->fileIndex != 0) work.comparer.NoteMatched(group[namesGiven]->fileIndex, group[namesGiven]->path);
            compared = CompareCandidate(work, candidateIndex);
            if (compared == 1) {
                candidate.comparedBytes = work.comparer.GetComparedBytes();
                state.JoinProven(candidateIndex, baseIndex);  // its proven partners now match the base too
                ++namesGiven;
            }
        }
        if (compared == 1) {
            candidate.isGrouped = 1;
            state.role[candidateIndex] = DetectionState::kMatched;
            group.push_back(&candidate);
        } else if (compared == kSameFile) {
            state.role[candidateIndex] = DetectionState::kSameFile;
        } else if (state.digestState[baseIndex] == DetectionState::kPrefix) {
            // The run agrees in its first 4 KiB but not beyond: split it by the digest of
            // the whole first block, so no base meets more than one stranger in it.
            SplitRun(state, work, baseIndex);
            place = state.positionOf[baseIndex];
        }
    }
    work.held.erase(baseIndex);
    work.comparer.CloseBase();
    base.isGrouped = 1;
    if (group.size() > 1) state.classGroups[work.task].push_back(std::move(group));
}

void FirstFileCompare_CL::ReportStepsUpTo(DetectionState& state, uint64_t target)
{
    // Every step of the plain loop reports its per-mille value when it changes; find the
    // steps where it changes instead of walking all of them.
    while (state.done < target) {
        const uint64_t step = std::max(state.nextChange, state.done + 1);
        if (step > target) {
            state.done = target;
            return;
        }
        state.done = step;
        SetProgress(state, static_cast<int>(static_cast<unsigned __int128>(step) * 1000 / state.totalSteps));
    }
}

void FirstFileCompare_CL::JumpTo(DetectionState& state, uint64_t target)
{
    state.done = target;
    // Most jumps stay within one per-mille value: no division for them.
    if (target >= state.nextChange)
        SetProgress(state, static_cast<int>(static_cast<unsigned __int128>(target) * 1000 / state.totalSteps));
}

void FirstFileCompare_CL::SetProgress(DetectionState& state, int progress)
{
    if (progress != state.lastProgress) OnProgress(progress);
    state.lastProgress = progress;
    const unsigned __int128 next = (static_cast<unsigned __int128>(progress + 1) * state.totalSteps + 999) / 1000;
    state.nextChange = static_cast<uint64_t>(std::min<unsigned __int128>(next, UINT64_MAX));
}

// A base (or another name of one) as the plain loop meets it: its steps, then its group.
void FirstFileCompare_CL::ReportBase(DetectionState& state, size_t baseIndex)
{
    ReportStepsUpTo(state, IsCanceled() ? state.done + 1 : uint64_t(baseIndex + 1) * state.count);
    files[baseIndex].isGrouped = 1;
    const uint32_t task = state.taskOf[baseIndex];
    if (task == kNoTask || state.nextGroup[task] == state.classGroups[task].size()) return;
    DuplicateGroup& group = state.classGroups[task][state.nextGroup[task]];
    if (group.front() != &files[baseIndex]) return;
    ++state.nextGroup[task];
    {
        CriticalSection_CL::Guard guard(groupsLock);
        groups.push_back(group);
    }
    OnGroupFound(group);
}

int FirstFileCompare_CL::FindDuplicates(const volatile LONG* cancel)
{
    cancelFlag = cancel;
    if (digestCache) digestCache->FinishLoad();
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
    state.nextChange = (state.totalSteps + 999) / 1000;
    // By size, then list order. The sizes are copied out once: read through the list at every
    // comparison, each costs a cache miss.
    std::vector<std::pair<uint64_t, uint32_t>> bySize(state.count);
    for (uint32_t index = 0; index < state.count; ++index) bySize[index] = {files[index].size, index};
    SortBySize(bySize);
    state.order.resize(state.count);
    for (size_t place = 0; place < state.count; ++place) state.order[place] = bySize[place].second;
    state.positionOf.resize(state.count);
    state.classEnd.resize(state.count);
    for (size_t place = state.count; place-- > 0;) {
        state.positionOf[state.order[place]] = uint32_t(place);
        bool lastOfClass = place + 1 == state.count || bySize[place + 1].first != bySize[place].first;
        state.classEnd[place] = lastOfClass ? uint32_t(place + 1) : state.classEnd[place + 1];
    }
    state.prefixDigest.assign(state.count, 0);
    state.digest.assign(state.count, 0);
    state.digestHigh.assign(state.count, 0);
    state.digestState.assign(state.count, DetectionState::kNotRead);
    state.role.assign(state.count, DetectionState::kBase);
    state.isUnchanged.assign(state.count, 0);
    state.provenWith.resize(state.count);
    std::iota(state.provenWith.begin(), state.provenWith.end(), 0u);
    // A file alone in its size class, or empty, can match nothing: no need to read it. The
    // other classes are settled in the order in which the reporting loop first needs them.
    std::vector<std::pair<uint32_t, uint32_t>> classesByFirstIndex;
    for (size_t begin = 0; begin < state.count; begin = state.classEnd[begin]) {
        size_t end = state.classEnd[begin];
        if (end - begin > 1 && bySize[begin].first != 0)
            classesByFirstIndex.emplace_back(*std::min_element(state.order.begin() + begin, state.order.begin() + end),
                                             uint32_t(begin));
    }
    std::sort(classesByFirstIndex.begin(), classesByFirstIndex.end());
    state.taskOf.assign(state.count, kNoTask);
    for (const auto& [firstIndex, begin] : classesByFirstIndex) {
        for (size_t place = begin; place < state.classEnd[begin]; ++place)
            state.taskOf[state.order[place]] = uint32_t(state.classTask.size());
        state.classTask.push_back(begin);
    }
    state.classGroups.resize(state.classTask.size());
    state.nextGroup.assign(state.classTask.size(), 0);
    LookUpCache(state);

    // Classes the cache does not settle alone go to the helpers, in the order of their first files.
    std::vector<uint32_t> readTasks, readRank(state.classTask.size(), kNoTask);
    KnownClass known;
    for (uint32_t task = 0; task < state.classTask.size(); ++task) {
        if (digestCache && SettleKnownClass(state, task, known)) continue;
        readRank[task] = uint32_t(readTasks.size());
        readTasks.push_back(task);
    }
    const unsigned helpers = readTasks.empty() ? 0 : TaskPrefetch_CL::HelpersForThisMachine();
    std::vector<FirstBlockComparer_CL> comparers(helpers + 1);
    TaskPrefetch_CL settling(readTasks.size(), kClassesAhead,
                             [&](size_t task, unsigned worker) { SettleSizeClass(state, readTasks[task], comparers[worker]); });
    settling.Start(helpers);
    // Tasks are numbered by their classes' first files, so the loop meets them in order and
    // waits for each at its first file only.
    size_t tasksMet = 0;
    for (size_t index = 0; index < state.count; ++index) {
        if (state.taskOf[index] == tasksMet && readRank[tasksMet++] != kNoTask) settling.WaitFor(readRank[tasksMet - 1]);
        if (state.role[index] == DetectionState::kMatched)
            JumpTo(state, state.done + state.count);
        else
            ReportBase(state, index);
        if (IsCanceled()) break;
    }
    settling.Stop();
    ::Sleep(endPauseMs);
    cancelFlag = nullptr;
    return 1;
}

namespace {

// Size and write time of an open file, to tell whether it changed while it was read.
bool SizeAndWriteTime(HANDLE file, uint64_t& size, uint64_t& writeTime)
{
    FILETIME written;
    if (!FirstBlockComparer_CL::CurrentSize(file, size) || !::GetFileTime(file, nullptr, nullptr, &written)) return false;
    writeTime = (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return true;
}

}  // namespace

int FirstFileCompare_CL::CompareWholeFiles(const std::wstring& pathA, const std::wstring& pathB, uint32_t maxStep,
                                           const volatile LONG* cancel)
{
    changedWhileCompared = false;
    FileHandle a = Comparer::OpenForCompare(pathA);
    FileHandle b = Comparer::OpenForCompare(pathB);
    wasNotOpened = !a || !b;
    uint64_t sizeA = 0, sizeB = 0, timeA = 0, timeB = 0;
    if (!a || !b || !SizeAndWriteTime(a.Get(), sizeA, timeA) || !SizeAndWriteTime(b.Get(), sizeB, timeB) || sizeA != sizeB)
        return 0;
    if (maxStep == 0) return 0;
    // A file written to while it is read (grown, cut, rewritten) was not compared as it is:
    // the outcome is "changed", never "equal", whatever the bytes read said.
    auto unchanged = [&] {
        uint64_t size = 0, time = 0;
        const bool same = SizeAndWriteTime(a.Get(), size, time) && size == sizeA && time == timeA &&
                          SizeAndWriteTime(b.Get(), size, time) && size == sizeB && time == timeB;
        changedWhileCompared = !same;
        return same;
    };
    if (sizeA == 0) {  // two empty files have equal content
        OnCompareProgress(100, 0);
        return unchanged() ? 1 : 0;
    }

    std::vector<uint8_t> blockA(std::min<uint64_t>(maxStep, sizeA)), blockB(blockA.size());
    uint64_t offset = 0;
    uint64_t step = kBlockSize;
    int lastPercent = -1;
    while (offset < sizeB) {
        step = std::min<uint64_t>(maxStep, step);
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(sizeB - offset, step));
        if (!Comparer::ReadExactly(a.Get(), offset, blockA.data(), chunk) || !Comparer::ReadExactly(b.Get(), offset, blockB.data(), chunk) ||
            memcmp(blockA.data(), blockB.data(), chunk) != 0) {
            unchanged();
            return 0;
        }
        offset += chunk;
        step *= 2;
        int percent = static_cast<int>(offset * 100 / sizeB);
        if (percent != lastPercent) {
            lastPercent = percent;
            OnCompareProgress(percent, offset);
        }
        if (cancel && *cancel == 1) return 0;
    }
    return unchanged() ? 1 : 0;
}
