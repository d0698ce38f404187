#include "engine/DigestCache_CL.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "engine/CacheFile.h"

namespace {

constexpr char kMagic[4] = {'Q', 'M', 'D', 'C'};
constexpr uint32_t kNoPartner = UINT32_MAX;

// Where the folder ends and the name begins (no backslash: all name).
size_t NameStart(std::wstring_view path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? 0 : slash + 1;
}

// Runs part(begin, end, slice) over [0, count) in as many slices as the machine has cores
// (one for small counts), the first on the calling thread.
template <typename Part>
void InSlices(size_t count, Part part)
{
    constexpr size_t kLeastPerSlice = 20000;
    const size_t slices = std::clamp<size_t>(count / kLeastPerSlice, 1, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::jthread> others;
    for (size_t slice = 1; slice < slices; ++slice)
        others.emplace_back(part, count * slice / slices, count * (slice + 1) / slices, slice);
    part(0, count / slices, 0);
}

// Whether two texts are equal, eight bytes at a time: the C library's comparison is an
// out-of-line call that takes several times as long on paths, and every lookup of a
// rescan makes two.
bool SameText(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    const char* x = reinterpret_cast<const char*>(a.data());
    const char* y = reinterpret_cast<const char*>(b.data());
    size_t bytes = a.size() * sizeof(wchar_t), at = 0;
    for (; at + 8 <= bytes; at += 8) {
        uint64_t wordX, wordY;
        memcpy(&wordX, x + at, 8);
        memcpy(&wordY, y + at, 8);
        if (wordX != wordY) return false;
    }
    for (; at < bytes; ++at)
        if (x[at] != y[at]) return false;
    return true;
}

}  // namespace

uint64_t DigestCache_CL::PathHash(std::wstring_view path)
{
    const size_t nameStart = NameStart(path);
    return PathHash(TextHash(path.substr(0, nameStart ? nameStart - 1 : 0)), path.substr(nameStart));
}

void DigestCache_CL::Clear()
{
    entries = decltype(entries)(entryMemory.get());
    entryMemory->release();
    folders.clear();
    folderNumbers.clear();
    names.clear();
    generation = 1;
    lastStamp = 0;
    isAgeing = false;
    loadedFrom.clear();
}

uint32_t DigestCache_CL::FolderNumber(std::wstring_view folder)
{
    auto [found, added] = folderNumbers.try_emplace(std::wstring(folder), static_cast<uint32_t>(folders.size()));
    if (added) folders.emplace_back(folder);
    return found->second;
}

DigestCache_CL::Entry* DigestCache_CL::FindEntry(std::wstring_view path, uint64_t hash)
{
    auto found = entries.find(hash);
    if (found == entries.end()) return nullptr;
    const size_t nameStart = NameStart(path);
    const Entry& entry = found->second;
    const std::wstring& folder = folders[entry.folder];
    const bool samePath = SameText(NameOf(entry), path.substr(nameStart)) && SameText(folder, path.substr(0, nameStart ? nameStart - 1 : 0));
    return samePath ? &found->second : nullptr;
}

// A new entry for the path (one of another path under the same hash is replaced).
DigestCache_CL::Entry& DigestCache_CL::AddEntry(std::wstring_view path)
{
    const size_t nameStart = NameStart(path);
    return AddEntry(PathHash(path), FolderNumber(path.substr(0, nameStart ? nameStart - 1 : 0)), path.substr(nameStart));
}

DigestCache_CL::Entry& DigestCache_CL::AddEntry(uint64_t hash, uint32_t folder, std::wstring_view name)
{
    Entry& entry = entries[hash];
    entry = Entry();
    entry.folder = folder;
    entry.nameAt = static_cast<uint32_t>(names.size());
    entry.nameLength = static_cast<uint32_t>(name.size());
    names.append(name);
    entry.stamp = ++lastStamp;
    return entry;
}

void DigestCache_CL::StartLoad(const std::wstring& path)
{
    FinishLoad();
    loader = std::jthread([this, path] { isLoaded = LoadNow(path); });
}

bool DigestCache_CL::FinishLoad()
{
    if (!loader.joinable()) return isLoaded;
    loader.join();
    return isLoaded;
}

bool DigestCache_CL::Load(const std::wstring& path)
{
    FinishLoad();
    return LoadNow(path);
}

bool DigestCache_CL::LoadNow(const std::wstring& path)
{
    Clear();
    // Whatever was at the path is replaced at the next save, unless it loads whole.
    isChanged = true;
    const std::vector<uint8_t> body = CacheFile::ReadBody(path, kMagic);
    if (body.empty()) return false;

    auto fail = [this] {
        Clear();
        return false;
    };
    CacheFile::Reader reader(body);
    uint32_t version = 0, savedGeneration = 0, folderCount = 0;
    if (!reader.Get(version) || version != kVersion || !reader.Get(savedGeneration) || !reader.Get(folderCount) ||
        folderCount > kMostEntries)
        return false;
    std::wstring text;
    std::vector<uint64_t> folderHashes(folderCount);
    for (uint32_t i = 0; i < folderCount; ++i) {
        if (!reader.GetText(text, 0, 32768)) return fail();
        if (FolderNumber(text) != i) return fail();  // each folder once
        folderHashes[i] = TextHash(text);
    }
    uint64_t count = 0;
    if (!reader.Get(count) || count > kMostEntries) return fail();
    entries.reserve(static_cast<size_t>(count));
    // Partners are named by their place in the file; settled once every entry is in.
    std::vector<std::pair<uint64_t, uint32_t>> hashAndStamp(static_cast<size_t>(count));
    std::vector<std::pair<uint32_t, uint32_t>> partnerOf;  // (place, partner's place)
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t folder = 0, partner = 0;
        uint8_t hasBlock = 0;
        Entry loaded;
        if (!reader.Get(folder) || folder >= folderCount || !reader.GetText(text, 1, 32768) || !reader.Get(loaded.size) ||
            !reader.Get(loaded.lastWriteTime) || !reader.Get(loaded.changeTime) || !reader.Get(loaded.fileIndex) ||
            !reader.Get(loaded.volumeSerial) || !reader.Get(loaded.lastSeen) || !reader.Get(hasBlock) ||
            !reader.Get(loaded.digests.prefix) || !reader.Get(loaded.digests.block) ||
            !reader.Get(loaded.digests.blockHigh) || !reader.Get(partner) || !reader.Get(loaded.provenBytes) ||
            (partner != kNoPartner && (partner >= count || partner == i)))
            return fail();
        loaded.digests.hasBlock = hasBlock == 1;
        const uint64_t hash = PathHash(folderHashes[folder], text);
        Entry& entry = AddEntry(hash, folder, text);
        loaded.folder = entry.folder;
        loaded.nameAt = entry.nameAt;
        loaded.nameLength = entry.nameLength;
        loaded.stamp = entry.stamp;
        entry = loaded;
        hashAndStamp[static_cast<size_t>(i)] = {hash, entry.stamp};
        if (partner != kNoPartner) partnerOf.emplace_back(static_cast<uint32_t>(i), partner);
    }
    for (const auto& [place, partner] : partnerOf) {
        Entry& entry = entries[hashAndStamp[place].first];
        if (entry.stamp == hashAndStamp[place].second)  // not replaced by a later path of the same hash
            std::tie(entry.partnerHash, entry.partnerStamp) = hashAndStamp[partner];
    }
    if (!reader.AtEnd()) return fail();
    generation = savedGeneration + 1;
    isChanged = false;
    isAgeing = false;
    loadedFrom = path;
    return true;
}

