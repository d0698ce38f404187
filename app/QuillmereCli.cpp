// quillmere-cli: the duplicate search and the whole-file comparison for scripts, tests and
// benchmarks, on the same engine as the program.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/ApplicationData_CL.h"
#include "core/TextFormat.h"
#include "engine/CompareTarget.h"
#include "engine/FirstFileCompare_CL.h"
#include "engine/ListFile.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDiffer = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"usage:\n"
    L"  quillmere-cli find [--all-files] [--json] [--list FILE] [FOLDER ...]\n"
    L"      Walks the folders (or takes the files named in FILE, one per line) and prints the\n"
    L"      groups of files whose size and first 2 MiB are equal. Without --all-files only the\n"
    L"      extensions enabled in the user's Quillmere settings are compared.\n"
    L"  quillmere-cli compare FILE_A FILE_B\n"
    L"      Compares two files over their whole length: exit 0 when equal, 1 when they differ.\n";

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

bool IsConsole(HANDLE handle)
{
    DWORD mode;
    return ::GetConsoleMode(handle, &mode) != FALSE;
}

// UTF-8 into pipes and files; wide text into a console window.
void Print(DWORD which, const std::wstring& text)
{
    HANDLE handle = ::GetStdHandle(which);
    DWORD written = 0;
    if (IsConsole(handle)) {
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = ToUtf8(text);
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t escaped[8];
            _snwprintf(escaped, 8, L"\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

class CliScanner : public FirstFileCompare_CL {
public:
    CliScanner(bool allFiles, bool showProgress) : allFiles(allFiles), showProgress(showProgress) {}
    int AcceptFile(const CompareFileEntry& file) override { return allFiles ? 1 : IsCompareTarget(file); }
    void OnProgress(int value) override
    {
        if (showProgress) Print(STD_ERROR_HANDLE, L"\r" + std::to_wstring(value / 10) + L"%   ");
    }

private:
    bool allFiles;
    bool showProgress;
};

void PrintGroupsAsText(const std::vector<DuplicateGroup>& groups)
{
    std::wstring out;
    for (size_t g = 0; g < groups.size(); ++g) {
        const DuplicateGroup& group = groups[g];
        out += L"group " + std::to_wstring(g + 1) + L": " + std::to_wstring(group.size()) + L" files of " +
               FormatWithThousands(group[0]->size) + L" bytes\n";
        for (const CompareFileEntry* file : group) out += L"  " + file->path + L"\n";
    }
    out += std::to_wstring(groups.size()) + L" groups\n";
    Print(STD_OUTPUT_HANDLE, out);
}

void PrintGroupsAsJson(const std::vector<DuplicateGroup>& groups)
{
    std::wstring out = L"{\"groups\":[";
    for (size_t g = 0; g < groups.size(); ++g) {
        if (g) out += L",";
        out += L"{\"size\":" + std::to_wstring(groups[g][0]->size) + L",\"files\":[";
        for (size_t f = 0; f < groups[g].size(); ++f) {
            if (f) out += L",";
            out += L"{\"path\":" + JsonString(groups[g][f]->path) +
                   L",\"comparedBytes\":" + std::to_wstring(groups[g][f]->comparedBytes) + L"}";
        }
        out += L"]}";
    }
    out += L"]}\n";
    Print(STD_OUTPUT_HANDLE, out);
}

int Usage(const std::wstring& problem)
{
    if (!problem.empty()) Print(STD_ERROR_HANDLE, L"quillmere-cli: " + problem + L"\n");
    Print(STD_ERROR_HANDLE, kUsage);
    return kExitUsage;
}

int RunFind(const std::vector<std::wstring>& args)
{
    bool allFiles = false, json = false;
    std::wstring listFile;
    std::vector<std::wstring> folders;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--all-files") {
            allFiles = true;
        } else if (args[i] == L"--json") {
            json = true;
        } else if (args[i] == L"--list") {
            if (++i == args.size()) return Usage(L"--list needs a file");
            listFile = args[i];
        } else if (args[i].starts_with(L"--")) {
            return Usage(L"unknown option " + args[i]);
        } else {
            folders.push_back(args[i]);
        }
    }
    if (!listFile.empty() && !folders.empty()) return Usage(L"give folders or --list, not both");
    if (listFile.empty() && folders.empty()) return Usage(L"no folder given");
    if (!listFile.empty() && ::GetFileAttributesW(listFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Usage(L"cannot read the list file " + listFile);

    if (!allFiles) TheApplicationData().Load();
    CliScanner scanner(allFiles, IsConsole(::GetStdHandle(STD_ERROR_HANDLE)));
    scanner.SetEndPause(0);
    if (!listFile.empty()) {
        for (const std::wstring& path : ReadListFile(listFile)) scanner.AddFile(path);
    } else {
        for (const std::wstring& folder : folders) scanner.ScanFolder(folder, nullptr);
    }
    scanner.FindDuplicates(nullptr);
    if (json)
        PrintGroupsAsJson(scanner.Groups());
    else
        PrintGroupsAsText(scanner.Groups());
    return kExitOk;
}

int RunCompare(const std::vector<std::wstring>& args)
{
    if (args.size() != 2) return Usage(L"compare takes two files");
    for (const std::wstring& path : args) {
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Usage(L"no such file: " + path);
    }
    FirstFileCompare_CL comparer;
    int equal = comparer.CompareWholeFiles(args[0], args[1], FirstFileCompare_CL::kFirstBlockLimit, nullptr);
    Print(STD_OUTPUT_HANDLE, equal ? L"equal\n" : L"different\n");
    return equal ? kExitOk : kExitDiffer;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(L"");
    std::wstring command = args.front();
    args.erase(args.begin());
    if (command == L"find") return RunFind(args);
    if (command == L"compare") return RunCompare(args);
    if (command == L"--help" || command == L"-h" || command == L"help") {
        Print(STD_OUTPUT_HANDLE, kUsage);
        return kExitOk;
    }
    return Usage(L"unknown command " + command);
}
