// The detection over a farm of hard links to one file against the same number of real
// copies: the links must cost no more (they are settled by their file index, unread).
// Usage: bench-hardlink-farm [FILES] [BYTES]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/UniqueHandle.h"
#include "engine/FirstFileCompare_CL.h"

namespace {

std::wstring MakeTempFolder(const wchar_t* name)
{
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"quillmere-bench-" + name + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool WriteFileOfSize(const std::wstring& path, size_t bytes)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string block(1 << 16, 'q');
    for (size_t written = 0; file && written < bytes; written += block.size()) {
        DWORD done = 0;
        DWORD chunk = static_cast<DWORD>(std::min(block.size(), bytes - written));
        if (!::WriteFile(file.Get(), block.data(), chunk, &done, nullptr)) return false;
    }
    return file.IsValid();
}

double TimeDetection(const std::wstring& folder, int& groups)
{
    FirstFileCompare_CL scanner;
    scanner.SetEndPause(0);
    scanner.ScanFolder(folder, nullptr);
    const auto start = std::chrono::steady_clock::now();
    scanner.FindDuplicates(nullptr);
    groups = static_cast<int>(scanner.Groups().size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void RemoveFolder(const std::wstring& folder, int files)
{
    for (int i = 0; i < files; ++i) ::DeleteFileW((folder + L"\\f" + std::to_wstring(i) + L".bin").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int files = argc > 1 ? _wtoi(argv[1]) : 200;
    const size_t bytes = argc > 2 ? static_cast<size_t>(_wtoi64(argv[2])) : 3 * 1000 * 1000;
    const std::wstring links = MakeTempFolder(L"links"), copies = MakeTempFolder(L"copies");
    WriteFileOfSize(links + L"\\f0.bin", bytes);
    for (int i = 1; i < files; ++i)
        ::CreateHardLinkW((links + L"\\f" + std::to_wstring(i) + L".bin").c_str(), (links + L"\\f0.bin").c_str(), nullptr);
    for (int i = 0; i < files; ++i) WriteFileOfSize(copies + L"\\f" + std::to_wstring(i) + L".bin", bytes);

    int linkGroups = 0, copyGroups = 0;
    const double linkSeconds = TimeDetection(links, linkGroups);
    const double copySeconds = TimeDetection(copies, copyGroups);
    std::printf("%-34s %10s %8s\n", "detection, files of 3 MB", "seconds", "groups");
    std::printf("%-34s %10.3f %8d\n", (std::to_string(files) + " hard links to one file").c_str(), linkSeconds, linkGroups);
    std::printf("%-34s %10.3f %8d\n", (std::to_string(files) + " copies of one file").c_str(), copySeconds, copyGroups);
    RemoveFolder(links, files);
    RemoveFolder(copies, files);
    return 0;
}
