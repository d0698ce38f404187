// Fingerprints taken through the preview's decoding, on one movie in three encodings made
// by ffmpeg for the test run (tools/make-test-movies.sh) and another movie beside them.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "core/GdiPlus.h"
#include "decode/DShowMovieFingerprint_CL.h"
#include "decode/SimilarMovieSearch_CL.h"
#include "engine/CacheFile.h"
#include "engine/FirstFileCompare_CL.h"
#include "engine/SimilarMatcher_CL.h"
#include "support/CliRunner.h"
#include "support/DocumentsFolderLock.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

constexpr int64_t kSecond = 10000000;

std::wstring TestMovie(const wchar_t* name)
{
    std::wstring bin = BinFolder();
    return bin.substr(0, bin.find_last_of(L'\\')) + L"\\test-movies\\" + name;
}

struct ComAndGdiPlus {
    ComAndGdiPlus()
    {
        ::CoInitialize(nullptr);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ~ComAndGdiPlus()
    {
        Gdiplus::GdiplusShutdown(token);
        ::CoUninitialize();
    }
    ULONG_PTR token = 0;
};

// One search's similar part over the folder, as the program runs it after the exact search.
struct Search {
    FirstFileCompare_CL scanner;
    SimilarMovieSearch_CL similar;
    SimilarMovieSearch_CL::Outcome outcome;

    // `whileLooking` is called with each progress of the search.
    Search(const std::wstring& folder, FingerprintCache_CL* cache, const volatile LONG* cancel = nullptr,
           const std::function<void(int done, int total)>& whileLooking = {})
    {
        scanner.SetEndPause(0);
        scanner.ScanFolder(folder, nullptr);
        scanner.FindDuplicates(nullptr);
        std::vector<CompareFileEntry*> movies;
        for (CompareFileEntry& file : scanner.Files()) movies.push_back(&file);
        similar.onProgress = whileLooking;
        outcome = similar.Run(movies, scanner.Groups(), SimilarMatcher_CL::kDefaultThreshold, cache, cancel);
    }
    // Each similar group as "name score" lines, for comparing two searches.
    std::vector<std::wstring> Groups() const
    {
        std::vector<std::wstring> lines;
        for (const SimilarGroup& group : outcome.groups) {
            std::wstring line;
            for (size_t f = 0; f < group.files.size(); ++f)
                line += GetName(group.files[f]->path) + L" " + std::to_wstring(group.scores[f]) + L"; ";
            lines.push_back(line);
        }
        return lines;
    }
    static std::wstring GetName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
};

void SetWriteTime(const std::wstring& path, uint64_t time)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME when = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ::SetFileTime(file, nullptr, nullptr, &when);
    ::CloseHandle(file);
}

}  // namespace

