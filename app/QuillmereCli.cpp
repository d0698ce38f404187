// quillmere-cli: the duplicate search and the whole-file comparison for scripts, tests and
// benchmarks, on the same engine as the program.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <objbase.h>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/PathFunctions.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/FrameInfo_CL.h"
#include "core/GdiPlus.h"
#include "core/TextFormat.h"
#include "engine/CompareTarget.h"
#include "decode/SimilarMovieSearch_CL.h"
#include "engine/DigestCache_CL.h"
#include "engine/SimilarMatcher_CL.h"
#include "engine/FirstFileCompare_CL.h"
#include "engine/ListFile.h"
#include "engine/ResultExport.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDiffer = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;

const wchar_t kUsage[] =
    L"usage:\n"
    L"  quillmere-cli find [--all-files] [--json | --csv] [--no-cache] [--similar [--threshold N]] [--list FILE]\n"
    L"                     [FOLDER ...]\n"
    L"      Walks the folders (or takes the files named in FILE, one per line) and prints the\n"
    L"      groups of files whose size and first 2 MiB are equal. Without --all-files only the\n"
    L"      extensions enabled in the user's Quillmere settings are compared. The digests read\n"
    L"      are kept in Documents\\Quillmere\\digests.cache for the next search (as the program\n"
    L"      does); --no-cache neither reads nor writes it. --similar also lists, after the exact\n"
    L"      groups, the movies that are the same movie in another encoding (re-encoded, resized,\n"
    L"      re-wrapped or cut by a few seconds), each with its similarity to the group's first\n"
    L"      file; --threshold N (1..100, default 70) is the least similarity in percent. Their\n"
    L"      fingerprints are kept in Documents\\Quillmere\\fingerprints.cache.\n"
    L"      --csv prints one line per file of the exact groups, as the program saves a result:\n"
    L"      group, path, size, last-write time, share compared, ticked (UTF-8 with a byte-order\n"
    L"      mark). With --similar the similar groups follow, numbered on, and every line ends in\n"
    L"      two more fields: the kind (同一 or 類似) and the similarity (empty for exact groups).\n"
    L"  quillmere-cli compare FILE_A FILE_B\n"
    L"      Compares two files over their whole length: exit 0 when equal, 1 when they differ\n"
    L"      or one of them changed while it was compared (printed as \"changed\").\n"
    L"  quillmere-cli sheet [--grid N] MOVIE OUT.png\n"
    L"      Decodes N x N preview frames (N = 2..5, default 4) of the movie at evenly spaced\n"
    L"      points and writes them as a 4096 x 3072 contact sheet. Exit 1 when frames could not\n"
    L"      be decoded (the sheet then shows the error image in their cells).\n"
    L"exit codes: 0 done (compare: equal), 1 different (sheet: frames missing), 2 wrong usage\n"
    L"or no such file, 3 a folder, list file or file that cannot be read (named on stderr; find\n"
    L"--list still searches the other files of the list and prints their groups).\n"
    L"In --json, a path that is not valid UTF-16 keeps its lone surrogates as \\uXXXX escapes.\n";

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

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CanRead(const std::wstring& path)
{
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    return file.IsValid();
}

// Why a file named in a list is not searched.
std::wstring WhyLeftOut(const std::wstring& path)
{
    if (IsFolder(path)) return L"a folder, not a file: " + path;
    return (FileExists(path) ? L"cannot read " : L"no such file: ") + path;
}

int Unreadable(const std::wstring& problem)
{
    Print(STD_ERROR_HANDLE, L"quillmere-cli: " + problem + L"\n");
    return kExitUnreadable;
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

// `similar`: the members that --similar adds after the groups, or empty.
void PrintGroupsAsJson(const std::vector<DuplicateGroup>& groups, const std::wstring& similar)
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
    out += L"]" + similar + L"}\n";
    Print(STD_OUTPUT_HANDLE, out);
}

// What the user weighs to keep the best copy: frame size, length and bit rate.
std::wstring MovieTraits(const CompareFileEntry& file, const MovieFingerprint& print)
{
    return std::to_wstring(print.width) + L"x" + std::to_wstring(print.height) + L", " +
           FormatMovieLength(print.duration) + L", " + FormatBitRate(file.size, print.duration);
}

