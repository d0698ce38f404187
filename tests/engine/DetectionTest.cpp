#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <set>
#include <random>
#include <thread>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"
#include "engine/DigestCache_CL.h"
#include "engine/FileIdentity.h"
#include "engine/FirstFileCompare_CL.h"
#include "support/TestFolder.h"

namespace {

class RecordingScanner : public FirstFileCompare_CL {
public:
    RecordingScanner() { SetEndPause(0); }
    void OnGroupFound(DuplicateGroup group) override
    {
        std::vector<std::wstring> paths;
        for (auto* file : group) paths.push_back(file->path);
        reported.push_back(paths);
        events.push_back(-1);
        if (onGroup) onGroup();
    }
    void OnProgress(int value) override
    {
        progress.push_back(value);
        events.push_back(value);
        if (onProgress) onProgress(value);
    }
    std::vector<std::vector<std::wstring>> GroupPaths()
    {
        std::vector<std::vector<std::wstring>> result;
        for (const auto& group : groups) {
            result.emplace_back();
            for (auto* file : group) result.back().push_back(file->path);
        }
        return result;
    }

    std::vector<std::vector<std::wstring>> reported;
    std::vector<int> progress;
    std::vector<int> events;  // progress values, -1 for a group
    std::function<void()> onGroup;
    std::function<void(int)> onProgress;
    volatile LONG cancelWord = 0;
};

// The plain n x n detection loop, step by step: the oracle for groups, their order, the
// compared bytes and every progress report. One rule beyond the plain loop: a file found to
// be another name of a base or of a file matched to it is no base itself. The plain loop
// would group the other names of a group's files among themselves, and a user deleting in
// both groups could then delete every name of every copy. Which names are one file the
// comparer tells (by identity), not the paths: names differing only in case may be two.
struct ReferenceResult {
    std::vector<std::vector<std::wstring>> groups;
    std::vector<uint64_t> comparedBytes;
    std::vector<int> events;
};

ReferenceResult RunReference(const std::vector<CompareFileEntry>& input)
{
    ReferenceResult result;
    std::vector<CompareFileEntry> files = input;
    RecordingScanner comparer;
    size_t n = files.size();
    uint64_t total = uint64_t(n) * n, done = 0;
    int last = 0;
    auto step = [&](uint64_t by) {
        done += by;
        int p = static_cast<int>(done * 1000 / total);
        if (p != last) result.events.push_back(p);
        last = p;
    };
    std::vector<char> isOtherName(n, 0);
    for (size_t b = 0; b < n; ++b) {
        CompareFileEntry& base = files[b];
        if (base.isGrouped) {
            step(n);
            continue;
        }
        std::vector<std::wstring> group{base.path};
        bool opened = false;
        for (size_t o = 0; o < n; ++o) {
            CompareFileEntry& other = files[o];
            if (!isOtherName[b] && !other.isGrouped && o != b && other.size == base.size) {
                if (!opened) comparer.OpenBaseFile(base.path);
                opened = true;
                const int compared = comparer.CompareFirstBlock(other.path);
                if (compared == 1) {
                    other.comparedBytes = comparer.GetComparedBytes();
                    other.isGrouped = 1;
                    group.push_back(other.path);
                } else if (compared == FirstFileCompare_CL::kSameFile) {
                    isOtherName[o] = 1;
                }
            }
            step(1);
        }
        base.isGrouped = 1;
        if (group.size() > 1) {
            result.groups.push_back(group);
            result.events.push_back(-1);
        }
    }
    for (const auto& file : files) result.comparedBytes.push_back(file.comparedBytes);
    return result;
}

}  // namespace

TEST(Detection, GroupsEqualFilesAroundTheFirstInListOrder)
{
    TestFolder folder;
    auto make = [&](const wchar_t* name, uint64_t size, uint32_t seed) {
        MakeFileWithContent(folder / name, size, seed);
        return folder / name;
    };
    RecordingScanner scanner;
    // A, B, C equal (3 MiB: only 2 MiB compared); D same size, other content.
    for (auto name : {L"A.avi", L"B.avi", L"C.avi"}) scanner.AddFile(make(name, 3 << 20, 7));
    scanner.AddFile(make(L"D.avi", 3 << 20, 8));
    // Interleaved: E, G content X and F, H content Y, one size.
    scanner.AddFile(make(L"E.avi", 5000, 1));
    scanner.AddFile(make(L"F.avi", 5000, 2));
    scanner.AddFile(make(L"G.avi", 5000, 1));
    scanner.AddFile(make(L"H.avi", 5000, 2));
    // Empty files never group; a file alone in its size neither.
    scanner.AddFile(make(L"empty1.avi", 0, 0));
    scanner.AddFile(make(L"empty2.avi", 0, 0));
    scanner.AddFile(make(L"alone.avi", 77, 1));

    EXPECT_EQ(scanner.FindDuplicates(nullptr), 1);
    using Paths = std::vector<std::wstring>;
    ASSERT_EQ(scanner.GroupPaths(), (std::vector<Paths>{{folder / L"A.avi", folder / L"B.avi", folder / L"C.avi"},
                                                         {folder / L"E.avi", folder / L"G.avi"},
                                                         {folder / L"F.avi", folder / L"H.avi"}}));
    EXPECT_EQ(scanner.reported, scanner.GroupPaths()) << "every group handed on as it is found";
    const auto& files = scanner.Files();
    EXPECT_EQ(files[0].comparedBytes, 0u);
    EXPECT_EQ(files[1].comparedBytes, 2097152u);
    EXPECT_EQ(files[2].comparedBytes, 2097152u);
    EXPECT_EQ(files[3].comparedBytes, 0u);
    EXPECT_EQ(files[6].comparedBytes, 5000u);
    EXPECT_EQ(scanner.progress.back(), 1000);
}

TEST(Detection, DifferencesBeyondTheFirstTwoMebibytesStillGroup)
{
    TestFolder folder;
    MakeFileWithContent(folder / L"a.mkv", 10 << 20, 3);
    MakeFileWithContent(folder / L"b.mkv", 10 << 20, 3);
    std::vector<uint8_t> bytes = ReadFileBytes(folder / L"b.mkv");
    bytes[3000000] ^= 0xFF;
    WriteFileBytes(folder / L"b.mkv", bytes);
    RecordingScanner scanner;
    scanner.AddFile(folder / L"a.mkv");
    scanner.AddFile(folder / L"b.mkv");
    scanner.FindDuplicates(nullptr);
    ASSERT_EQ(scanner.Groups().size(), 1u);

    // ...but the whole-file comparison tells them apart.
    EXPECT_EQ(scanner.CompareWholeFiles(folder / L"a.mkv", folder / L"b.mkv", 0x200000, nullptr), 0);
}

