#include "engine/DigestCache_CL.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"

namespace {

constexpr char kMagic[4] = {'Q', 'M', 'D', 'C'};

uint64_t Checksum(const uint8_t* data, size_t length)
{
    uint64_t hash = 0xCBF29CE484222325ull ^ length;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
    return hash;
}

template <typename T>
void Put(std::vector<uint8_t>& out, T value)
{
    const size_t at = out.size();
    out.resize(at + sizeof(T));
    memcpy(out.data() + at, &value, sizeof(T));
}

// Reads values from a byte range; any read past its end fails the whole reader.
class Reader {
public:
    Reader(const uint8_t* data, size_t length) : data(data), length(length) {}
    template <typename T>
    bool Get(T& value)
    {
        if (length - at < sizeof(T)) return ok = false;
        memcpy(&value, data + at, sizeof(T));
        at += sizeof(T);
        return true;
    }
    bool GetText(std::wstring& text, uint32_t characters)
    {
        if ((length - at) / sizeof(wchar_t) < characters) return ok = false;
        text.assign(reinterpret_cast<const wchar_t*>(data + at), characters);
        at += characters * sizeof(wchar_t);
        return true;
    }
    bool AtEnd() const { return ok && at == length; }

private:
    const uint8_t* data;
    size_t length;
    size_t at = 0;
    bool ok = true;
};

std::vector<uint8_t> ReadAll(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > DigestCache_CL::kLargestFile)
        return bytes;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        bytes.clear();
    return bytes;
}

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
    const std::vector<uint8_t> bytes = ReadAll(path);
    if (bytes.size() < sizeof(kMagic) + 16 + sizeof(uint64_t) || memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0)
        return false;
    const size_t body = bytes.size() - sizeof(uint64_t);
    uint64_t stored = 0;
    memcpy(&stored, bytes.data() + body, sizeof(stored));
    if (stored != Checksum(bytes.data(), body)) return false;

    auto fail = [this] {
        Clear();
        return false;
    };
    Reader reader(bytes.data() + sizeof(kMagic), body - sizeof(kMagic));
    uint32_t version = 0, savedGeneration = 0, folderCount = 0;
    if (!reader.Get(version) || version != kVersion || !reader.Get(savedGeneration) || !reader.Get(folderCount) ||
        folderCount > kMostEntries)
        return false;
    std::wstring text;
    for (uint32_t i = 0; i < folderCount; ++i) {
        uint32_t characters = 0;
        if (!reader.Get(characters) || characters > 32768 || !reader.GetText(text, characters)) return fail();
        if (FolderNumber(text) != i) return fail();  // each folder once
    }
    uint64_t count = 0;
    if (!reader.Get(count) || count > kMostEntries) return fail();
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t folder = 0, characters = 0;
        uint8_t hasBlock = 0;
        Entry loaded;
        if (!reader.Get(folder) || folder >= folderCount || !reader.Get(characters) || characters == 0 ||
            characters > 32768 || !reader.GetText(text, characters) || !reader.Get(loaded.size) ||
            !reader.Get(loaded.lastWriteTime) || !reader.Get(loaded.changeTime) || !reader.Get(loaded.fileIndex) || !reader.Get(loaded.lastSeen) ||
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
    std::vector<uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    auto putText = [&](std::wstring_view text) {
        Put(out, static_cast<uint32_t>(text.size()));
        const size_t at = out.size();
        out.resize(at + text.size() * sizeof(wchar_t));
        memcpy(out.data() + at, text.data(), text.size() * sizeof(wchar_t));
    };
    Put(out, kVersion);
    Put(out, generation);
    Put(out, static_cast<uint32_t>(keptFolders.size()));
    for (uint32_t folder : keptFolders) putText(folders[folder]);
    Put(out, static_cast<uint64_t>(kept.size()));
    for (const Entry* entry : kept) {
        Put(out, newNumber[entry->folder]);
        putText(NameOf(*entry));
        Put(out, entry->size);
        Put(out, entry->lastWriteTime);
        Put(out, entry->changeTime);
        Put(out, entry->fileIndex);
        Put(out, entry->lastSeen);
        Put(out, static_cast<uint8_t>(entry->digests.hasBlock ? 1 : 0));
        Put(out, entry->digests.prefix);
        Put(out, entry->digests.block);
        Put(out, entry->digests.blockHigh);
    }
    Put(out, Checksum(out.data(), out.size()));
    // Each writer has a temporary file of its own; the last to replace the cache wins whole.
    const std::wstring temporary =
        path + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetCurrentThreadId());
    bool written = false;
    {
        FileHandle file(::CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD done = 0;
        written = file && ::WriteFile(file.Get(), out.data(), static_cast<DWORD>(out.size()), &done, nullptr) &&
                  done == out.size();
    }
    if (written && ::MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(path).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    ::DeleteFileW(LongPathForm(temporary).c_str());
    return false;
}