std::wstring SimilarAsText(const SimilarMovieSearch_CL::Outcome& outcome, const SimilarMovieSearch_CL& search,
                           const std::vector<CompareFileEntry*>& movies)
{
    auto printOf = [&](const CompareFileEntry* file) -> const MovieFingerprint& {
        return search.Fingerprints()[std::find(movies.begin(), movies.end(), file) - movies.begin()];
    };
    std::wstring out;
    for (size_t g = 0; g < outcome.groups.size(); ++g) {
        const SimilarGroup& group = outcome.groups[g];
        out += L"similar group " + std::to_wstring(g + 1) + L": " + std::to_wstring(group.files.size()) + L" files\n";
        for (size_t f = 0; f < group.files.size(); ++f)
            out += L"  " + std::to_wstring(group.scores[f]) + L"%  " + group.files[f]->path + L"  (" +
                   MovieTraits(*group.files[f], printOf(group.files[f])) + L")\n";
    }
    out += std::to_wstring(outcome.groups.size()) + L" similar groups (" + std::to_wstring(outcome.movies) +
           L" movies, " + std::to_wstring(outcome.decoded) + L" decoded, " + std::to_wstring(outcome.undecodable) +
           L" could not be decoded)\n";
    return out;
}

std::wstring SimilarAsJson(const SimilarMovieSearch_CL::Outcome& outcome, const SimilarMovieSearch_CL& search,
                           const std::vector<CompareFileEntry*>& movies)
{
    std::wstring out = L",\"similarGroups\":[";
    for (size_t g = 0; g < outcome.groups.size(); ++g) {
        const SimilarGroup& group = outcome.groups[g];
        out += g ? L",{\"files\":[" : L"{\"files\":[";
        for (size_t f = 0; f < group.files.size(); ++f) {
            const MovieFingerprint& print =
                search.Fingerprints()[std::find(movies.begin(), movies.end(), group.files[f]) - movies.begin()];
            out += (f ? L",{\"path\":" : L"{\"path\":") + JsonString(group.files[f]->path) +
                   L",\"similarity\":" + std::to_wstring(group.scores[f]) + L",\"size\":" +
                   std::to_wstring(group.files[f]->size) + L",\"width\":" + std::to_wstring(print.width) +
                   L",\"height\":" + std::to_wstring(print.height) + L",\"duration\":" +
                   std::to_wstring(print.duration) + L"}";
        }
        out += L"]}";
    }
    return out + L"],\"movies\":" + std::to_wstring(outcome.movies) + L",\"decoded\":" +
           std::to_wstring(outcome.decoded) + L",\"undecodable\":" + std::to_wstring(outcome.undecodable);
}

bool IsMovie(const CompareFileEntry& file)
{
    return IsEnabledMovie(file, TheApplicationData());
}

// The similar part of a search: COM and GDI+ for the decoding, the fingerprint cache beside
// the digest cache (unless `cachePath` is empty). `movies` and `search` keep what the
// outcome's groups and fingerprints point into.
SimilarMovieSearch_CL::Outcome FindSimilar(FirstFileCompare_CL& scanner, int threshold, const std::wstring& cachePath,
                                           std::vector<CompareFileEntry*>& movies, SimilarMovieSearch_CL& search)
{
    for (CompareFileEntry& file : scanner.Files())
        if (IsMovie(file)) movies.push_back(&file);
    const HRESULT com = ::CoInitialize(nullptr);
    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startup, nullptr);
    FingerprintCache_CL cache;
    if (!cachePath.empty()) cache.Load(cachePath);
    const bool showProgress = IsConsole(::GetStdHandle(STD_ERROR_HANDLE));
    if (showProgress)
        search.onProgress = [](int done, int total) {
            Print(STD_ERROR_HANDLE, L"\r" + std::to_wstring(done) + L"/" + std::to_wstring(total) + L"   ");
        };
    const SimilarMovieSearch_CL::Outcome outcome =
        search.Run(movies, scanner.Groups(), threshold, cachePath.empty() ? nullptr : &cache, nullptr);
    if (!cachePath.empty()) cache.Save(cachePath);
    Gdiplus::GdiplusShutdown(token);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return outcome;
}

std::vector<const DuplicateGroup*> GroupPointers(const std::vector<DuplicateGroup>& groups)
{
    std::vector<const DuplicateGroup*> pointers;
    for (const DuplicateGroup& group : groups) pointers.push_back(&group);
    return pointers;
}

// Similar groups as the window lists them after the exact ones: each member's score kept in
// its entry.
std::vector<DuplicateGroup> AsDuplicateGroups(const std::vector<SimilarGroup>& found)
{
    std::vector<DuplicateGroup> groups;
    for (const SimilarGroup& similar : found) {
        DuplicateGroup& group = groups.emplace_back();
        group.isSimilar = true;
        for (size_t i = 0; i < similar.files.size() && i < similar.scores.size(); ++i) {
            similar.files[i]->similarity = similar.scores[i];
            group.push_back(similar.files[i]);
        }
    }
    return groups;
}