TEST(Detection, OneFileUnderTwoPathsIsNeverItsOwnDuplicate)
{
    TestFolder folder;
    MakeFolder(folder / L"dir");
    MakeFileWithContent(folder / L"dir\\movie.avi", 100000, 5);
    ASSERT_TRUE(::CreateHardLinkW((folder / L"dir\\hardlink.avi").c_str(), (folder / L"dir\\movie.avi").c_str(), nullptr));
    ASSERT_TRUE(MakeFolderLink(folder / L"linked", folder / L"dir"));

    // Listed under every name: one file.
    RecordingScanner listed;
    for (const wchar_t* name : {L"dir\\movie.avi", L"DIR\\MOVIE.AVI", L"dir\\hardlink.avi", L"linked\\movie.avi"})
        EXPECT_EQ(listed.AddFile(folder / name), 1);
    EXPECT_EQ(listed.Files().size(), 1u);

    // Walked: the folder link is not followed twice; the hard link is listed, but as the
    // same file it is neither a copy nor a base of a group of its own.
    RecordingScanner scanner;
    scanner.ScanFolders({folder.Path(), folder / L"linked"}, nullptr);
    EXPECT_EQ(scanner.Files().size(), 2u);
    scanner.FindDuplicates(nullptr);
    EXPECT_TRUE(scanner.Groups().empty());

    // With a real copy beside them, the group holds each file once.
    MakeFileWithContent(folder / L"copy.avi", 100000, 5);
    scanner.AddFile(folder / L"copy.avi");
    scanner.FindDuplicates(nullptr);
    ASSERT_EQ(scanner.Groups().size(), 1u);
    EXPECT_EQ(scanner.Groups()[0].size(), 2u);
}