TEST(SimilarMovies, ReencodedResizedAndCutCopiesAreFoundAndTheCacheChangesNothing)
{
    ComAndGdiPlus environment;
    TestFolder folder;
    for (const wchar_t* name : {L"scenes.mp4", L"scenes-small.avi", L"scenes-cut.webm", L"other.mp4", L"broken.avi"})
        ASSERT_TRUE(::CopyFileW(TestMovie(name).c_str(), (folder / name).c_str(), FALSE)) << name;
    ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes.mp4").c_str(), (folder / L"scenes-copy.mp4").c_str(), FALSE));
    TestFolder documents;
    const std::wstring cachePath = documents / L"fingerprints.cache";

    FingerprintCache_CL cache;
    int lastDone = 0, lastTotal = 0;
    Search first(folder.Path(), &cache, nullptr, [&](int done, int total) {
        EXPECT_EQ(done, lastDone + (done > 0)) << "one movie at a time";
        lastDone = done;
        lastTotal = total;
    });
    EXPECT_EQ(first.outcome.movies, 6);
    // The byte copy is not looked at: its exact group's first file stands for it.
    EXPECT_EQ(first.outcome.lookedAt, 5);
    EXPECT_EQ(first.outcome.decoded, 5);
    EXPECT_EQ(lastDone, 5);
    EXPECT_EQ(lastTotal, 5);
    EXPECT_EQ(first.outcome.undecodable, 1) << "broken.avi";
    EXPECT_EQ(cache.GetCount(), 5u);
    ASSERT_EQ(first.outcome.groups.size(), 1u);
    const SimilarGroup& group = first.outcome.groups[0];
    std::vector<std::wstring> names;
    for (CompareFileEntry* file : group.files) names.push_back(Search::GetName(file->path));
    // The exact copy stays in its exact group: only one of the two .mp4 takes part.
    ASSERT_EQ(names.size(), 3u);
    EXPECT_TRUE(names[0] == L"scenes.mp4" || names[0] == L"scenes-copy.mp4") << names[0];
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ(names[1], L"scenes-cut.webm");
    EXPECT_EQ(names[2], L"scenes-small.avi");
    for (int score : group.scores) EXPECT_GE(score, SimilarMatcher_CL::kDefaultThreshold);

    // What the pane shows beside them: frame size and length.
    for (size_t i = 0; i < first.scanner.Files().size(); ++i) {
        const std::wstring name = Search::GetName(first.scanner.Files()[i].path);
        const MovieFingerprint& print = first.similar.Fingerprints()[i];
        if (name == L"scenes-small.avi") {
            EXPECT_EQ(print.width, 224);
            EXPECT_EQ(print.height, 126);
        }
        if (name == L"scenes-cut.webm") {
            EXPECT_NEAR(double(print.duration), 13.0 * kSecond, kSecond / 4.0);
        }
        if (name == L"scenes.mp4" || name == L"scenes-copy.mp4") {  // the copy's is its first file's
            EXPECT_EQ(print.width, 320);
            EXPECT_NEAR(double(print.duration), 15.0 * kSecond, kSecond / 4.0);
            EXPECT_EQ(print.frames.size(), MovieFingerprint::SampleTimes(print.duration).size());
        }
        if (name == L"broken.avi") {
            EXPECT_FALSE(print.isDecodable);
        }
    }
    ASSERT_TRUE(cache.Save(cachePath));
    // A cache of the fingerprints taken before at other moments, in the same layout, is no
    // cache: they would never match those taken now.
    const char magic[4] = {'Q', 'M', 'F', 'P'};
    std::vector<uint8_t> body = CacheFile::ReadBody(cachePath, magic);
    ASSERT_GE(body.size(), 4u);
    const uint32_t older = FingerprintCache_CL::kVersion - 1;
    memcpy(body.data(), &older, sizeof(older));
    ASSERT_TRUE(CacheFile::WriteWhole(documents / L"older.cache", magic, body));
    EXPECT_FALSE(FingerprintCache_CL().Load(documents / L"older.cache"));

    // Unchanged movies are never decoded again (the broken one neither), with the same result.
    FingerprintCache_CL loaded;
    ASSERT_TRUE(loaded.Load(cachePath));
    Search again(folder.Path(), &loaded);
    EXPECT_EQ(again.outcome.decoded, 0);
    EXPECT_EQ(again.outcome.undecodable, 1);
    EXPECT_EQ(again.Groups(), first.Groups());
    // A movie written since is decoded afresh; the others still come from the cache.
    SetWriteTime(folder / L"scenes-small.avi", 132000000000000000ull);
    Search touched(folder.Path(), &loaded);
    EXPECT_EQ(touched.outcome.decoded, 1);
    EXPECT_EQ(touched.Groups(), first.Groups());

    // A damaged cache is no cache: everything decoded again, the same groups.
    std::vector<uint8_t> bytes = ReadFileBytes(cachePath);
    bytes[bytes.size() / 2] ^= 0x40;
    WriteFileBytes(cachePath, bytes);
    FingerprintCache_CL damaged;
    EXPECT_FALSE(damaged.Load(cachePath));
    Search fresh(folder.Path(), &damaged);
    EXPECT_EQ(fresh.outcome.decoded, 5);
    EXPECT_EQ(fresh.Groups(), first.Groups());
    bytes.resize(bytes.size() - 3);
    WriteFileBytes(cachePath, bytes);
    EXPECT_FALSE(FingerprintCache_CL().Load(cachePath));

    // Movies deleted or written after the search saw them are neither counted as undecodable
    // nor cached: they are left out.
    TestFolder changing;
    for (const wchar_t* name : {L"scenes.mp4", L"scenes-small.avi", L"scenes-cut.webm", L"broken.avi"})
        ASSERT_TRUE(::CopyFileW(TestMovie(name).c_str(), (changing / name).c_str(), FALSE)) << name;
    FingerprintCache_CL seen;
    Search meanwhile(changing.Path(), &seen, nullptr, [&](int done, int) {
        if (done > 0) return;
        EXPECT_TRUE(::DeleteFileW((changing / L"scenes-small.avi").c_str()));
        SetWriteTime(changing / L"scenes-cut.webm", 132000000000000000ull);
    });
    EXPECT_EQ(meanwhile.outcome.goneOrChanged, 2);
    EXPECT_EQ(meanwhile.outcome.undecodable, 1) << "broken.avi only";
    EXPECT_TRUE(meanwhile.outcome.groups.empty());
    EXPECT_EQ(seen.GetCount(), 2u) << "scenes.mp4 and broken.avi";
    for (size_t i = 0; i < meanwhile.scanner.Files().size(); ++i) {
        const std::wstring name = Search::GetName(meanwhile.scanner.Files()[i].path);
        MovieFingerprint print;
        EXPECT_EQ(seen.Find(meanwhile.scanner.Files()[i], print), name == L"scenes.mp4" || name == L"broken.avi") << name;
    }

    // A cancelled search forms no group and keeps nothing half-taken in the cache.
    FingerprintCache_CL untouched;
    volatile LONG cancel = 1;
    Search canceled(folder.Path(), &untouched, &cancel);
    EXPECT_TRUE(canceled.outcome.canceled);
    EXPECT_TRUE(canceled.outcome.groups.empty());
    EXPECT_EQ(untouched.GetCount(), 0u);
}