// Bytes as they are, to a console as well: the CSV is UTF-8 wherever it goes.
void PrintBytes(const std::string& bytes)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Usage(const std::wstring& problem)
{
    if (!problem.empty()) Print(STD_ERROR_HANDLE, L"quillmere-cli: " + problem + L"\n");
    Print(STD_ERROR_HANDLE, kUsage);
    return kExitUsage;
}

int RunFind(const std::vector<std::wstring>& args)
{
    bool allFiles = false, json = false, csv = false, useCache = true, similar = false;
    int threshold = SimilarMatcher_CL::kDefaultThreshold;
    bool thresholdGiven = false;
    std::wstring listFile;
    std::vector<std::wstring> folders;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--all-files") {
            allFiles = true;
        } else if (args[i] == L"--json") {
            json = true;
        } else if (args[i] == L"--csv") {
            csv = true;
        } else if (args[i] == L"--no-cache") {
            useCache = false;
        } else if (args[i] == L"--similar") {
            similar = true;
        } else if (args[i] == L"--threshold") {
            if (++i == args.size()) return Usage(L"--threshold needs a number");
            wchar_t* end = nullptr;
            const long value = wcstol(args[i].c_str(), &end, 10);
            if (args[i].empty() || *end || value < 1 || value > 100) return Usage(L"--threshold takes 1 to 100");
            threshold = static_cast<int>(value);
            thresholdGiven = true;
        } else if (args[i] == L"--list") {
            if (++i == args.size()) return Usage(L"--list needs a file");
            listFile = args[i];
        } else if (args[i].starts_with(L"--")) {
            return Usage(L"unknown option " + args[i]);
        } else {
            folders.push_back(args[i]);
        }
    }
    if (thresholdGiven && !similar) return Usage(L"--threshold goes with --similar");
    if (!listFile.empty() && !folders.empty()) return Usage(L"give folders or --list, not both");
    if (json && csv) return Usage(L"give --json or --csv, not both");
    if (listFile.empty() && folders.empty()) return Usage(L"no folder given");
    if (!listFile.empty() && ::GetFileAttributesW(listFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Usage(L"cannot read the list file " + listFile);
    if (!listFile.empty() && (IsFolder(listFile) || !CanRead(listFile)))
        return Unreadable(L"the list file is a folder or cannot be read: " + listFile);
    for (const std::wstring& folder : folders)
        if (!IsFolder(folder)) return Unreadable(L"no such folder: " + folder);

    if (!allFiles || similar) TheApplicationData().Load();
    // Asked only when needed: finding Documents starts the shell, a tenth of a second cold.
    // The cache loads during the walk.
    DigestCache_CL cache;
    std::wstring cachePath, cacheFolder;
    if (useCache) {
        cacheFolder = GetDocumentsFolder() + L"\\Quillmere";
        ::CreateDirectoryW(cacheFolder.c_str(), nullptr);
        cachePath = cacheFolder + L"\\digests.cache";
        cache.StartLoad(cachePath);
    }
    CliScanner scanner(allFiles, IsConsole(::GetStdHandle(STD_ERROR_HANDLE)));
    scanner.SetEndPause(0);
    bool isListed = true;  // every file of the list found and readable
    if (!listFile.empty()) {
        for (const std::wstring& path : ReadListFile(listFile)) {
            if (scanner.AddFile(path)) continue;
            isListed = false;
            Print(STD_ERROR_HANDLE, L"quillmere-cli: " + WhyLeftOut(path) + L"\n");
        }
    } else {
        scanner.ScanFolders(folders, nullptr);
    }
    if (useCache) scanner.SetDigestCache(&cache);
    scanner.FindDuplicates(nullptr);
    scanner.SetDigestCache(nullptr);
    if (useCache) cache.Save(cachePath);
    std::vector<CompareFileEntry*> movies;
    SimilarMovieSearch_CL search;
    SimilarMovieSearch_CL::Outcome outcome;
    if (similar)
        outcome = FindSimilar(scanner, threshold, useCache ? cacheFolder + L"\\fingerprints.cache" : L"", movies, search);
    if (csv) {
        std::vector<const DuplicateGroup*> groups = GroupPointers(scanner.Groups());
        const std::vector<DuplicateGroup> similarGroups = AsDuplicateGroups(outcome.groups);
        for (const DuplicateGroup& group : similarGroups) groups.push_back(&group);
        PrintBytes(ResultCsv(groups));
    } else if (json) {
        PrintGroupsAsJson(scanner.Groups(), similar ? SimilarAsJson(outcome, search, movies) : L"");
    } else {
        PrintGroupsAsText(scanner.Groups());
        if (similar) Print(STD_OUTPUT_HANDLE, SimilarAsText(outcome, search, movies));
    }
    // A file of the list that could not be searched fails the run in every format.
    return isListed ? kExitOk : kExitUnreadable;
}

int RunCompare(const std::vector<std::wstring>& args)
{
    if (args.size() != 2) return Usage(L"compare takes two files");
    for (const std::wstring& path : args) {
        DWORD attributes = ::GetFileAttributesW(LongPathForm(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Usage(L"no such file: " + path);
    }
    for (const std::wstring& path : args)
        if (!CanRead(path)) return Unreadable(L"cannot read " + path);
    FirstFileCompare_CL comparer;
    int equal = comparer.CompareWholeFiles(args[0], args[1], FirstFileCompare_CL::kFirstBlockLimit, nullptr);
    Print(STD_OUTPUT_HANDLE, equal ? L"equal\n" : comparer.WasChangedWhileCompared() ? L"changed\n" : L"different\n");
    return equal ? kExitOk : kExitDiffer;
}

bool SaveAsPng(Gdiplus::Image& image, const std::wstring& path)
{
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    std::vector<BYTE> buffer(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (!bytes || Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (std::wstring(encoders[i].MimeType) == L"image/png")
            return image.Save(path.c_str(), &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
    return false;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return GetDirectoryPart(path);
}

// Collects the decode thread's results for one request into the canvas, as the result
// pane does, on a message-only window of this thread.
int RunSheet(const std::vector<std::wstring>& args)
{
    int grid = 4;
    std::vector<std::wstring> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--grid") {
            if (++i == args.size()) return Usage(L"--grid needs a number");
            grid = _wtoi(args[i].c_str());
            if (grid < 2 || grid > 5) return Usage(L"--grid takes 2, 3, 4 or 5");
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.size() != 2) return Usage(L"sheet takes a movie and an output file");
    const std::wstring& movie = paths[0];
    if (::GetFileAttributesW(movie.c_str()) == INVALID_FILE_ATTRIBUTES) return Usage(L"no such movie: " + movie);

    ::CoInitialize(nullptr);
    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startup, nullptr);
    int exitCode = kExitOk;
    {
        HWND sink = ::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        DShowMovieFrameDecodeThread_CL thread;
        thread.SetErrorImagePath(ProgramFolder() + L"\\decode_err_image.jpg");
        thread.Start();
        DShowMovieFrameDecode_CL decoder;
        decoder.Attach(&thread, sink);
        FrameInfo_CL frames;
        const int count = grid * grid;
        decoder.RequestMovieFrames(movie, std::vector<int64_t>(count, DShowMovieFrameDecode_CL::kNextEvenPoint), 1, 0);
        frames.CreateFrameBitmap();
        frames.SetWidthCount(grid);

        int received = 0, errors = 0;
        MSG message;
        while (received < count && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.message != MSG_DECODE_RESULT) {
                ::DispatchMessageW(&message);
                continue;
            }
            std::unique_ptr<MovieDecodoRequestItem_CL> result(reinterpret_cast<MovieDecodoRequestItem_CL*>(message.lParam));
            if (result->frameNumber == 1) {
                frames.ClearFrames();
                frames.CreateFrameBitmap();
            }
            errors += result->isErrorImage;
            frames.SetFrame(result->frameNumber - 1, std::move(result->image));
            ++received;
        }
        thread.Stop();
        decoder.Finalize();
        if (!frames.GetDisplayImage() || !SaveAsPng(*frames.GetDisplayImage(), paths[1])) {
            Print(STD_ERROR_HANDLE, L"quillmere-cli: cannot write " + paths[1] + L"\n");
            exitCode = kExitUsage;
        } else if (errors == count) {
            Print(STD_ERROR_HANDLE, L"quillmere-cli: the movie cannot be opened: " + movie + L"\n");
            exitCode = kExitDiffer;
        } else if (errors > 0) {
            Print(STD_ERROR_HANDLE, L"quillmere-cli: " + std::to_wstring(errors) + L" of " + std::to_wstring(count) +
                                        L" frames could not be decoded\n");
            exitCode = kExitDiffer;
        }
        ::DestroyWindow(sink);
    }
    Gdiplus::GdiplusShutdown(token);
    ::CoUninitialize();
    return exitCode;
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
    if (command == L"sheet") return RunSheet(args);
    if (command == L"--help" || command == L"-h" || command == L"help") {
        Print(STD_OUTPUT_HANDLE, kUsage);
        return kExitOk;
    }
    return Usage(L"unknown command " + command);
}
