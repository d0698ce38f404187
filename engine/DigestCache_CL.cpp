#include "engine/DigestCache_CL.h"

#include <algorithm>
#include <vector>

#include "engine/CacheFile.h"

namespace {

constexpr char kMagic[4] = {'Q', 'M', 'D', 'C'};

// Where the folder ends and the name begins (no backslash: all name).
size_t NameStart(std::wstring_view path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? 0 : slash + 1;
}

uint64_t PathHash(std::wstring_view path)
{
    return std::hash<std::wstring_view>{}(path);
}

}  // namespace

void DigestCache_CL::Clear()
{
    entries.clear();
    folders.clear();
    folderNumbers.clear();
    names.clear();
    generation = 1;
}

uint32_t DigestCache_CL::FolderNumber(std::wstring_view folder)
{
    auto [found, added] = folderNumbers.try_emplace(std::wstring(folder), static_cast<uint32_t>(folders.size()));
    if (added) folders.emplace_back(folder);
    return found->second;
}

DigestCache_CL::Entry* DigestCache_CL::FindEntry(std::wstring_view path)
{
    auto found = entries.find(PathHash(path));
    if (found == entries.end()) return nullptr;
    const size_t nameStart = NameStart(path);
    const Entry& entry = found->second;
    const std::wstring& folder = folders[entry.folder];
    const bool samePath = NameOf(entry) == path.substr(nameStart) && folder == path.substr(0, nameStart ? nameStart - 1 : 0);
    return samePath ? &found->second : nullptr;
}

// A new entry for the path (one of another path under the same hash is replaced).
DigestCache_CL::Entry& DigestCache_CL::AddEntry(std::wstring_view path)
{
    const size_t nameStart = NameStart(path);
    Entry& entry = entries[PathHash(path)];
    entry = Entry();
    entry.folder = FolderNumber(path.substr(0, nameStart ? nameStart - 1 : 0));
    entry.nameAt = static_cast<uint32_t>(names.size());
    entry.nameLength = static_cast<uint32_t>(path.size() - nameStart);
    names.append(path.substr(nameStart));
    return entry;
}

bool DigestCache_CL::Load(const std::wstring& path)
{
    Clear();
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
    for (uint32_t i = 0; i < folderCount; ++i) {
        if (!reader.GetText(text, 0, 32768)) return fail();
        if (FolderNumber(text) != i) return fail();  // each folder once
    }
    uint64_t count = 0;
    if (!reader.Get(count) || count > kMostEntries) return fail();
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t folder = 0;
        uint8_t hasBlock = 0;
        Entry loaded;
        if (!reader.Get(folder) || folder >= folderCount || !reader.GetText(text, 1, 32768) || !reader.Get(loaded.size) ||
            !reader.Get(loaded.lastWriteTime) || !reader.Get(loaded.changeTime) || !reader.Get(loaded.fileIndex) ||
            !reader.Get(loaded.lastSeen) ||
            !reader.Get(hasBlock) || !reader.Get(loaded.digests.prefix) || !reader.Get(loaded.digests.block) ||
            !reader.Get(loaded.digests.blockHigh))
            return fail();
        loaded.digests.hasBlock = hasBlock == 1;
        const std::wstring& folderPath = folders[folder];
        Entry& entry = AddEntry(folderPath.empty() ? text : folderPath + L'\\' + text);
        loaded.folder = entry.folder;
        loaded.nameAt = entry.nameAt;
        loaded.nameLength = entry.nameLength;
        entry = loaded;
    }
    if (!reader.AtEnd()) return fail();
    generation = savedGeneration + 1;
    return true;
}

bool DigestCache_CL::Find(const CompareFileEntry& file, Digests& digests)
{
    if (file.fileIndex == 0) return false;
    Entry* entry = FindEntry(file.path);
    if (!entry || entry->size != file.size || entry->lastWriteTime != file.lastWriteTime ||
        entry->changeTime != file.changeTime || entry->fileIndex != file.fileIndex)
        return false;
    entry->lastSeen = generation;
    digests = entry->digests;
    return true;
}

void DigestCache_CL::Store(const CompareFileEntry& file, const Digests& digests)
{
    if (file.fileIndex == 0) return;
    Entry* entry = FindEntry(file.path);
    if (!entry) entry = &AddEntry(file.path);
    entry->size = file.size;
    entry->lastWriteTime = file.lastWriteTime;
    entry->changeTime = file.changeTime;
    entry->fileIndex = file.fileIndex;
    entry->lastSeen = generation;
    entry->digests = digests;
}

bool DigestCache_CL::Save(const std::wstring& path)
{
    // Keep what recent searches saw, and never more than the bound (the most recent first).
    std::vector<const Entry*> kept;
    for (const auto& [hash, entry] : entries)
        if (generation - entry.lastSeen <= kKeptSearches) kept.push_back(&entry);
    if (kept.size() > kMostEntries) {
        std::nth_element(kept.begin(), kept.begin() + kMostEntries, kept.end(),
                         [](const Entry* a, const Entry* b) { return a->lastSeen > b->lastSeen; });
        kept.resize(kMostEntries);
    }
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
        out.Put(entry->lastSeen);
        out.Put(static_cast<uint8_t>(entry->digests.hasBlock ? 1 : 0));
        out.Put(entry->digests.prefix);
        out.Put(entry->digests.block);
        out.Put(entry->digests.blockHigh);
    }
    return CacheFile::WriteWhole(path, kMagic, out.Bytes());
}
