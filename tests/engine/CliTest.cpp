#include <gtest/gtest.h>

#include "core/UniqueHandle.h"
#include "support/CliRunner.h"
#include "support/TestFolder.h"

namespace {

std::string Utf8(const std::wstring& text)
{
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes - 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string JsonPath(const std::wstring& path)
{
    std::string escaped;
    for (char c : Utf8(path)) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

TEST(Cli, FindPrintsGroupsAsJsonAndCompareTellsByExitCode)
{
    TestFolder tree;
    MakeFolder(tree / L"sub");
    MakeFileWithContent(tree / L"動画.avi", 70000, 1);
    MakeFileWithContent(tree / L"sub\\copy.txt", 70000, 1);
    MakeFileWithContent(tree / L"other.avi", 70000, 2);

    CliResult found = RunCli(L"find --all-files --json \"" + tree.Path() + L"\"");
    ASSERT_EQ(found.exitCode, 0u) << found.out;
    // The walk's order is the file system's: either file may be the base.
    auto entry = [](const std::wstring& path, int compared) {
        return "{\"path\":\"" + JsonPath(path) + "\",\"comparedBytes\":" + std::to_string(compared) + "}";
    };
    auto group = [](const std::string& base, const std::string& member) {
        return "{\"groups\":[{\"size\":70000,\"files\":[" + base + "," + member + "]}]}\n";
    };
    std::wstring movie = tree / L"動画.avi", copy = tree / L"sub\\copy.txt";
    EXPECT_TRUE(found.out == group(entry(movie, 0), entry(copy, 70000)) ||
                found.out == group(entry(copy, 0), entry(movie, 70000)))
        << found.out;

    // A list file names single files.
    std::string list = Utf8(tree / L"other.avi") + "\r\n";
    std::string listed = "\xEF\xBB\xBF" + list + Utf8(tree / L"sub\\copy.txt") + "\r\n" + Utf8(tree / L"動画.avi");
    WriteFileBytes(tree / L"list.txt", listed.data(), listed.size());
    CliResult fromList = RunCli(L"find --all-files --list \"" + (tree / L"list.txt") + L"\"");
    EXPECT_EQ(fromList.exitCode, 0u);
    EXPECT_NE(fromList.out.find("group 1: 2 files of 70,000 bytes"), std::string::npos) << fromList.out;
    EXPECT_NE(fromList.out.find("1 groups"), std::string::npos);

    EXPECT_EQ(RunCli(L"compare \"" + (tree / L"動画.avi") + L"\" \"" + (tree / L"sub\\copy.txt") + L"\"").exitCode, 0u);
    EXPECT_EQ(RunCli(L"compare \"" + (tree / L"動画.avi") + L"\" \"" + (tree / L"other.avi") + L"\"").exitCode, 1u);
    EXPECT_EQ(RunCli(L"compare \"" + (tree / L"動画.avi") + L"\" \"" + (tree / L"none") + L"\"").exitCode, 2u);
    EXPECT_EQ(RunCli(L"compare onlyone").exitCode, 2u);
    EXPECT_EQ(RunCli(L"find --bogus x").exitCode, 2u);
    EXPECT_EQ(RunCli(L"find").exitCode, 2u);
    EXPECT_EQ(RunCli(L"").exitCode, 2u);
}
