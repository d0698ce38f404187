// Deleting in a similar group, inside the test process: the files differ by design, so
// nothing is compared, but the ticked file must still be the one the search saw and the
// file that stays must still be there by its identity; a file gone leaves every group.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "core/ApplicationData_CL.h"
#include "engine/FirstFileCompare_CL.h"
#include "support/GuiTestSupport.h"
#include "support/TestFolder.h"
#include "ui/main/FileDelete_CL.h"

namespace {

struct NoRows : AllCompare_CL::RowView {
    void ShowRow(int, const CompareFileEntry&) override {}
};

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(SimilarDelete, NothingIsComparedButBothFilesMustStillBeWhatTheSearchSaw)
{
    InProcessGui gui;
    TestFolder tree, data;
    // movie and its byte copy; four other encodes, each differing from every other file.
    MakeFileWithContent(tree / L"movie.mp4", 40000, 1);
    MakeFileWithContent(tree / L"movie-copy.mp4", 40000, 1);
    for (uint32_t i = 0; i < 4; ++i) MakeFileWithContent(tree / (L"encode" + std::to_wstring(i) + L".avi"), 30000 + i, 10 + i);
    MakeFileWithContent(tree / L"stranger.avi", 123, 99);

    FirstFileCompare_CL scanner;
    scanner.SetEndPause(0);
    scanner.ScanFolder(tree.Path(), nullptr);
    scanner.FindDuplicates(nullptr);
    auto entry = [&](const std::wstring& name) {
        auto& files = scanner.Files();
        return &*std::find_if(files.begin(), files.end(), [&](const CompareFileEntry& f) { return f.path == tree / name; });
    };
    ASSERT_EQ(scanner.Groups().size(), 1u) << "the byte copies";
    CompareFileEntry* base = scanner.Groups()[0][0];
    DuplicateGroup similar{base, entry(L"encode0.avi")};
    DuplicateGroup replacedKeep{entry(L"encode1.avi"), entry(L"encode2.avi")};
    DuplicateGroup changedTick{entry(L"encode3.avi"), entry(L"encode2.avi")};
    for (DuplicateGroup* group : {&similar, &replacedKeep, &changedTick}) {
        group->isSimilar = true;
        scanner.Groups().push_back(*group);
    }
    // After the search: the file kept in group 2 is replaced by another (a new identity at its
    // path), and the ticked file of group 3 is written.
    ASSERT_TRUE(::MoveFileExW((tree / L"stranger.avi").c_str(), (tree / L"encode1.avi").c_str(), MOVEFILE_REPLACE_EXISTING));
    MakeFileWithContent(tree / L"encode3.avi", 30003, 77);

    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    settings.confirmDelete = 0;  // no shell dialog; the window asks before this class runs
    settings.verifyBeforeDelete = 1;
    NoRows rows;
    FileDelete_CL deletion(nullptr, scanner, settings, rows, 1);
    // The exact group's first file, ticked in the similar group (the encode stays); the second
    // file of groups 2 and 3.
    const std::vector<FileDelete_CL::GroupOutcome> outcomes =
        deletion.Run({{1, {0}, 1}, {2, {1}, 0}, {3, {0}, 1}}, true);

    EXPECT_FALSE(Exists(base->path)) << "the differing file went without a comparison";
    EXPECT_TRUE(Exists(tree / L"encode0.avi"));
    EXPECT_TRUE(Exists(tree / L"encode2.avi")) << "the file that stays was replaced: the ticked one stays too";
    EXPECT_TRUE(Exists(tree / L"encode3.avi")) << "written since the search: not the movie the user weighed";
    ASSERT_EQ(outcomes.size(), 4u) << "the three groups ticked, then the exact group the file left too";
    EXPECT_EQ(outcomes[0].goneRows, std::vector<int>{0});
    EXPECT_TRUE(outcomes[1].goneRows.empty());
    EXPECT_TRUE(outcomes[2].goneRows.empty());
    EXPECT_EQ(outcomes[3].groupIndex, 0);
    EXPECT_EQ(outcomes[3].goneRows, std::vector<int>{0});
    // The exact group lost its first file: the copy left is its first file now.
    ASSERT_EQ(scanner.Groups()[0].size(), 1u);
    EXPECT_NE(scanner.Groups()[0][0], base);
    EXPECT_TRUE(Exists(scanner.Groups()[0][0]->path));
    EXPECT_EQ(scanner.Groups()[1].size(), 1u);
    EXPECT_EQ(scanner.Groups()[2].size(), 2u);
    EXPECT_EQ(scanner.Groups()[3].size(), 2u);
}

TEST(SimilarDelete, AFileTickedInAnExactAndASimilarGroupGoesOnlyIfBothGroupsLetIt)
{
    InProcessGui gui;
    // Whichever group comes first: the byte copy, ticked in its exact group and in a similar
    // group, stays when the exact group's kept file was deleted by another program.
    for (const bool similarFirst : {false, true}) {
        TestFolder tree, data;
        MakeFileWithContent(tree / L"movie.mp4", 40000, 1);
        MakeFileWithContent(tree / L"movie-copy.mp4", 40000, 1);
        MakeFileWithContent(tree / L"encode.avi", 30000, 10);
        FirstFileCompare_CL scanner;
        scanner.SetEndPause(0);
        scanner.ScanFolder(tree.Path(), nullptr);
        scanner.FindDuplicates(nullptr);
        ASSERT_EQ(scanner.Groups().size(), 1u);
        const DuplicateGroup& exact = scanner.Groups()[0];
        const int copyRow = exact[0]->path == tree / L"movie-copy.mp4" ? 0 : 1;
        CompareFileEntry* copy = exact[copyRow];
        const std::wstring kept = exact[1 - copyRow]->path;
        auto& files = scanner.Files();
        CompareFileEntry* encode =
            &*std::find_if(files.begin(), files.end(), [&](const CompareFileEntry& f) { return f.path == tree / L"encode.avi"; });
        DuplicateGroup similar{encode, copy};
        similar.isSimilar = true;
        scanner.Groups().push_back(similar);
        ASSERT_TRUE(::DeleteFileW(kept.c_str()));

        ApplicationData_CL settings;
        settings.LoadFromFolder(data.Path());
        settings.confirmDelete = 0;
        settings.verifyBeforeDelete = 1;
        NoRows rows;
        FileDelete_CL deletion(nullptr, scanner, settings, rows, -1);
        const FileDelete_CL::GroupTicks exactTicks{0, {copyRow}, 1 - copyRow}, similarTicks{1, {1}, 0};
        const std::vector<FileDelete_CL::GroupOutcome> outcomes =
            deletion.Run(similarFirst ? std::vector{similarTicks, exactTicks} : std::vector{exactTicks, similarTicks}, true);
        EXPECT_TRUE(Exists(tree / L"movie-copy.mp4")) << "similar group first: " << similarFirst;
        EXPECT_TRUE(Exists(tree / L"encode.avi"));
        for (const FileDelete_CL::GroupOutcome& outcome : outcomes) EXPECT_TRUE(outcome.goneRows.empty());
    }
}