TEST(Detection, UnreadableOrChangingFilesAreSimplyNoMatch)
{
    TestFolder folder;
    for (auto name : {L"locked.avi", L"b.avi", L"c.avi", L"d.avi", L"gone.avi"})
        MakeFileWithContent(folder / name, 200000, 9);
    RecordingScanner scanner;
    for (auto name : {L"locked.avi", L"b.avi", L"c.avi", L"d.avi", L"gone.avi"}) scanner.AddFile(folder / name);
    ::DeleteFileW((folder / L"gone.avi").c_str());

    // d.avi is cut short from outside after it was listed (the detection reads classes ahead
    // of its progress, so a later hook would come after d.avi was read).
    SetFileLength(folder / L"d.avi", 1000);
    FileHandle lock(::CreateFileW((folder / L"locked.avi").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    scanner.FindDuplicates(nullptr);
    using Paths = std::vector<std::wstring>;
    EXPECT_EQ(scanner.GroupPaths(), (std::vector<Paths>{{folder / L"b.avi", folder / L"c.avi"}}));
    EXPECT_EQ(scanner.progress.back(), 1000);

    // The base shrinking under an open comparison, and a candidate shrinking.
    lock.Reset();
    MakeFileWithContent(folder / L"d.avi", 200000, 9);
    ASSERT_EQ(scanner.OpenBaseFile(folder / L"b.avi"), 1);
    EXPECT_EQ(scanner.CompareFirstBlock(folder / L"c.avi"), 1);
    SetFileLength(folder / L"c.avi", 100);
    EXPECT_EQ(scanner.CompareFirstBlock(folder / L"c.avi"), 0);
    ASSERT_EQ(scanner.OpenBaseFile(folder / L"d.avi"), 1);
    SetFileLength(folder / L"d.avi", 65536);
    EXPECT_EQ(scanner.CompareFirstBlock(folder / L"b.avi"), 0);
    scanner.CloseBaseFile();
    EXPECT_EQ(scanner.CompareFirstBlock(folder / L"b.avi"), 0) << "no base open";

    // A candidate opened ahead with its first bytes read, compared later: equal; cut short
    // in between; or its bytes read ahead not those of the base.
    MakeFileWithContent(folder / L"b.avi", 200000, 9);
    MakeFileWithContent(folder / L"c.avi", 200000, 9);
    FirstBlockComparer_CL comparer;
    FileHandle early = FirstBlockComparer_CL::OpenForCompare(folder / L"c.avi");
    std::vector<uint8_t> prefix(4096);
    ASSERT_TRUE(FirstBlockComparer_CL::ReadExactly(early.Get(), 0, prefix.data(), 4096));
    ASSERT_EQ(comparer.OpenBase(folder / L"b.avi"), 1);
    EXPECT_EQ(comparer.CompareOpened(early.Get(), prefix, folder / L"c.avi"), 1);
    EXPECT_EQ(comparer.GetComparedBytes(), 200000u);
    ASSERT_EQ(comparer.OpenBase(folder / L"b.avi"), 1);
    prefix[4000] ^= 1;
    EXPECT_EQ(comparer.CompareOpened(early.Get(), prefix, folder / L"c.avi"), 0);
    prefix[4000] ^= 1;
    SetFileLength(folder / L"c.avi", 100000);
    EXPECT_EQ(comparer.CompareOpened(early.Get(), prefix, folder / L"c.avi"), 0);
}

TEST(Detection, MatchesThePlainLoopExactlyOnAMixedCorpusWhicheverWayItsFoldersAreNamed)
{
    TestFolder folder;
    MakeFolder(folder / L"sub\\deeper");
    std::mt19937 random(20261207);
    const uint64_t sizes[] = {0, 1, 4096, 65536, 65537, 300000, (2 << 20) + 5};
    const wchar_t* places[] = {L"", L"sub\\", L"sub\\deeper\\"};
    for (int i = 0; i < 70; ++i) {
        uint64_t size = sizes[random() % 7];
        uint32_t content = random() % 3;
        std::wstring path = folder / (places[i % 3] + (L"f" + std::to_wstring(i) + L".avi"));
        MakeFileWithContent(path, size, content);
        // Near-copies: equal first 4 KiB, different within the first block (the runs that
        // split) or only past it.
        if (uint64_t at = std::array<uint64_t, 3>{5000, 70000, (2 << 20) + 1}[random() % 3]; size > at && random() % 3 == 0) {
            std::vector<uint8_t> bytes = ReadFileBytes(path);
            bytes[at] ^= 0x5A;
            WriteFileBytes(path, bytes);
        }
    }
    auto pathsOf = [](RecordingScanner& scanner) {
        std::vector<std::wstring> paths;
        for (const CompareFileEntry& file : scanner.Files()) paths.push_back(file.path);
        return paths;
    };
    RecordingScanner alone;
    alone.ScanFolder(folder.Path(), nullptr);
    ASSERT_EQ(alone.Files().size(), 70u);

    // Named again, inside one another (the inner first), in capitals and with a trailing
    // "\.": each file once, in the order of the outer folder's walk.
    std::wstring capitals = folder.Path();
    std::transform(capitals.begin(), capitals.end(), capitals.begin(), ::towupper);
    RecordingScanner scanner;
    scanner.ScanFolders({folder / L"sub", folder.Path(), capitals, folder / L"SUB\\deeper\\.", folder.Path()}, nullptr);
    ASSERT_EQ(pathsOf(scanner), pathsOf(alone));
    scanner.events.clear();

    ReferenceResult expected = RunReference(scanner.Files());
    size_t candidates = 0;
    for (const CompareFileEntry& file : scanner.Files())
        candidates += file.size && std::count_if(scanner.Files().begin(), scanner.Files().end(),
                                                 [&](const CompareFileEntry& other) { return other.size == file.size; }) > 1;
    const uint64_t opensBefore = FirstFileCompare_CL::openCount;
    scanner.FindDuplicates(nullptr);

    EXPECT_EQ(FirstFileCompare_CL::openCount - opensBefore, candidates) << "every candidate opened once";
    EXPECT_EQ(scanner.GroupPaths(), expected.groups);
    EXPECT_EQ(scanner.events, expected.events) << "progress values and groups in the same order";
    for (size_t i = 0; i < scanner.Files().size(); ++i)
        EXPECT_EQ(scanner.Files()[i].comparedBytes, expected.comparedBytes[i]) << i;
    EXPECT_GE(expected.groups.size(), 5u);

    // Again: a second run resets the marks and gives the same.
    scanner.events.clear();
    scanner.FindDuplicates(nullptr);
    EXPECT_EQ(scanner.events, expected.events);

    // Once cleared, the same folders are walked anew.
    scanner.Clear();
    scanner.ScanFolders({folder / L"sub", folder.Path()}, nullptr);
    EXPECT_EQ(pathsOf(scanner), pathsOf(alone));
}

TEST(Detection, CancelKeepsTheGroupsFoundSoFar)
{
    TestFolder folder;
    RecordingScanner scanner;
    for (int i = 0; i < 10; ++i) {
        std::wstring path = folder / (L"f" + std::to_wstring(i) + L".avi");
        MakeFileWithContent(path, 1000 + i % 5, i % 5);
        scanner.AddFile(path);
    }
    scanner.onGroup = [&] { scanner.cancelWord = 1; };
    scanner.FindDuplicates(&scanner.cancelWord);
    EXPECT_EQ(scanner.Groups().size(), 1u);
    EXPECT_LT(scanner.progress.back(), 1000);

    RecordingScanner single, none;
    MakeFileWithContent(folder / L"one.avi", 10, 1);
    single.AddFile(folder / L"one.avi");
    single.FindDuplicates(nullptr);
    EXPECT_EQ(single.progress, std::vector<int>{1000});
    none.FindDuplicates(nullptr);
    EXPECT_TRUE(none.progress.empty());
}

TEST(WholeFileComparison, StepsDoubleFrom64KiBTo2MiBAndReportEachNewPercent)
{
    TestFolder folder;
    MakeFileWithContent(folder / L"a.bin", 5 << 20, 4);
    MakeFileWithContent(folder / L"b.bin", 5 << 20, 4);
    struct Recorder : FirstFileCompare_CL {
        void OnCompareProgress(int percent, uint64_t bytes) override
        {
            reports.emplace_back(percent, bytes);
            if (onReport) onReport();
        }
        std::vector<std::pair<int, uint64_t>> reports;
        std::function<void()> onReport;
        volatile LONG cancel = 0;
    } recorder;
    const uint64_t K = 1024;
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, nullptr), 1);
    EXPECT_EQ(recorder.reports, (std::vector<std::pair<int, uint64_t>>{{1, 64 * K},
                                                                       {3, 192 * K},
                                                                       {8, 448 * K},
                                                                       {18, 960 * K},
                                                                       {38, 1984 * K},
                                                                       {78, 4032 * K},
                                                                       {100, 5120 * K}}));

    // A difference in the last byte: every step but the last was equal.
    std::vector<uint8_t> bytes = ReadFileBytes(folder / L"b.bin");
    bytes.back() ^= 1;
    WriteFileBytes(folder / L"b.bin", bytes);
    recorder.reports.clear();
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, nullptr), 0);
    EXPECT_EQ(recorder.reports.back().first, 78);

    // Cut short from outside in the middle of the comparison.
    MakeFileWithContent(folder / L"b.bin", 5 << 20, 4);
    recorder.onReport = [&] { SetFileLength(folder / L"b.bin", 300000); };
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, nullptr), 0);

    // Grown while it was compared (bytes appended after the sizes were read): every byte
    // read was equal, and still the files are not reported equal, but changed.
    MakeFileWithContent(folder / L"b.bin", 5 << 20, 4);
    recorder.onReport = [&] {
        recorder.onReport = nullptr;
        FileHandle file(::CreateFileW((folder / L"b.bin").c_str(), FILE_APPEND_DATA, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), "38 bytes", 8, &written, nullptr);
    };
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, nullptr), 0);
    EXPECT_TRUE(recorder.WasChangedWhileCompared());
    EXPECT_EQ(recorder.reports.back().first, 100);
    MakeFileWithContent(folder / L"b.bin", 5 << 20, 4);
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, nullptr), 1);
    EXPECT_FALSE(recorder.WasChangedWhileCompared());

    // Cancelled: even a comparison that would have ended equal gives 0.
    MakeFileWithContent(folder / L"b.bin", 5 << 20, 4);
    recorder.onReport = [&] { recorder.cancel = 1; };
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"b.bin", 0x200000, &recorder.cancel), 0);
    recorder.onReport = nullptr;

    MakeFileWithContent(folder / L"e1", 0, 0);
    MakeFileWithContent(folder / L"e2", 0, 0);
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"e1", folder / L"e2", 0x200000, nullptr), 1) << "empty files are equal";
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"missing", 0x200000, nullptr), 0);
    EXPECT_EQ(recorder.CompareWholeFiles(folder / L"a.bin", folder / L"e1", 0x200000, nullptr), 0);
}

