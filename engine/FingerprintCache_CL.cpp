#include "engine/FingerprintCache_CL.h"

#include "engine/CacheFile.h"

namespace {

constexpr char kMagic[4] = {'Q', 'M', 'F', 'P'};

}  // namespace

bool FingerprintCache_CL::Load(const std::wstring& path)
{
    entries.clear();
    generation = 1;
    const std::vector<uint8_t> body = CacheFile::ReadBody(path, kMagic);
    CacheFile::Reader reader(body);
    uint32_t version = 0, savedGeneration = 0;
    uint64_t count = 0;
    if (body.empty() || !reader.Get(version) || version != kVersion || !reader.Get(savedGeneration) ||
        !reader.Get(count) || count > kMostEntries)
        return false;
    std::wstring name;
    for (uint64_t i = 0; i < count; ++i) {
        Entry entry;
        uint8_t decodable = 0;
        uint32_t frames = 0;
        MovieFingerprint& print = entry.print;
        if (!reader.GetText(name, 1, 32768) || !reader.Get(entry.size) || !reader.Get(entry.lastWriteTime) ||
            !reader.Get(entry.changeTime) || !reader.Get(entry.fileIndex) || !reader.Get(entry.volumeSerial) || !reader.Get(entry.lastSeen) || !reader.Get(decodable) || decodable > 1 ||
            !reader.Get(print.duration) || !reader.Get(print.width) || !reader.Get(print.height) ||
            !reader.Get(frames) || frames > kMostFrames)
            break;
        print.isDecodable = decodable == 1;
        print.frames.resize(frames);
        for (MovieFingerprint::Frame& frame : print.frames) {
            uint8_t flat = 0;
            if (!reader.Get(frame.time) || !reader.Get(frame.hash) || !reader.Get(flat)) break;
            frame.isFlat = flat != 0;
        }
        entries[name] = std::move(entry);
    }
    if (!reader.AtEnd()) {
        entries.clear();
        return false;
    }
    generation = savedGeneration + 1;
    return true;
}

bool FingerprintCache_CL::Find(const CompareFileEntry& file, MovieFingerprint& print)
{
    if (file.fileIndex == 0) return false;
    auto found = entries.find(file.path);
    if (found == entries.end()) return false;
    Entry& entry = found->second;
    if (entry.size != file.size || entry.lastWriteTime != file.lastWriteTime || entry.changeTime != file.changeTime ||
        entry.fileIndex != file.fileIndex || entry.volumeSerial != file.volumeSerial)
        return false;
    entry.lastSeen = generation;
    print = entry.print;
    return true;
}

void FingerprintCache_CL::Store(const CompareFileEntry& file, const MovieFingerprint& print)
{
    if (file.fileIndex == 0) return;
    Entry& entry = entries[file.path];
    entry.size = file.size;
    entry.lastWriteTime = file.lastWriteTime;
    entry.changeTime = file.changeTime;
    entry.fileIndex = file.fileIndex;
    entry.volumeSerial = file.volumeSerial;
    entry.lastSeen = generation;
    entry.print = print;
}

bool FingerprintCache_CL::Save(const std::wstring& path)
{
    CacheFile::Writer out;
    out.Put(kVersion);
    out.Put(generation);
    uint64_t kept = 0;
    for (const auto& [name, entry] : entries) kept += generation - entry.lastSeen <= kKeptSearches;
    out.Put(std::min<uint64_t>(kept, kMostEntries));
    uint64_t written = 0;
    for (const auto& [name, entry] : entries) {
        if (generation - entry.lastSeen > kKeptSearches || written == kMostEntries) continue;
        ++written;
        const MovieFingerprint& print = entry.print;
        out.PutText(name);
        out.Put(entry.size);
        out.Put(entry.lastWriteTime);
        out.Put(entry.changeTime);
        out.Put(entry.fileIndex);
        out.Put(entry.volumeSerial);
        out.Put(entry.lastSeen);
        out.Put(static_cast<uint8_t>(print.isDecodable ? 1 : 0));
        out.Put(print.duration);
        out.Put(print.width);
        out.Put(print.height);
        const uint32_t frames = std::min<uint32_t>(static_cast<uint32_t>(print.frames.size()), kMostFrames);
        out.Put(frames);
        for (uint32_t f = 0; f < frames; ++f) {
            out.Put(print.frames[f].time);
            out.Put(print.frames[f].hash);
            out.Put(static_cast<uint8_t>(print.frames[f].isFlat ? 1 : 0));
        }
    }
    return CacheFile::WriteWhole(path, kMagic, out.Bytes());
}