// A movie whose pictures move fast throughout (only the very same moment shows the same
// picture), and its copies cut by 3 s at one end, each re-encoded: all found.
TEST(SimilarMovies, FastMovingMoviesCutAtEitherEndAreFound)
{
    ComAndGdiPlus environment;
    DShowMovieFingerprint_CL taker;
    const MovieFingerprint whole = taker.Take(TestMovie(L"moving.mp4"));
    ASSERT_TRUE(whole.isDecodable);
    EXPECT_NEAR(double(whole.duration), 40.0 * kSecond, kSecond / 4.0);
    for (const wchar_t* name : {L"moving-end.mp4", L"moving-start.mp4"}) {
        const MovieFingerprint cut = taker.Take(TestMovie(name));
        ASSERT_TRUE(cut.isDecodable) << name;
        EXPECT_NEAR(double(cut.duration), 37.0 * kSecond, kSecond / 4.0) << name;
        EXPECT_GE(SimilarMatcher_CL::Similarity(whole, cut), SimilarMatcher_CL::kDefaultThreshold) << name;
        EXPECT_GE(SimilarMatcher_CL::Similarity(cut, whole), SimilarMatcher_CL::kDefaultThreshold) << name;
    }
}

TEST(SimilarMovies, DamagedMoviesAreLeftOutQuickly)
{
    ComAndGdiPlus environment;
    DShowMovieFingerprint_CL taker;
    for (const wchar_t* name : {L"broken.avi", L"half.mkv", L"steps.mp4"}) {
        const auto start = std::chrono::steady_clock::now();
        const MovieFingerprint print = taker.Take(TestMovie(name));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << name;
        // Grey steps say nothing of a movie: decodable, but every frame one colour.
        if (std::wstring(name) == L"steps.mp4") {
            EXPECT_TRUE(print.isDecodable);
            EXPECT_EQ(print.InformativeFrames(), 0);
        } else {
            EXPECT_FALSE(print.isDecodable && print.InformativeFrames() > 0) << name;
        }
    }
}

