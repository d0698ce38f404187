#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/FirstFileCompare_CL.h"
#include "support/TestFolder.h"

namespace {

class RecordingScanner : public FirstFileCompare_CL {
public:
    int AcceptFile(const CompareFileEntry& file) override
    {
        if (stopAfter > 0 && ++accepted >= stopAfter) cancelWord = 1;
        return file.path.ends_with(L".skip") ? 0 : 1;
    }
    void OnProgress(int value) override { progress.push_back(value); }

    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> paths;
        for (const auto& file : files) paths.push_back(file.path);
        return paths;
    }

    std::vector<int> progress;
    volatile LONG cancelWord = 0;
    int stopAfter = 0;
    int accepted = 0;
};

// The depth-first order the walk must produce, from the platform's own listing order.
void ReferenceWalk(const std::wstring& folder, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (!name.ends_with(L".skip")) out.push_back(folder + L"\\" + name);
        } else if (name[0] != L'.') {
            ReferenceWalk(folder + L"\\" + name, out);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

}  // namespace

TEST(FolderScan, WalksDepthFirstInListingOrderWithOrWithoutTrailingBackslash)
{
    TestFolder tree;
    MakeFolder(tree / L"sub\\deeper");
    MakeFolder(tree / L".cache");
    MakeFolder(tree / L"日本語フォルダ");
    for (const wchar_t* name : {L"a.avi", L"c.avi", L"sub\\b.avi", L"sub\\deeper\\d.mp4", L".hidden.avi",
                                L".cache\\never.avi", L"日本語フォルダ\\動画.mkv", L"x.skip"})
        MakeFileWithContent(tree / name, 10, 1);
    MakeFileWithContent(tree / L"sized.avi", 70000, 1);

    std::vector<std::wstring> expected;
    ReferenceWalk(tree.Path(), expected);
    ASSERT_EQ(expected.size(), 7u);

    RecordingScanner plain, slashed;
    plain.ScanFolder(tree.Path(), nullptr);
    slashed.ScanFolder(tree.Path() + L"\\", nullptr);
    EXPECT_EQ(plain.Paths(), expected);
    EXPECT_EQ(slashed.Paths(), expected);
    for (const auto& file : plain.Files()) {
        EXPECT_EQ(file.size, file.path.ends_with(L"sized.avi") ? 70000u : 10u);
        EXPECT_EQ(file.isGrouped, 0);
    }
    std::vector<std::wstring> paths = plain.Paths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), tree / L".hidden.avi"), paths.end()) << "dot-files are kept";

    // Entries are appended, each file once a search: a folder walked already adds nothing;
    // Clear empties the list and a new search walks it again.
    plain.ScanFolder(tree / L"sub", nullptr);
    EXPECT_EQ(plain.Files().size(), 7u);
    plain.Clear();
    EXPECT_TRUE(plain.Files().empty());
    plain.ScanFolder(tree / L"sub", nullptr);
    EXPECT_EQ(plain.Files().size(), 2u);

    RecordingScanner missing;
    missing.ScanFolder(tree / L"no-such-folder", nullptr);
    EXPECT_TRUE(missing.Files().empty());
    EXPECT_TRUE(missing.progress.empty());
}

TEST(FolderScan, ReportsProgressByDepthOnlyWhenItChanges)
{
    TestFolder tree;
    std::wstring folder = tree.Path();
    for (int depth = 1; depth <= 30; ++depth) {
        MakeFileWithContent(folder + L"\\f.avi", 1, depth);
        MakeFileWithContent(folder + L"\\g.avi", 1, depth);
        folder += L"\\d";
        MakeFolder(folder);
    }
    RecordingScanner scanner;
    scanner.ScanFolder(tree.Path(), nullptr);
    EXPECT_EQ(scanner.Files().size(), 60u);
    ASSERT_FALSE(scanner.progress.empty());
    EXPECT_EQ(scanner.progress.front(), 770);
    for (size_t i = 1; i < scanner.progress.size(); ++i)
        EXPECT_NE(scanner.progress[i], scanner.progress[i - 1]) << "reported only on change";
    std::set<int> seen(scanner.progress.begin(), scanner.progress.end());
    for (int depth = 1; depth <= 26; ++depth) EXPECT_TRUE(seen.count(800 - 30 * depth)) << depth;
    EXPECT_TRUE(seen.count(0));
    EXPECT_EQ(*seen.begin(), 0);

    // The cancel word ends the walk at every level; what was found stays.
    RecordingScanner canceled;
    canceled.stopAfter = 5;
    canceled.ScanFolder(tree.Path(), &canceled.cancelWord);
    EXPECT_GE(canceled.Files().size(), 5u);
    EXPECT_LT(canceled.Files().size(), 60u);
}

TEST(FolderScan, LinksBackIntoTheTreeAreWalkedOnce)
{
    TestFolder tree;
    MakeFolder(tree / L"movies\\sub");
    MakeFileWithContent(tree / L"movies\\a.avi", 100, 1);
    MakeFileWithContent(tree / L"movies\\sub\\b.avi", 100, 2);
    ASSERT_TRUE(MakeFolderLink(tree / L"movies\\sub\\loop", tree / L"movies"));

    RecordingScanner scanner;
    scanner.ScanFolder(tree / L"movies", nullptr);
    EXPECT_EQ(scanner.Files().size(), 2u) << "the link leads back into the walked folder";

    // A link to a folder outside the walk is followed once.
    TestFolder outside;
    MakeFileWithContent(outside / L"c.avi", 100, 3);
    ASSERT_TRUE(MakeFolderLink(tree / L"movies\\elsewhere", outside.Path()));
    RecordingScanner again;
    again.ScanFolder(tree / L"movies", nullptr);
    EXPECT_EQ(again.Files().size(), 3u);
}

TEST(FolderScan, AddFileTakesEachListedFileOnceAndTellsWhatItCannotRead)
{
    TestFolder folder;
    MakeFileWithContent(folder / L"a.avi", 1234, 1);
    MakeFileWithContent(folder / L"locked.avi", 10, 1);
    MakeFileWithContent(folder / L"x.skip", 10, 1);
    MakeFolder(folder / L"dir.avi");
    FileHandle lock(::CreateFileW((folder / L"locked.avi").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    RecordingScanner scanner;
    EXPECT_EQ(scanner.AddFile(folder / L"a.avi"), 1);
    EXPECT_EQ(scanner.AddFile(folder / L"A.AVI"), 1) << "the same file again";
    EXPECT_EQ(scanner.AddFile(folder / L"x.skip"), 1) << "found, though the filter leaves it out";
    for (const wchar_t* unlisted : {L"missing.avi", L"a.avi.", L"dir.avi", L"locked.avi"})
        EXPECT_EQ(scanner.AddFile(folder / unlisted), 0) << "not found or unreadable";
    ASSERT_EQ(scanner.Files().size(), 1u);
    EXPECT_EQ(scanner.Files()[0].path, folder / L"a.avi");
    EXPECT_EQ(scanner.Files()[0].size, 1234u);
    EXPECT_NE(scanner.Files()[0].fileIndex, 0u) << "for the digest cache";
}