TEST(Detection, DeepPathsAndNamesEndingInADotOrASpaceAreComparedAsTheFilesTheyName)
{
    TestFolder folder;
    // Over 260 characters, with Japanese names: only the long form of the path reaches it.
    std::wstring deep = folder.Path();
    while (deep.size() < 300) deep += L"\\とても長いフォルダの名前" + std::to_wstring(deep.size());
    ASSERT_TRUE(MakeFolder(LongPathForm(deep)));
    const std::wstring inDeep = deep + L"\\x.avi";
    auto make = [](const std::wstring& path, uint64_t size, uint32_t seed) {
        ASSERT_TRUE(MakeFileWithContent(LongPathForm(path), size, seed)) << std::string(path.begin(), path.end());
    };
    make(inDeep, 70000, 1);
    make(folder / L"x-copy.avi", 70000, 1);
    // "m.avi." and "m.avi" are two files: a plain path would open the second for the first.
    make(folder / L"m.avi.", 80000, 2);
    make(folder / L"copy.avi.", 80000, 2);
    make(folder / L"m.avi", 80000, 3);
    make(folder / L"n.avi ", 90000, 4);
    make(folder / L"n2.avi", 90000, 4);

    RecordingScanner walked;
    walked.ScanFolder(folder.Path(), nullptr);
    walked.FindDuplicates(nullptr);
    using Paths = std::vector<std::wstring>;
    std::set<Paths> groups;
    for (Paths paths : walked.GroupPaths()) {
        std::sort(paths.begin(), paths.end());
        groups.insert(paths);
    }
    std::set<Paths> expected;
    for (Paths paths : std::vector<Paths>{{inDeep, folder / L"x-copy.avi"},
                                         {folder / L"copy.avi.", folder / L"m.avi."},
                                         {folder / L"n.avi ", folder / L"n2.avi"}}) {
        std::sort(paths.begin(), paths.end());
        expected.insert(paths);
    }
    EXPECT_EQ(groups, expected);
    for (const auto& group : walked.Groups()) {
        for (size_t i = 1; i < group.size(); ++i) EXPECT_EQ(group[i]->comparedBytes, group[i]->size);
    }

    // Listed: "m.avi." is compared as itself, never as "m.avi".
    RecordingScanner listed;
    listed.AddFile(folder / L"m.avi.");
    listed.AddFile(folder / L"m.avi");
    listed.AddFile(folder / L"copy.avi.");
    listed.FindDuplicates(nullptr);
    EXPECT_EQ(listed.GroupPaths(), (std::vector<Paths>{{folder / L"m.avi.", folder / L"copy.avi."}}));
    EXPECT_TRUE(FileExists(folder / L"m.avi.") && FileExists(inDeep));
    EXPECT_FALSE(FileExists(folder / L"m.avi.."));
}

namespace {

// A drive that tells no file indexes: every identity reads as index 0.
bool NoIndexes(HANDLE handle, FileIdentity& identity, bool indexOnly)
{
    if (!FileIdentity::FromPlatform(handle, identity, indexOnly)) return false;
    identity.fileIndex = 0;
    return true;
}

}  // namespace

TEST(Detection, DrivesWithoutFileIndexesStillWalkEveryFolderAndFindGroups)
{
    TestFolder folder;
    MakeFolder(folder / L"a\\b\\c");
    MakeFileWithContent(folder / L"top.avi", 5000, 1);
    MakeFileWithContent(folder / L"a\\b\\c\\deep.avi", 5000, 1);
    MakeFileWithContent(folder / L"a\\other.avi", 6000, 2);
    MakeFileWithContent(folder / L"a\\b\\other copy.avi", 6000, 2);
    const bool linked = MakeFolderLink(folder / L"a\\b\\c\\back", folder / L"a");  // a cycle
    FileIdentity::TheSource() = &NoIndexes;
    RecordingScanner scanner;
    scanner.ScanFolder(folder.Path(), nullptr);
    scanner.FindDuplicates(nullptr);
    FileIdentity::TheSource() = &FileIdentity::FromPlatform;

    std::set<std::wstring> names;
    for (const CompareFileEntry& file : scanner.Files()) names.insert(GetFileNamePart(file.path));
    EXPECT_EQ(names, (std::set<std::wstring>{L"top.avi", L"deep.avi", L"other.avi", L"other copy.avi"})) << "every folder";
    if (linked) {
        EXPECT_LT(scanner.Files().size(), 100u) << "the cycle ended";
    }
    EXPECT_GE(scanner.Groups().size(), 2u) << "no file taken for another";
}

TEST(Detection, LinksOfOneFileAreSettledWithoutReadingThemInFull)
{
    TestFolder folder;
    MakeFileWithContent(folder / L"original.avi", 3 * 1000 * 1000, 7);
    for (int i = 0; i < 20; ++i) {
        const std::wstring link = folder / (L"link" + std::to_wstring(i) + L".avi");
        ASSERT_TRUE(::CreateHardLinkW(link.c_str(), (folder / L"original.avi").c_str(), nullptr));
    }
    MakeFileWithContent(folder / L"copy.avi", 3 * 1000 * 1000, 7);
    RecordingScanner scanner;
    scanner.ScanFolder(folder.Path(), nullptr);
    ASSERT_EQ(scanner.Files().size(), 22u);
    scanner.events.clear();
    ReferenceResult expected = RunReference(scanner.Files());
    scanner.FindDuplicates(nullptr);
    EXPECT_EQ(scanner.GroupPaths(), expected.groups);
    EXPECT_EQ(scanner.events, expected.events);
    ASSERT_EQ(scanner.Groups().size(), 1u);
    EXPECT_EQ(scanner.Groups()[0].size(), 2u) << "the file once, and its one copy";
}

