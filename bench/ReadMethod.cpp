// Reading the first 2 MiB of files in 64 KiB steps: one mapped view per step against
// ReadFile into one buffer. Usage: bench-read-method FOLDER (e.g. the library tree of make_trees.py).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/UniqueHandle.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kLimit = 0x200000, kStep = 0x10000;

void Collect(const std::wstring& folder, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((folder + L"\\*.*").c_str(), &data));
    if (!find) return;
    do {
        std::wstring name = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            out.push_back(folder + L"\\" + name);
        else if (name[0] != L'.')
            Collect(folder + L"\\" + name, out);
    } while (::FindNextFileW(find.Get(), &data));
}

uint64_t SumByMapping(const std::wstring& path)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0) return 0;
    KernelHandle mapping(::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return 0;
    uint64_t sum = 0, end = std::min<uint64_t>(size.QuadPart, kLimit);
    for (uint64_t offset = 0; offset < end; offset += kStep) {
        SIZE_T chunk = static_cast<SIZE_T>(std::min(end - offset, kStep));
        MappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, DWORD(offset >> 32), DWORD(offset), chunk));
        if (!view) return sum;
        const auto* bytes = static_cast<const uint8_t*>(view.Get());
        for (SIZE_T i = 0; i < chunk; i += 512) sum += bytes[i];
    }
    return sum;
}

uint64_t SumByReading(const std::wstring& path, std::vector<uint8_t>& buffer)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0) return 0;
    uint64_t sum = 0, end = std::min<uint64_t>(size.QuadPart, kLimit);
    for (uint64_t offset = 0; offset < end; offset += kStep) {
        DWORD chunk = static_cast<DWORD>(std::min(end - offset, kStep)), got = 0;
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        if (!::ReadFile(file.Get(), buffer.data(), chunk, &got, &at) || got != chunk) return sum;
        for (DWORD i = 0; i < chunk; i += 512) sum += buffer[i];
    }
    return sum;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-read-method FOLDER\n");
        return 2;
    }
    std::vector<std::wstring> files;
    Collect(argv[1], files);
    std::vector<uint8_t> buffer(kStep);
    for (int round = 0; round < 2; ++round) {  // the first round warms the cache
        auto start = Clock::now();
        uint64_t a = 0;
        for (const auto& path : files) a += SumByMapping(path);
        double mapped = std::chrono::duration<double>(Clock::now() - start).count();
        start = Clock::now();
        uint64_t b = 0;
        for (const auto& path : files) b += SumByReading(path, buffer);
        double read = std::chrono::duration<double>(Clock::now() - start).count();
        if (round == 1)
            std::printf("%zu files: mapped views %.3f s, ReadFile %.3f s, mapped/ReadFile %.2fx%s\n", files.size(),
                        mapped, read, mapped / read, a == b ? "" : " (sums differ!)");
    }
    return 0;
}
