// One click on a check box of the folder list (the change merged into the INI as it is on
// disk, and the file written whole) for lists of 1,000, 4,000 and 8,000 folders: the cost
// must grow with the list, not with its square.
// Usage: bench-settings-write [FOLDERS ...]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/ApplicationData_CL.h"
#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"

namespace {

std::wstring MakeTempFolder(int folders)
{
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"quillmere-bench-settings-" + std::to_wstring(folders) + L"-" +
                          std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool WriteIni(const std::wstring& path, int folders)
{
    std::wstring text = L"\xFEFF[APP_INFO]\r\ncompare_movie=1\r\n[CHECK_FOLDER]\r\ncount=" + std::to_wstring(folders) + L"\r\n";
    for (int i = 0; i < folders; ++i) {
        wchar_t line[128];
        swprintf(line, 128, L"item%d=1|C:\\Videos\\Library %05d\\Season\r\n", i, i);
        text += line;
    }
    text += L"[VERSION]\r\nnotify=1\r\n";
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD done = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    return file && ::WriteFile(file.Get(), text.data(), bytes, &done, nullptr) && done == bytes;
}

// The median of `clicks` check-box changes, in milliseconds.
double MedianClickMs(int folders, int clicks)
{
    const std::wstring folder = MakeTempFolder(folders);
    if (!WriteIni(folder + L"\\Quillmere.ini", folders)) return -1;
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder);
    if (static_cast<int>(settings.GetCheckFolders().size()) != folders) return -1;
    std::vector<double> times;
    for (int i = 0; i < clicks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        settings.SetCheckFolderChecked(folders / 2, i % 2);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    for (const wchar_t* name : {L"\\Quillmere.ini", L"\\log.txt"}) ::DeleteFileW((folder + name).c_str());
    ::RemoveDirectoryW(folder.c_str());
    return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(_wtoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 4000, 8000};
    std::printf("%-8s %12s %18s\n", "folders", "click (ms)", "ms per 1,000");
    for (int folders : sizes) {
        const double ms = MedianClickMs(folders, 7);
        if (ms < 0) {
            std::printf("%-8d could not prepare the INI\n", folders);
            return 1;
        }
        std::printf("%-8d %12.1f %18.2f\n", folders, ms, ms * 1000.0 / folders);
    }
    return 0;
}