namespace {

struct SearchResult {
    std::vector<std::vector<std::wstring>> groups;
    std::vector<int> events;
    std::vector<uint64_t> comparedBytes;
    uint64_t opens = 0;
    bool operator==(const SearchResult& other) const
    {
        return groups == other.groups && events == other.events && comparedBytes == other.comparedBytes;
    }
};

// One search of the folder, with the digest cache at `cachePath` or without any.
SearchResult Search(const std::wstring& folder, const std::wstring& cachePath)
{
    RecordingScanner scanner;
    DigestCache_CL cache;
    if (!cachePath.empty()) cache.StartLoad(cachePath);  // during the walk, as a search loads it
    scanner.ScanFolder(folder, nullptr);
    if (!cachePath.empty()) scanner.SetDigestCache(&cache);
    const uint64_t opensBefore = FirstFileCompare_CL::openCount;
    scanner.FindDuplicates(nullptr);
    SearchResult result{scanner.GroupPaths(), scanner.events, {}, FirstFileCompare_CL::openCount - opensBefore};
    for (const CompareFileEntry& file : scanner.Files()) result.comparedBytes.push_back(file.comparedBytes);
    if (!cachePath.empty()) {
        EXPECT_TRUE(cache.Save(cachePath));
    }
    return result;
}

void SetWriteTime(const std::wstring& path, FILETIME time)
{
    FileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ::SetFileTime(file.Get(), nullptr, nullptr, &time);
}

// A search with the cache that must find what a search without it finds.
SearchResult SearchAsWithoutCache(const std::wstring& folder, const std::wstring& cachePath, const char* step)
{
    SCOPED_TRACE(step);
    const SearchResult plain = Search(folder, L"");
    const SearchResult cached = Search(folder, cachePath);
    EXPECT_TRUE(cached == plain);
    EXPECT_EQ(cached.groups, plain.groups);
    return cached;
}

FILETIME WriteTimeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

}  // namespace

