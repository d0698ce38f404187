// The search of one tree in its phases, and the floor that Wine's cost of touching a file sets.
//
//   bench-search-phases search FOLDER [CACHE_FILE]
//     the engine's walk and detection (with the digest cache when a file is named): seconds
//     for the walk, to the first group and in all; candidates, files opened, groups, peak memory.
//   bench-search-phases floor FOLDER
//     the same walk, then the least any search must do under one open a candidate, on as
//     many threads as the search: open each file that shares its size, read its first 4 KiB, read on to 2 MiB
//     only where another file of that size starts alike, close. No comparing, no bookkeeping.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"
#include "engine/DigestCache_CL.h"
#include "engine/FirstFileCompare_CL.h"
#include "engine/TaskPrefetch_CL.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class TimedScanner : public FirstFileCompare_CL {
public:
    explicit TimedScanner(Clock::time_point start) : start(start) {}
    void OnGroupFound(DuplicateGroup) override
    {
        if (firstGroup < 0) firstGroup = SecondsSince(start);
    }
    double firstGroup = -1;

private:
    Clock::time_point start;
};

// Sizes shared by two or more non-empty files: the files the detection may have to read.
std::map<uint64_t, std::vector<const CompareFileEntry*>> SharedSizes(const std::vector<CompareFileEntry>& files)
{
    std::map<uint64_t, std::vector<const CompareFileEntry*>> bySize;
    for (const CompareFileEntry& file : files)
        if (file.size) bySize[file.size].push_back(&file);
    std::erase_if(bySize, [](const auto& entry) { return entry.second.size() < 2; });
    return bySize;
}

size_t CountCandidates(const std::vector<CompareFileEntry>& files)
{
    size_t count = 0;
    for (const auto& [size, members] : SharedSizes(files)) count += members.size();
    return count;
}

double PeakMegabytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize / 1048576.0;
}

int RunSearch(const std::wstring& folder, const std::wstring& cacheFile)
{
    const auto start = Clock::now();
    TimedScanner scanner(start);
    scanner.SetEndPause(0);
    // As a search does: the cache loads on a thread of its own during the walk.
    DigestCache_CL cache;
    if (!cacheFile.empty()) cache.StartLoad(cacheFile);
    scanner.ScanFolder(folder, nullptr);
    const double walk = SecondsSince(start);
    if (!cacheFile.empty()) {
        cache.FinishLoad();
        scanner.SetDigestCache(&cache);
    }
    const double loaded = SecondsSince(start) - walk;
    scanner.FindDuplicates(nullptr);
    scanner.SetDigestCache(nullptr);
    const double beforeSave = SecondsSince(start);
    if (!cacheFile.empty()) cache.Save(cacheFile);
    const double total = SecondsSince(start);
    if (!cacheFile.empty())
        wprintf(L"cache: %zu entries, waited %.2f s for its load after the walk, saved in %.2f s; ", cache.GetCount(), loaded, total - beforeSave);
    wprintf(L"walk %.2f s, first group %.2f s, total %.2f s; %zu files, %zu candidates, %llu opened, %zu groups; "
            L"peak memory %.0f MB\n",
            walk, scanner.firstGroup, total, scanner.Files().size(), CountCandidates(scanner.Files()),
            static_cast<unsigned long long>(FirstFileCompare_CL::openCount.load()), scanner.Groups().size(),
            PeakMegabytes());
    return 0;
}

uint64_t Digest(const std::vector<uint8_t>& bytes, DWORD length)
{
    uint64_t hash = 1469598103934665603ull;
    for (DWORD i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// One class: open every member, read its first 4 KiB, read on where another member starts
// alike, then close them all.
size_t TouchClass(uint64_t size, const std::vector<const CompareFileEntry*>& members, std::vector<uint8_t>& buffer)
{
    std::vector<FileHandle> handles;
    std::map<uint64_t, int> prefixes;
    std::vector<uint64_t> prefixOf;
    for (const CompareFileEntry* file : members) {
        handles.emplace_back(::CreateFileW(LongPathForm(file->path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        DWORD got = 0;
        ::ReadFile(handles.back().Get(), buffer.data(), DWORD(std::min<uint64_t>(size, 4096)), &got, nullptr);
        prefixOf.push_back(Digest(buffer, got));
        ++prefixes[prefixOf.back()];
    }
    for (size_t i = 0; i < members.size(); ++i) {
        DWORD got = 0;
        if (prefixes[prefixOf[i]] > 1 && size > 4096)
            ::ReadFile(handles[i].Get(), buffer.data(), DWORD(std::min<uint64_t>(size, buffer.size()) - 4096), &got,
                       nullptr);
    }
    return members.size();
}

// As many threads as the search uses take the classes in turn: under Wine two threads open
// files nearly twice as fast as one (the server serialises only part of an open).
int RunFloor(const std::wstring& folder)
{
    const auto start = Clock::now();
    FirstFileCompare_CL scanner;
    scanner.ScanFolder(folder, nullptr);
    const double walk = SecondsSince(start);
    const auto classes = SharedSizes(scanner.Files());
    std::atomic<size_t> opened{0};
    const size_t threads = TaskPrefetch_CL::HelpersForThisMachine() + 1;
    auto touch = [&](size_t parity) {
        std::vector<uint8_t> buffer(FirstFileCompare_CL::kFirstBlockLimit);
        size_t turn = 0;
        for (const auto& [size, members] : classes)
            if (turn++ % threads == parity) opened += TouchClass(size, members, buffer);
    };
    std::vector<std::thread> others;
    for (size_t parity = 1; parity < threads; ++parity) others.emplace_back(touch, parity);
    touch(0);
    for (std::thread& other : others) other.join();
    wprintf(L"walk %.2f s, total %.2f s; %zu files, %zu opened; peak memory %.0f MB\n", walk, SecondsSince(start),
            scanner.Files().size(), opened.load(), PeakMegabytes());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 2 ? argv[1] : L"";
    if (mode == L"search") return RunSearch(argv[2], argc > 3 ? argv[3] : L"");
    if (mode == L"floor") return RunFloor(argv[2]);
    fwprintf(stderr, L"usage: bench-search-phases search FOLDER [CACHE_FILE] | floor FOLDER\n");
    return 2;
}
