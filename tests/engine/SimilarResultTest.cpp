// A result that holds similar groups beside exact ones: the selection rules, the space the
// copies take and the saved result, on records made here (no file is needed).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ResultExport.h"
#include "engine/SelectionRule_CL.h"

namespace {

CompareFileEntry Movie(const wchar_t* path, uint64_t size, int width, int height, int64_t seconds)
{
    CompareFileEntry entry;
    entry.path = path;
    entry.size = size;
    entry.frameWidth = width;
    entry.frameHeight = height;
    entry.duration = seconds * 10000000;
    return entry;
}

}  // namespace

TEST(SimilarResult, BestPictureIsKeptAndNoRuleTicksAFileThatAnotherGroupKeeps)
{
    // movie.mp4 and its byte copy; its 480p re-encode; its 1080p original at two bit rates;
    // a movie whose picture is not known yet.
    CompareFileEntry copyA = Movie(L"D:\\a\\movie.mp4", 300000000, 1280, 720, 600);
    CompareFileEntry copyB = Movie(L"D:\\b\\movie.mp4", 300000000, 1280, 720, 600);
    CompareFileEntry small = Movie(L"D:\\a\\movie-480p.mp4", 90000000, 854, 480, 600);
    CompareFileEntry full = Movie(L"D:\\a\\movie-1080p.mkv", 700000000, 1920, 1080, 600);
    CompareFileEntry fullLean = Movie(L"D:\\a\\movie-1080p-lean.mkv", 400000000, 1920, 1080, 600);
    CompareFileEntry unknown = Movie(L"D:\\a\\movie.avi", 900000000, 0, 0, 0);

    DuplicateGroup exact{&copyA, &copyB};
    DuplicateGroup similar{&copyA, &small, &fullLean, &full, &unknown};
    similar.isSimilar = true;
    EXPECT_EQ(SelectionRule_CL::KeptMember(similar, SelectionRule_CL::kKeepHighestQuality, {}), 3u)
        << "the largest frame, then the higher bit rate; an unknown picture counts as the smallest";
    EXPECT_EQ(SelectionRule_CL::KeptMember(exact, SelectionRule_CL::kKeepHighestQuality, {}), 0u) << "a tie keeps the first";

    // The exact group keeps copyA, the similar group the 1080p file: copyA, standing in both,
    // is kept, so the exact group is never ticked whole; the similar group loses the rest.
    SelectionRule_CL::Apply({exact, similar}, SelectionRule_CL::kKeepHighestQuality, {});
    EXPECT_FALSE(copyA.isTicked);
    EXPECT_TRUE(copyB.isTicked);
    EXPECT_TRUE(small.isTicked);
    EXPECT_TRUE(fullLean.isTicked);
    EXPECT_FALSE(full.isTicked);
    EXPECT_TRUE(unknown.isTicked);
    // Whatever a rule prefers, every group keeps a file.
    for (SelectionRule_CL::Rule rule : {SelectionRule_CL::kKeepOldest, SelectionRule_CL::kKeepNewest,
                                        SelectionRule_CL::kKeepShortestPath, SelectionRule_CL::kKeepHighestQuality}) {
        SelectionRule_CL::Apply({similar, exact}, rule, {});
        for (const DuplicateGroup* group : {&exact, &similar}) {
            bool anyKept = false;
            for (const CompareFileEntry* entry : *group) anyKept = anyKept || !entry->isTicked;
            EXPECT_TRUE(anyKept) << "rule " << rule;
        }
    }
}

TEST(SimilarResult, SimilarGroupsShowTheirScoresAndCountOnlyWhatSurelyGoes)
{
    CompareFileEntry base = Movie(L"C:\\v\\a.mp4", 5000, 640, 360, 60);
    CompareFileEntry larger = Movie(L"C:\\v\\a-hq.mkv", 9000, 1280, 720, 60);
    CompareFileEntry smaller = Movie(L"C:\\v\\a, small.avi", 1000, 320, 180, 60);
    base.similarity = 100;
    larger.similarity = 96;
    smaller.similarity = 81;
    base.comparedBytes = larger.comparedBytes = 777;  // from no exact comparison: never shown for similar files
    DuplicateGroup similar{&base, &larger, &smaller};
    similar.isSimilar = true;
    EXPECT_EQ(ShareText(base, true, true), L"類似 100%");
    EXPECT_EQ(ShareText(larger, false, true), L"類似 96%");
    // Keeping any one of them frees at least all but the largest.
    EXPECT_EQ(WastedBytes(similar), 6000u);

    CompareFileEntry copy = base;
    copy.path = L"C:\\w\\a.mp4";
    copy.comparedBytes = 2500;
    DuplicateGroup exact{&base, &copy};
    EXPECT_EQ(ShareText(base, true, false), L"---");
    EXPECT_EQ(ShareText(copy, false, false), L"50%");
    EXPECT_EQ(WastedBytes(exact), 5000u);

    const std::string csv = ResultCsv({&exact, &similar});
    const std::string expected = std::string("\xEF\xBB\xBF") + "グループ,パス,サイズ,更新日時,比較量,チェック,種類,類似度\r\n"
                                 "1,C:\\v\\a.mp4,5000,,---,0,同一,\r\n"
                                 "1,C:\\w\\a.mp4,5000,,50%,0,同一,\r\n"
                                 "2,C:\\v\\a.mp4,5000,,類似 100%,0,類似,100%\r\n"
                                 "2,C:\\v\\a-hq.mkv,9000,,類似 96%,0,類似,96%\r\n"
                                 "2,\"C:\\v\\a, small.avi\",1000,,類似 81%,0,類似,81%\r\n";
    EXPECT_EQ(csv, expected);
    // Without a similar group, the lines are the exact search's alone, as they always were.
    EXPECT_EQ(ResultCsv({&exact}), std::string("\xEF\xBB\xBF") + "グループ,パス,サイズ,更新日時,比較量,チェック\r\n"
                                                                "1,C:\\v\\a.mp4,5000,,---,0\r\n"
                                                                "1,C:\\w\\a.mp4,5000,,50%,0\r\n");
}