TEST(DigestCache, RescansFindExactlyWhatASearchWithoutTheCacheFindsAfterEveryChange)
{
    TestFolder root, data;
    const std::wstring tree = root / L"tree", cachePath = data / L"digests.cache";
    MakeFolder(tree + L"\\sub");
    std::mt19937 random(77);
    const uint64_t sizes[] = {1, 4096, 65536, 65537, 300000, (2 << 20) + 5};
    for (int i = 0; i < 60; ++i)
        MakeFileWithContent(tree + (i % 2 ? L"\\sub\\f" : L"\\f") + std::to_wstring(i) + L".avi", sizes[random() % 6], random() % 3);
    // Strangers sharing a size: read once for their digests, never again while unchanged.
    for (int i = 0; i < 30; ++i) MakeFileWithContent(tree + L"\\stranger" + std::to_wstring(i) + L".avi", 70000, 1000 + i);

    auto expectSame = [&](const char* step) { return SearchAsWithoutCache(tree, cachePath, step); };
    const SearchResult first = expectSame("first search, the cache is written");
    const SearchResult again = expectSame("nothing changed");
    EXPECT_LE(again.opens + 30, first.opens) << "a rescan opens only what still looks alike";

    // Content changed at the same size: f1 now equals f0's content where their sizes agree.
    const std::wstring f0 = tree + L"\\f0.avi", f1 = tree + L"\\sub\\f1.avi";
    std::vector<uint8_t> bytes = ReadFileBytes(f1);
    for (uint8_t& b : bytes) b ^= 0x33;
    WriteFileBytes(f1, bytes);
    expectSame("one file rewritten in place");
    // Replaced by another file (a new index) that keeps the old write time, as a copy that
    // preserves times would.
    const std::wstring f2 = tree + L"\\f2.avi";
    const FILETIME oldTime = WriteTimeOf(f2);
    std::vector<uint8_t> other = ReadFileBytes(f2);
    for (uint8_t& b : other) b = static_cast<uint8_t>(b + 1);
    WriteFileBytes(tree + L"\\replacement", other);
    SetWriteTime(tree + L"\\replacement", oldTime);
    ASSERT_TRUE(::MoveFileExW((tree + L"\\replacement").c_str(), f2.c_str(), MOVEFILE_REPLACE_EXISTING));
    expectSame("one file replaced, same size and time");
    // Rewritten in place with the write time set back, as a tagging tool may do; and deleted
    // and written anew at the same path, which under Wine gives the new file the old one's
    // index. Each now equals another stranger: a stale digest would hide its group.
    auto rewriteKeepingTime = [&](const std::wstring& path, uint32_t seed, bool deleteFirst) {
        const FILETIME time = WriteTimeOf(path);
        if (deleteFirst) ASSERT_TRUE(::DeleteFileW(path.c_str()));
        MakeFileWithContent(path, 70000, seed);
        SetWriteTime(path, time);
    };
    const std::wstring rewritten = tree + L"\\stranger0.avi", reborn = tree + L"\\stranger2.avi";
    rewriteKeepingTime(rewritten, 1001, false);
    const SearchResult afterRewrite = expectSame("rewritten in place, size and write time kept");
    rewriteKeepingTime(reborn, 1003, true);
    const SearchResult afterRebirth = expectSame("deleted and written anew, size and write time kept");
    auto hasGroup = [](const SearchResult& result, const std::wstring& a, const std::wstring& b) {
        return std::any_of(result.groups.begin(), result.groups.end(), [&](const std::vector<std::wstring>& group) {
            return std::find(group.begin(), group.end(), a) != group.end() && std::find(group.begin(), group.end(), b) != group.end();
        });
    };
    EXPECT_TRUE(hasGroup(afterRewrite, rewritten, tree + L"\\stranger1.avi"));
    EXPECT_TRUE(hasGroup(afterRebirth, reborn, tree + L"\\stranger3.avi"));
    ::DeleteFileW((tree + L"\\f4.avi").c_str());
    expectSame("one file deleted");
    MakeFileWithContent(tree + L"\\new.avi", 300000, 1);
    expectSame("one file added");
    ASSERT_TRUE(::MoveFileW((tree + L"\\sub").c_str(), (tree + L"\\renamed").c_str()));
    expectSame("a folder renamed");

    // A damaged cache is no cache: the same results, and it is written anew.
    std::vector<uint8_t> saved = ReadFileBytes(cachePath);
    ASSERT_GT(saved.size(), 100u);
    saved.resize(saved.size() / 2);
    WriteFileBytes(cachePath, saved);
    DigestCache_CL damaged;
    EXPECT_FALSE(damaged.Load(cachePath));
    expectSame("the cache cut in half");
    EXPECT_TRUE(DigestCache_CL().Load(cachePath)) << "rewritten whole";
    std::vector<uint8_t> noise(5000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    WriteFileBytes(cachePath, noise);
    expectSame("the cache of random bytes");
    // A later version, whole and with its checksum right (the same bytes with this version
    // load, so only the version refuses them).
    expectSame("written again");
    std::vector<uint8_t> future = ReadFileBytes(cachePath);
    auto writeWithVersion = [&](uint8_t version) {
        future[4] = version;
        const size_t body = future.size() - 8;
        uint64_t checksum = 0xCBF29CE484222325ull ^ body;
        for (size_t i = 0; i < body; ++i) checksum = (checksum ^ future[i]) * 0x100000001B3ull;
        memcpy(future.data() + body, &checksum, 8);
        WriteFileBytes(cachePath, future);
    };
    writeWithVersion(DigestCache_CL::kVersion);
    EXPECT_TRUE(DigestCache_CL().Load(cachePath));
    writeWithVersion(DigestCache_CL::kVersion + 1);
    EXPECT_FALSE(DigestCache_CL().Load(cachePath));
    expectSame("a cache of a later version");
}

namespace {

// Every identity read as if the drive had been swapped for another with the same files.
bool OnAnotherVolume(HANDLE handle, FileIdentity& identity, bool indexOnly)
{
    if (!FileIdentity::FromPlatform(handle, identity, indexOnly)) return false;
    identity.volumeSerial ^= 0x5A5A5A5A;
    return true;
}

void AppendByte(const std::wstring& path, uint8_t byte)
{
    const FILETIME time = WriteTimeOf(path);
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    bytes.push_back(byte);
    WriteFileBytes(path, bytes);
    SetWriteTime(path, time);
}

}  // namespace

// A rescan takes a pair proven equal at the last search as equal while both files are as they
// were then, and opens neither; a change of any part of a file's key (write time, size, index,
// path, volume) brings it and its partners back to byte comparison. Every search gives what a
// search without the cache gives: groups, bytes compared, progress and groups in order.
TEST(DigestCache, RescansTrustProvenPairsOnlyWhileBothFilesAreUnchanged)
{
    TestFolder root, data;
    const std::wstring tree = root / L"tree", cachePath = data / L"digests.cache";
    MakeFolder(tree + L"\\one");
    MakeFolder(tree + L"\\two");
    auto file = [&](const wchar_t* name) { return tree + L"\\" + name; };
    for (const wchar_t* name : {L"a.avi", L"b.avi", L"c.avi"}) MakeFileWithContent(file(name), 70000, 1);
    std::vector<uint8_t> nearCopy = ReadFileBytes(file(L"a.avi"));
    nearCopy[5000] ^= 1;  // alike in the first 4 KiB, not in the first block
    WriteFileBytes(file(L"near.avi"), nearCopy);
    for (int i = 0; i < 4; ++i) MakeFileWithContent(file((L"stranger" + std::to_wstring(i) + L".avi").c_str()), 70000, 10 + i);
    for (const wchar_t* name : {L"d.avi", L"e.avi"}) MakeFileWithContent(file(name), (2 << 20) + 5, 2);
    ASSERT_TRUE(::CreateHardLinkW(file(L"link to d.avi").c_str(), file(L"d.avi").c_str(), nullptr));
    for (const wchar_t* name : {L"x.avi", L"y.avi"}) MakeFileWithContent(file(name), 100, 3);
    // Copies in two folders, and a stranger of their size beside one of them.
    for (const wchar_t* name : {L"one\\p.avi", L"two\\p.avi"}) MakeFileWithContent(file(name), 9000, 4);
    MakeFileWithContent(file(L"one\\other.avi"), 9000, 5);
    MakeFileWithContent(file(L"two\\other.avi"), 9000, 6);

    auto rescan = [&](const char* step, const std::wstring& folder = L"") {
        return SearchAsWithoutCache(folder.empty() ? tree : folder, cachePath, step);
    };
    const SearchResult first = rescan("first search");
    ASSERT_EQ(first.groups.size(), 4u) << "a b c; d e (its link settled as the same file); x y; one\\p two\\p";
    EXPECT_EQ(rescan("unchanged").opens, 0u) << "proven pairs, near-copies, links and strangers: none opened";
    auto groupOf = [&](const wchar_t* name) {
        return *std::find_if(first.groups.begin(), first.groups.end(), [&](const auto& group) {
            return std::find(group.begin(), group.end(), file(name)) != group.end();
        });
    };
    const std::vector<std::wstring> abc = groupOf(L"a.avi"), de = groupOf(L"d.avi");
    ASSERT_EQ(abc.size(), 3u);
    ASSERT_EQ(de.size(), 2u);

    SetWriteTime(abc[1], FILETIME{0x12345678, 0x01D00000});
    EXPECT_EQ(rescan("a member's write time moved").opens, 2u) << "it, and the base it is compared with";
    EXPECT_EQ(rescan("unchanged again").opens, 0u);

    AppendByte(file(L"x.avi"), 0x42);
    AppendByte(file(L"y.avi"), 0x42);
    EXPECT_EQ(rescan("both files grew, write times put back").opens, 2u);

    const FILETIME time = WriteTimeOf(abc[2]);
    WriteFileBytes(tree + L"\\replacement", ReadFileBytes(abc[2]));
    SetWriteTime(tree + L"\\replacement", time);
    ASSERT_TRUE(::MoveFileExW((tree + L"\\replacement").c_str(), abc[2].c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(rescan("a member replaced by an equal copy with its time: another index").opens, 2u);

    ASSERT_TRUE(::MoveFileW(de[1].c_str(), (de[1] + L" renamed.avi").c_str()));
    EXPECT_EQ(rescan("a member renamed").opens, 2u) << "the link to the base still settled without a look";
    EXPECT_EQ(rescan("unchanged again").opens, 0u);

    FileIdentity::TheSource() = &OnAnotherVolume;
    const SearchResult moved = rescan("the same files on another volume");
    FileIdentity::TheSource() = &FileIdentity::FromPlatform;
    EXPECT_EQ(moved.opens, first.opens) << "every file read as by a first search";
    EXPECT_EQ(rescan("back on their volume").opens, first.opens);

    // The base of a pair changes in a search of its own folder only; its partner, unchanged,
    // no longer counts as proven equal to it.
    const SearchResult before = rescan("unchanged again");
    auto pair = std::find_if(before.groups.begin(), before.groups.end(),
                             [](const auto& group) { return group[0].find(L"\\p.avi") != std::wstring::npos; });
    ASSERT_NE(pair, before.groups.end());
    const std::wstring base = (*pair)[0];
    std::vector<uint8_t> bytes = ReadFileBytes(base);
    bytes[8000] ^= 1;
    WriteFileBytes(base, bytes);
    rescan("the base changed, its folder searched alone", GetDirectoryPart(base));
    const SearchResult after = rescan("the whole tree again");
    EXPECT_EQ(after.groups.size(), before.groups.size() - 1) << "the two files differ now";
}

namespace {

std::set<std::set<std::wstring>> AsSets(const std::vector<std::vector<std::wstring>>& groups)
{
    std::set<std::set<std::wstring>> sets;
    for (const auto& group : groups) sets.emplace(group.begin(), group.end());
    return sets;
}

}  // namespace

// Copies proven in searches of their own folders meet in a search of the tree: every file
// is unchanged, yet the files that start alike are not all proven equal, so they are compared
// (a near-copy that differs after 4 KiB is parted from them, not taken as proven). What that
// search proves, the next one takes from the cache: nothing opened, the cache file left as
// it was. Each search finds what a search without the cache finds.
TEST(DigestCache, CopiesProvenInSeparateSearchesAreComparedWhereTheyMeet)
{
    TestFolder root, data;
    const std::wstring tree = root / L"tree", cachePath = data / L"digests.cache";
    for (const wchar_t* folder : {L"\\a", L"\\b", L"\\c"}) MakeFolder(tree + folder);
    for (const wchar_t* name : {L"\\a\\1.avi", L"\\a\\2.avi", L"\\c\\1.avi", L"\\c\\2.avi"}) MakeFileWithContent(tree + name, 300000, 8);
    std::vector<uint8_t> nearCopy = ReadFileBytes(tree + L"\\a\\1.avi");
    nearCopy[200000] ^= 1;
    for (const wchar_t* name : {L"\\b\\1.avi", L"\\b\\2.avi"}) WriteFileBytes(tree + name, nearCopy);
    MakeFileWithContent(tree + L"\\b\\stranger.avi", 300000, 9);

    for (const wchar_t* folder : {L"\\a", L"\\b", L"\\c"})
        EXPECT_EQ(SearchAsWithoutCache(tree + folder, cachePath, "one folder").groups.size(), 1u);
    const SearchResult met = SearchAsWithoutCache(tree, cachePath, "the folders together");
    EXPECT_EQ(AsSets(met.groups), (std::set<std::set<std::wstring>>{
                                      {tree + L"\\a\\1.avi", tree + L"\\a\\2.avi", tree + L"\\c\\1.avi", tree + L"\\c\\2.avi"},
                                      {tree + L"\\b\\1.avi", tree + L"\\b\\2.avi"}}));
    EXPECT_GT(met.opens, 0u);
    const FILETIME saved = WriteTimeOf(cachePath);
    EXPECT_EQ(SearchAsWithoutCache(tree, cachePath, "the tree again").opens, 0u);
    const FILETIME after = WriteTimeOf(cachePath);
    EXPECT_EQ(CompareFileTime(&saved, &after), 0) << "a search that learnt nothing leaves the cache file";
}

// Two writers replacing the cache again and again while a third reads it: every read finds
// one writer's cache whole (never a cut or mixed file), and no temporary file is left.
TEST(DigestCache, WritersAtOnceLeaveOneWholeCache)
{
    TestFolder data;
    const std::wstring cachePath = data / L"digests.cache";
    auto makeCache = [](const wchar_t* folder, size_t count) {
        DigestCache_CL cache;
        for (size_t i = 0; i < count; ++i) {
            CompareFileEntry file;
            file.path = std::wstring(folder) + L"\\clip" + std::to_wstring(i) + L".mp4";
            file.size = 1000 + i;
            file.fileIndex = i + 1;
            cache.Store(file, {i, i * 3, i * 7, true});
        }
        return cache;
    };
    DigestCache_CL first = makeCache(L"C:\\movies\\first", 3000), second = makeCache(L"D:\\録画", 1000);
    ASSERT_TRUE(first.Save(cachePath));
    std::atomic<int> writersLeft{2};
    auto write = [&](DigestCache_CL& cache) {
        for (int round = 0; round < 15; ++round) cache.Save(cachePath);
        --writersLeft;
    };
    std::thread a(write, std::ref(first)), b(write, std::ref(second));
    int reads = 0, failedReads = 0;
    while (writersLeft > 0) {
        DigestCache_CL read;
        ++reads;
        if (!read.Load(cachePath)) ++failedReads;
        EXPECT_TRUE(read.GetCount() == 3000 || read.GetCount() == 1000 || read.GetCount() == 0);
    }
    EXPECT_EQ(failedReads, 0) << "of " << reads << " reads, while the file was replaced";
    a.join();
    b.join();
    DigestCache_CL last;
    ASSERT_TRUE(last.Load(cachePath));
    EXPECT_TRUE(last.GetCount() == 3000 || last.GetCount() == 1000);
    WIN32_FIND_DATAW found;
    FindHandle leftovers(::FindFirstFileW((data / L"*.tmp*").c_str(), &found));
    EXPECT_FALSE(leftovers.IsValid()) << "a temporary file was left: " << std::string(found.cFileName, found.cFileName + wcslen(found.cFileName));
}

// A rescan of a large library asks the cache for all its candidates at once, in slices on
// several threads: every file that matches its entry gets its own digests, each proven pair
// is found once from each side with the places of the list as given, and a file whose key
// changed drops out with its pairs.
TEST(DigestCache, ALargeListIsLookedUpWholeWithEachProvenPairFromBothSides)
{
    constexpr size_t kFiles = 90000;
    std::vector<CompareFileEntry> files(kFiles);
    DigestCache_CL cache;
    for (size_t i = 0; i < kFiles; ++i) {
        files[i].path = L"C:\\library\\" + std::to_wstring(i % 300) + L"\\clip" + std::to_wstring(i) + L".mp4";
        files[i].size = 5000 + i / 2;
        files[i].lastWriteTime = 7 * i;
        files[i].fileIndex = i + 1;
        cache.Store(files[i], {i, i * 3, i * 7, true});
    }
    for (size_t i = 0; i + 1 < kFiles; i += 2) {
        cache.StoreProvenPair(files[i + 1], files[i], 5000);
        cache.StoreProvenPair(files[i], files[i + 1], 5000);
    }
    files[100].lastWriteTime += 1;  // changed since: neither its digests nor its pair count
    std::vector<const CompareFileEntry*> list;
    for (size_t i = kFiles; i-- > 0;) list.push_back(&files[i]);  // place = kFiles - 1 - index
    std::vector<std::optional<DigestCache_CL::Digests>> digests;
    std::vector<DigestCache_CL::ProvenPair> pairs;
    cache.FindAll(list, digests, pairs);

    size_t found = 0, wrong = 0;
    for (size_t place = 0; place < kFiles; ++place) {
        if (!digests[place]) continue;
        ++found;
        if (digests[place]->prefix != kFiles - 1 - place) ++wrong;
    }
    EXPECT_EQ(found, kFiles - 1);
    EXPECT_EQ(wrong, 0u);
    EXPECT_FALSE(digests[kFiles - 1 - 100]);
    std::set<std::pair<uint32_t, uint32_t>> seen;
    for (const DigestCache_CL::ProvenPair& pair : pairs) {
        const size_t file = kFiles - 1 - pair.file, partner = kFiles - 1 - pair.partner;
        EXPECT_EQ(file ^ 1, partner);
        EXPECT_EQ(pair.bytes, 5000u);
        EXPECT_TRUE(seen.emplace(pair.file, pair.partner).second) << "pair found twice";
    }
    EXPECT_EQ(pairs.size(), kFiles - 2) << "each pair from both sides, but not the changed file's";
    EXPECT_FALSE(seen.contains({kFiles - 1 - 101, kFiles - 1 - 100}));
}

// A Linux folder under Wine keeps names that differ only in case apart, as a case-sensitive
// NTFS folder does: two files, compared and grouped like any others, with and without the
// digest cache. Where no identity can be read, such names are taken as one file instead.
TEST(Detection, NamesThatDifferOnlyInCaseAreTwoFilesWhenTheFolderKeepsThemApart)
{
    TestFolder root, data;
    const std::wstring tree = root / L"tree";
    MakeFolder(tree + L"\\twins");
    MakeFolder(tree + L"\\Dir");
    MakeFolder(root / L"other");
    MakeFileWithContent(tree + L"\\twins\\Movie.avi", 90000, 1);
    MakeFileWithContent(root / L"copy", 90000, 1);
    MakeFileWithContent(tree + L"\\Dir\\x.avi", 91000, 2);
    MakeFileWithContent(root / L"other\\x.avi", 91000, 2);
    // Wine itself would open the file of the other case: the twins are moved in by the host.
    if (!MoveOnHost(root / L"copy", tree + L"\\twins", "movie.avi") || !MoveOnHost(root / L"other", tree, "dir"))
        GTEST_SKIP() << "no host to make case twins";
    const std::set<std::set<std::wstring>> twins{{tree + L"\\twins\\Movie.avi", tree + L"\\twins\\movie.avi"},
                                                 {tree + L"\\Dir\\x.avi", tree + L"\\dir\\x.avi"}};
    const std::wstring cachePath = data / L"digests.cache";
    EXPECT_EQ(AsSets(Search(tree, L"").groups), twins);
    EXPECT_EQ(AsSets(Search(tree, cachePath).groups), twins);
    EXPECT_EQ(AsSets(Search(tree, cachePath).groups), twins) << "from the cache";

    // Listed, and one of them again under a third spelling (which opens one of the two).
    RecordingScanner listed;
    for (const wchar_t* name : {L"\\twins\\Movie.avi", L"\\twins\\movie.avi", L"\\TWINS\\MOVIE.AVI"})
        EXPECT_EQ(listed.AddFile(tree + name), 1);
    EXPECT_EQ(listed.Files().size(), 2u);
    listed.FindDuplicates(nullptr);
    EXPECT_EQ(listed.Groups().size(), 1u);

    // Without identities the path decides, whatever its case: one file, never its own copy.
    FileIdentity::TheSource() = &NoIndexes;
    RecordingScanner blind;
    for (const wchar_t* name : {L"\\twins\\Movie.avi", L"\\TWINS\\MOVIE.AVI", L"\\twins\\movie.avi"}) blind.AddFile(tree + name);
    const size_t listedOnce = blind.Files().size();
    // And a walk that could not tell its folders apart would list it twice.
    blind.Files().push_back(blind.Files()[0]);
    blind.Files().back().path = tree + L"\\Twins\\Movie.AVI";
    blind.FindDuplicates(nullptr);
    FileIdentity::TheSource() = &FileIdentity::FromPlatform;
    EXPECT_EQ(listedOnce, 1u);
    EXPECT_TRUE(blind.Groups().empty());
}

// A library searched every other time, between searches of a folder that changes each time:
// its entries are seen at every one of its searches and must not age out, even though those
// searches learn nothing new.
TEST(DigestCache, EntriesSeenAtEverySecondSearchAreKept)
{
    TestFolder data;
    const std::wstring cachePath = data / L"digests.cache";
    CompareFileEntry kept, changing;
    kept.path = L"C:\\library\\clip.mp4";
    kept.size = 1000;
    kept.fileIndex = 1;
    changing.path = L"C:\\downloads\\new.mp4";
    changing.size = 2000;
    changing.fileIndex = 2;
    {
        DigestCache_CL cache;
        cache.Store(kept, {1, 2, 3, true});
        ASSERT_TRUE(cache.Save(cachePath));
    }
    DigestCache_CL::Digests digests;
    for (uint32_t round = 0; round < 2 * DigestCache_CL::kKeptSearches; ++round) {
        DigestCache_CL other;  // the other folder, written anew
        other.Load(cachePath);
        ++changing.lastWriteTime;
        other.Store(changing, {4, 5, 6, true});
        ASSERT_TRUE(other.Save(cachePath));
        DigestCache_CL library;  // the library, unchanged
        ASSERT_TRUE(library.Load(cachePath));
        EXPECT_TRUE(library.Find(kept, digests)) << "lost after round " << round;
        ASSERT_TRUE(library.Save(cachePath));
    }
}
