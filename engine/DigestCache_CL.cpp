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
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
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

}  // namespace

bool DigestCache_CL::Load(const std::wstring& path)
{
    entries.clear();
    generation = 1;
    const std::vector<uint8_t> bytes = ReadAll(path);
    if (bytes.size() < sizeof(kMagic) + 16 + sizeof(uint64_t) || memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0)
        return false;
    const size_t body = bytes.size() - sizeof(uint64_t);
    uint64_t stored = 0;
    memcpy(&stored, bytes.data() + body, sizeof(stored));
    if (stored != Checksum(bytes.data(), body)) return false;

    Reader reader(bytes.data() + sizeof(kMagic), body - sizeof(kMagic));
    uint32_t version = 0, savedGeneration = 0;
    uint64_t count = 0;
    if (!reader.Get(version) || version != kVersion || !reader.Get(savedGeneration) || !reader.Get(count) ||
        count > kMostEntries)
        return false;
    std::unordered_map<std::wstring, Entry> loaded;
    loaded.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t characters = 0;
        std::wstring name;
        Entry entry;
        uint8_t hasBlock = 0;
        if (!reader.Get(characters) || characters == 0 || characters > 32768 || !reader.GetText(name, characters) ||
            !reader.Get(entry.size) || !reader.Get(entry.lastWriteTime) || !reader.Get(entry.fileIndex) ||
            !reader.Get(entry.lastSeen) || !reader.Get(hasBlock) || !reader.Get(entry.digests.prefix) ||
            !reader.Get(entry.digests.block) || !reader.Get(entry.digests.blockHigh))
            return false;
        entry.digests.hasBlock = hasBlock == 1;
        loaded.emplace(std::move(name), entry);
    }
    if (!reader.AtEnd()) return false;
    entries = std::move(loaded);
    generation = savedGeneration + 1;
    return true;
}

bool DigestCache_CL::Find(const CompareFileEntry& file, Digests& digests)
{
    if (file.fileIndex == 0) return false;
    auto found = entries.find(file.path);
    if (found == entries.end()) return false;
    Entry& entry = found->second;
    if (entry.size != file.size || entry.lastWriteTime != file.lastWriteTime || entry.fileIndex != file.fileIndex) return false;
    entry.lastSeen = generation;
    digests = entry.digests;
    return true;
}

void DigestCache_CL::Store(const CompareFileEntry& file, const Digests& digests)
{
    if (file.fileIndex == 0) return;
    Entry& entry = entries[file.path];
    entry.size = file.size;
    entry.lastWriteTime = file.lastWriteTime;
    entry.fileIndex = file.fileIndex;
    entry.lastSeen = generation;
    entry.digests = digests;
}

bool DigestCache_CL::Save(const std::wstring& path)
{
    // Keep what recent searches saw, and never more than the bound (the most recent first).
    std::vector<std::pair<uint32_t, const std::wstring*>> kept;
    for (const auto& [name, entry] : entries)
        if (generation - entry.lastSeen <= kKeptSearches) kept.emplace_back(entry.lastSeen, &name);
    if (kept.size() > kMostEntries) {
        std::nth_element(kept.begin(), kept.begin() + kMostEntries, kept.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        kept.resize(kMostEntries);
    }
    std::vector<uint8_t> out(kMagic, kMagic + sizeof(kMagic));
    Put(out, kVersion);
    Put(out, generation);
    Put(out, static_cast<uint64_t>(kept.size()));
    for (const auto& [seen, name] : kept) {
        const Entry& entry = entries.at(*name);
        Put(out, static_cast<uint32_t>(name->size()));
        const size_t at = out.size();
        out.resize(at + name->size() * sizeof(wchar_t));
        memcpy(out.data() + at, name->data(), name->size() * sizeof(wchar_t));
        Put(out, entry.size);
        Put(out, entry.lastWriteTime);
        Put(out, entry.fileIndex);
        Put(out, entry.lastSeen);
        Put(out, static_cast<uint8_t>(entry.digests.hasBlock ? 1 : 0));
        Put(out, entry.digests.prefix);
        Put(out, entry.digests.block);
        Put(out, entry.digests.blockHigh);
    }
    Put(out, Checksum(out.data(), out.size()));

    const std::wstring temporary = path + L".tmp" + std::to_wstring(::GetCurrentProcessId());
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