TEST(SimilarMovies, ConsoleToolListsSimilarGroupsOnlyWhenAsked)
{
    // Its searches read the settings in Documents (and log there): not a GUI test's meanwhile.
    DocumentsFolderLock documents;
    TestFolder folder;
    for (const wchar_t* name : {L"scenes.mp4", L"scenes-small.avi", L"other.mp4"})
        ASSERT_TRUE(::CopyFileW(TestMovie(name).c_str(), (folder / name).c_str(), FALSE)) << name;
    const std::wstring where = L" \"" + folder.Path() + L"\"";
    const CliResult plain = RunCli(L"find --json --no-cache" + where);
    EXPECT_EQ(plain.exitCode, 0u);
    EXPECT_EQ(plain.out, "{\"groups\":[]}\n");

    const CliResult json = RunCli(L"find --similar --json --no-cache" + where);
    EXPECT_EQ(json.exitCode, 0u);
    EXPECT_NE(json.out.find("\"similarGroups\":[{\"files\":[{\"path\":"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("scenes-small.avi\",\"similarity\":"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"width\":224,\"height\":126"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("other.mp4"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"movies\":3,\"decoded\":3,\"undecodable\":0}"), std::string::npos) << json.out;

    const CliResult text = RunCli(L"find --similar --threshold 100 --no-cache" + where);
    EXPECT_NE(text.out.find("0 similar groups (3 movies, 3 decoded, 0 could not be decoded)"), std::string::npos) << text.out;
    EXPECT_EQ(RunCli(L"find --threshold 50" + where).exitCode, 2u);
    EXPECT_EQ(RunCli(L"find --similar --threshold 0" + where).exitCode, 2u);
    EXPECT_EQ(RunCli(L"find --similar --threshold 7x" + where).exitCode, 2u);

    // CSV: the exact group, then the similar group numbered on, each line with its kind and
    // similarity; without --similar the lines and header are the exact search's alone.
    ASSERT_TRUE(::CopyFileW(TestMovie(L"other.mp4").c_str(), (folder / L"other-copy.mp4").c_str(), FALSE));
    const CliResult exactCsv = RunCli(L"find --csv --no-cache" + where);
    const CliResult csv = RunCli(L"find --similar --csv --no-cache" + where);
    EXPECT_EQ(csv.exitCode, 0u);
    const std::string header = "\xEF\xBB\xBF" + Utf8(L"グループ,パス,サイズ,更新日時,比較量,チェック");
    EXPECT_EQ(exactCsv.out.substr(0, header.size() + 2), header + "\r\n");
    ASSERT_EQ(csv.out.substr(0, header.size()), header);
    std::vector<std::string> lines;
    for (size_t at = header.size(), end; (end = csv.out.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(csv.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 5u) << csv.out;
    EXPECT_EQ(lines[0], Utf8(L",種類,類似度"));
    std::vector<std::string> exactLines;
    for (size_t at = header.size() + 2, end; (end = exactCsv.out.find("\r\n", at)) != std::string::npos; at = end + 2)
        exactLines.push_back(exactCsv.out.substr(at, end - at));
    ASSERT_EQ(exactLines.size(), 2u) << exactCsv.out;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[1 + i], exactLines[i] + Utf8(L",同一,"));
        EXPECT_EQ(lines[1 + i].substr(0, 2), "1,");
        EXPECT_NE(lines[1 + i].find("other"), std::string::npos);
    }
    EXPECT_NE(lines[3].find("scenes"), std::string::npos);
    EXPECT_NE(lines[4].find("scenes"), std::string::npos);
    for (int i = 3; i < 5; ++i) {
        EXPECT_EQ(lines[i].substr(0, 2), "2,");
        // The share column as the window shows it, not ticked, the kind, the score.
        const std::string score = lines[i].substr(lines[i].rfind(',') + 1);
        EXPECT_NE(lines[i].find(Utf8(L",類似 ") + score + Utf8(L",0,類似,") + score), std::string::npos) << lines[i];
        EXPECT_EQ(score.back(), '%');
        EXPECT_GE(std::atoi(score.c_str()), i == 3 ? 100 : SimilarMatcher_CL::kDefaultThreshold) << lines[i];
    }
}

// A byte copy stands in for its exact group only while its first file can: the copies of a
// first file deleted before its turn (whether its fingerprint is cached or not), or of one
// that is not a movie at all, are still movies of their own and find their re-encoded copy.
TEST(SimilarMovies, CopiesStillTakePartWhenTheirFirstFileCannot)
{
    ComAndGdiPlus environment;
    enum { kDeleted, kDeletedButCached, kNoMovie };
    for (const int kind : {kDeleted, kDeletedButCached, kNoMovie}) {
        SCOPED_TRACE(kind == kDeleted ? "first file deleted" : kind == kDeletedButCached ? "cached first file deleted" : "first file not a movie");
        TestFolder folder;
        ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes.mp4").c_str(), (folder / L"scenes.mp4").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes.mp4").c_str(), (folder / L"scenes-copy.mp4").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes-small.avi").c_str(), (folder / L"scenes-small.avi").c_str(), FALSE));
        FirstFileCompare_CL scanner;
        scanner.SetEndPause(0);
        scanner.ScanFolder(folder.Path(), nullptr);
        scanner.FindDuplicates(nullptr);
        ASSERT_EQ(scanner.Groups().size(), 1u);
        const CompareFileEntry* first = scanner.Groups()[0].front();
        std::vector<CompareFileEntry*> movies;
        for (CompareFileEntry& file : scanner.Files())
            if (kind != kNoMovie || &file != first) movies.push_back(&file);
        FingerprintCache_CL cache;
        if (kind == kDeletedButCached) SimilarMovieSearch_CL().Run(movies, scanner.Groups(), 0, &cache, nullptr);
        if (kind != kNoMovie) ASSERT_TRUE(::DeleteFileW(first->path.c_str()));
        SimilarMovieSearch_CL similar;
        int lastDone = 0, lastTotal = 0;
        similar.onProgress = [&](int done, int total) {
            lastDone = done;
            lastTotal = total;
        };
        const SimilarMovieSearch_CL::Outcome outcome = similar.Run(
            movies, scanner.Groups(), SimilarMatcher_CL::kDefaultThreshold, kind == kDeletedButCached ? &cache : nullptr, nullptr);
        // The copy is looked at in its first file's place (the bar's total grows by one for
        // it), the first file neither counted undecodable nor, cached, listed; the copy was
        // never looked at before, so it is decoded, while the other movie comes from the cache.
        EXPECT_EQ(outcome.lookedAt, kind == kNoMovie ? 2 : 3);
        EXPECT_EQ(outcome.decoded, kind == kDeletedButCached ? 1 : 2);
        EXPECT_EQ(outcome.goneOrChanged, kind == kNoMovie ? 0 : 1);
        EXPECT_EQ(outcome.undecodable, 0);
        EXPECT_EQ(lastDone, outcome.lookedAt);
        EXPECT_EQ(lastTotal, outcome.lookedAt);
        EXPECT_EQ(outcome.groups.size(), 1u);
        if (outcome.groups.size() != 1u) continue;
        std::vector<std::wstring> names;
        for (CompareFileEntry* file : outcome.groups[0].files) names.push_back(Search::GetName(file->path));
        std::sort(names.begin(), names.end());
        std::vector<std::wstring> expected = {L"scenes-small.avi", Search::GetName(scanner.Groups()[0][1]->path)};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
}