DigestCache_CL::Entry* DigestCache_CL::MatchingEntry(const CompareFileEntry& file, uint64_t hash)
{
    if (file.fileIndex == 0) return nullptr;
    Entry* entry = FindEntry(file.path, hash);
    return entry && entry->HasKeyOf(file) ? entry : nullptr;
}

bool DigestCache_CL::Find(const CompareFileEntry& file, Digests& digests)
{
    Entry* entry = MatchingEntry(file);
    if (!entry) return false;
    isAgeing |= MarkSeen(*entry);
    digests = entry->digests;
    return true;
}

void DigestCache_CL::Store(const CompareFileEntry& file, const Digests& digests)
{
    if (file.fileIndex == 0) return;
    Entry* entry = FindEntry(file.path);
    if (!entry) {
        entry = &AddEntry(file.path);
    } else if (!entry->HasKeyOf(file)) {
        // Another file now, or the same one changed: what was proven of it no longer holds.
        entry->stamp = ++lastStamp;
        entry->partnerStamp = 0;
        entry->provenBytes = 0;
    }
    entry->size = file.size;
    entry->lastWriteTime = file.lastWriteTime;
    entry->changeTime = file.changeTime;
    entry->fileIndex = file.fileIndex;
    entry->volumeSerial = file.volumeSerial;
    entry->lastSeen = generation;
    entry->digests = digests;
    isChanged = true;
}

void DigestCache_CL::FindAll(std::span<const CompareFileEntry* const> files, std::vector<std::optional<Digests>>& digests,
                             std::vector<ProvenPair>& pairs)
{
    // Entries matched here are marked with this call's number and their file's place, so a
    // partner is found by its entry alone. A large list is matched in slices at once: an
    // entry matches one path, so no two slices write the same entry, and the pairs are
    // looked for once every entry is marked.
    const uint32_t lookup = ++lookups;
    digests.assign(files.size(), std::nullopt);
    std::vector<Entry*> matching(files.size());
    std::vector<char> ageingIn(std::max(1u, std::thread::hardware_concurrency()), 0);
    InSlices(files.size(), [&](size_t begin, size_t end, size_t slice) {
        for (size_t place = begin; place < end; ++place) {
            Entry* entry = MatchingEntry(*files[place]);
            if (!entry) continue;
            ageingIn[slice] |= MarkSeen(*entry);
            entry->foundIn = lookup;
            entry->foundAt = static_cast<uint32_t>(place);
            digests[place] = entry->digests;
            matching[place] = entry;
        }
    });
    isAgeing |= std::find(ageingIn.begin(), ageingIn.end(), 1) != ageingIn.end();
    std::vector<std::vector<ProvenPair>> found(ageingIn.size());
    InSlices(files.size(), [&](size_t begin, size_t end, size_t slice) {
        for (size_t place = begin; place < end; ++place) {
            const Entry* entry = matching[place];
            if (!entry || entry->partnerStamp == 0) continue;
            auto partner = entries.find(entry->partnerHash);
            if (partner == entries.end() || partner->second.foundIn != lookup || partner->second.foundAt == place ||
                partner->second.stamp != entry->partnerStamp)
                continue;
            found[slice].push_back({static_cast<uint32_t>(place), partner->second.foundAt, entry->provenBytes});
        }
    });
    for (const std::vector<ProvenPair>& slice : found) pairs.insert(pairs.end(), slice.begin(), slice.end());
}

void DigestCache_CL::StoreProvenPair(const CompareFileEntry& file, const CompareFileEntry& partner, uint64_t bytes)
{
    Entry* entry = MatchingEntry(file);
    const Entry* partnerEntry = MatchingEntry(partner);
    if (!entry || !partnerEntry || entry == partnerEntry) return;
    const uint64_t partnerHash = PathHash(partner.path);
    if (entry->partnerHash == partnerHash && entry->partnerStamp == partnerEntry->stamp && entry->provenBytes == bytes)
        return;
    entry->partnerHash = partnerHash;
    entry->partnerStamp = partnerEntry->stamp;
    entry->provenBytes = bytes;
    isChanged = true;
}

bool DigestCache_CL::Save(const std::wstring& path)
{
    FinishLoad();
    // A search that learnt nothing new leaves the file as it is: saving the cache of a large
    // library takes longer than the rest of a rescan outside the walk. Its entries then age
    // by one search less, unless other searches saved meanwhile (see isAgeing).
    if (!isChanged && !isAgeing && path == loadedFrom) return true;
    // Keep what recent searches saw, and never more than the bound (the most recent first).
    std::vector<const Entry*> kept;
    for (const auto& [hash, entry] : entries)
        if (generation - entry.lastSeen <= kKeptSearches) kept.push_back(&entry);
    if (kept.size() > kMostEntries) {
        std::nth_element(kept.begin(), kept.begin() + kMostEntries, kept.end(),
                         [](const Entry* a, const Entry* b) { return a->lastSeen > b->lastSeen; });
        kept.resize(kMostEntries);
    }
    // Folder by folder: a search lists a folder's files together, and entries loaded in this
    // order lie together in memory, so looking a walk's files up touches far fewer places.
    std::sort(kept.begin(), kept.end(),
              [](const Entry* a, const Entry* b) { return std::tie(a->folder, a->nameAt) < std::tie(b->folder, b->nameAt); });
    // A partner is written as its place among the kept entries, while it still vouches.
    std::unordered_map<const Entry*, uint32_t> placeOf;
    placeOf.reserve(kept.size());
    for (const Entry* entry : kept) placeOf.emplace(entry, static_cast<uint32_t>(placeOf.size()));
    auto partnerPlace = [&](const Entry& entry) {
        if (entry.partnerStamp == 0) return kNoPartner;
        auto partner = entries.find(entry.partnerHash);
        if (partner == entries.end() || partner->second.stamp != entry.partnerStamp) return kNoPartner;
        auto place = placeOf.find(&partner->second);
        return place == placeOf.end() ? kNoPartner : place->second;
    };
    // Only the folders of kept entries are written, numbered anew.
    std::vector<uint32_t> newNumber(folders.size(), UINT32_MAX);
    std::vector<uint32_t> keptFolders;
    for (const Entry* entry : kept) {
        if (newNumber[entry->folder] != UINT32_MAX) continue;
        newNumber[entry->folder] = static_cast<uint32_t>(keptFolders.size());
        keptFolders.push_back(entry->folder);
    }
    CacheFile::Writer out;
    out.Put(kVersion);
    out.Put(generation);
    out.Put(static_cast<uint32_t>(keptFolders.size()));
    for (uint32_t folder : keptFolders) out.PutText(folders[folder]);
    out.Put(static_cast<uint64_t>(kept.size()));
    for (const Entry* entry : kept) {
        out.Put(newNumber[entry->folder]);
        out.PutText(NameOf(*entry));
        out.Put(entry->size);
        out.Put(entry->lastWriteTime);
        out.Put(entry->changeTime);
        out.Put(entry->fileIndex);
        out.Put(entry->volumeSerial);
        out.Put(entry->lastSeen);
        out.Put(static_cast<uint8_t>(entry->digests.hasBlock ? 1 : 0));
        out.Put(entry->digests.prefix);
        out.Put(entry->digests.block);
        out.Put(entry->digests.blockHigh);
        out.Put(partnerPlace(*entry));
        out.Put(entry->provenBytes);
    }
    return CacheFile::WriteWhole(path, kMagic, out.Bytes());
}
