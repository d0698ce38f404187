#include <gtest/gtest.h>

#include <algorithm>

#include "core/PathFunctions.h"
#include "core/TextFormat.h"
#include "core/UniqueHandle.h"
#include "support/CliRunner.h"
#include "support/DocumentsFolderLock.h"
#include "support/TestFolder.h"

namespace {

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
    DocumentsFolderLock documents;  // a search keeps its digests there
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

TEST(Cli, FindKeepsItsDigestsInDocumentsUnlessToldNotTo)
{
    // GUI tests point the Documents folder elsewhere meanwhile: the test and the searches it
    // starts would each find the cache in another place.
    DocumentsFolderLock documents;
    TestFolder tree;
    MakeFileWithContent(tree / L"a.avi", 9000, 3);
    MakeFileWithContent(tree / L"b.avi", 9000, 3);
    const std::wstring cache = GetDocumentsFolder() + L"\\Quillmere\\digests.cache";
    // The cache names each folder once, in UTF-16; this folder's name is new to it.
    auto cacheNamesTree = [&] {
        std::vector<uint8_t> bytes = ReadFileBytes(cache);
        const auto* name = reinterpret_cast<const uint8_t*>(tree.Path().data());
        return std::search(bytes.begin(), bytes.end(), name, name + tree.Path().size() * sizeof(wchar_t)) !=
               bytes.end();
    };
    const std::wstring find = L"find --all-files \"" + tree.Path() + L"\"";

    CliResult uncached = RunCli(L"find --all-files --no-cache \"" + tree.Path() + L"\"");
    EXPECT_EQ(uncached.exitCode, 0u);
    EXPECT_NE(uncached.out.find("1 groups"), std::string::npos) << uncached.out;
    EXPECT_FALSE(cacheNamesTree());

    CliResult cached = RunCli(find);
    EXPECT_EQ(cached.out, uncached.out);
    EXPECT_TRUE(cacheNamesTree());
    // A rescan answers from the cache what it may and still compares the copies byte by byte.
    MakeFileWithContent(tree / L"b.avi", 9000, 4);
    EXPECT_NE(RunCli(find).out.find("0 groups"), std::string::npos);
}

TEST(Cli, FailuresAreNamedWithTheirOwnExitCodeAndOddPathsSurviveJson)
{
    DocumentsFolderLock documents;  // searches that may make the cache's folder there
    TestFolder tree;
    EXPECT_EQ(RunCli(L"find --all-files \"" + (tree / L"no such folder") + L"\"").exitCode, 3u);
    EXPECT_EQ(RunCli(L"find --all-files --list \"" + tree.Path() + L"\"").exitCode, 3u) << "a folder as the list";
    WriteFileBytes(tree / L"empty1", "", 0);
    WriteFileBytes(tree / L"empty2", "", 0);
    CliResult empties = RunCli(L"compare \"" + (tree / L"empty1") + L"\" \"" + (tree / L"empty2") + L"\"");
    EXPECT_EQ(empties.exitCode, 0u);
    EXPECT_EQ(empties.out, "equal\n");
    {
        FileHandle locked(::CreateFileW((tree / L"empty1").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked.IsValid());
        EXPECT_EQ(RunCli(L"compare \"" + (tree / L"empty1") + L"\" \"" + (tree / L"empty2") + L"\"").exitCode, 3u);
    }

    // A name that is not valid UTF-16 (a lone surrogate; NTFS allows it, Wine cannot make
    // one) still names its file in JSON; a proper pair stays as it is.
    EXPECT_EQ(JsonString(std::wstring(L"C:\\a\xD800" L"b\"\x01.avi")), L"\"C:\\\\a\\ud800b\\\"\\u0001.avi\"");
    EXPECT_EQ(JsonString(std::wstring(L"\xDC00\xD83D\xDE00\xD83D")), L"\"\\udc00\xD83D\xDE00\\ud83d\"");
}

TEST(Cli, FoldersNamedInAnyOverlappingWayAndListsNamingFilesTwiceGiveEachGroupOnce)
{
    TestFolder tree;
    MakeFolder(tree / L"X\\a");
    MakeFileWithContent(tree / L"X\\a\\1.bin", 70000, 1);
    MakeFileWithContent(tree / L"X\\a\\2.bin", 70000, 1);
    MakeFileWithContent(tree / L"X\\top.bin", 80000, 2);
    MakeFileWithContent(tree / L"X\\top copy.bin", 80000, 2);
    const std::wstring x = L"\"" + (tree / L"X") + L"\"", inner = L"\"" + (tree / L"X\\a") + L"\"";
    const CliResult alone = RunCli(L"find --all-files --no-cache " + x);
    ASSERT_NE(alone.out.find("2 groups"), std::string::npos) << alone.out;
    for (const std::wstring& folders : {x + L" " + inner, inner + L" " + x, x + L" " + x, x + L" \"" + (tree / L"x") + L"\"",
                                        x + L" \"" + (tree / L"x\\A\\..\\a") + L"\""}) {
        const CliResult found = RunCli(L"find --all-files --no-cache " + folders);
        EXPECT_EQ(found.exitCode, 0u);
        EXPECT_EQ(found.out, alone.out) << std::string(folders.begin(), folders.end());
    }

    // A list naming each copy twice, once in capitals, and entries that cannot be searched:
    // each of those named on stderr, the rest searched.
    const std::wstring missing = tree / L"X\\a\\3.bin", dotted = tree / L"X\\a\\1.bin.", folder = tree / L"X\\a";
    std::string list;
    for (const std::wstring& path : {tree / L"X\\a\\1.bin", tree / L"X\\a\\2.bin", missing, tree / L"X\\A\\1.BIN",
                                     tree / L"X\\a\\2.bin", dotted, folder})
        list += Utf8(path) + "\r\n";
    WriteFileBytes(tree / L"list.txt", list.data(), list.size());
    const CliResult listed = RunCli(L"find --all-files --no-cache --list \"" + (tree / L"list.txt") + L"\"");
    EXPECT_EQ(listed.exitCode, 3u);
    EXPECT_EQ(listed.out, "group 1: 2 files of 70,000 bytes\n  " + Utf8(tree / L"X\\a\\1.bin") + "\n  " +
                              Utf8(tree / L"X\\a\\2.bin") + "\n1 groups\n");
    EXPECT_EQ(listed.err, "quillmere-cli: no such file: " + Utf8(missing) + "\nquillmere-cli: no such file: " + Utf8(dotted) +
                              "\nquillmere-cli: a folder, not a file: " + Utf8(folder) + "\n");
    // A CSV of that list is no success either: a script would take it for the whole result.
    const CliResult listedCsv = RunCli(L"find --all-files --no-cache --csv --list \"" + (tree / L"list.txt") + L"\"");
    EXPECT_EQ(listedCsv.exitCode, 3u);
    EXPECT_NE(listedCsv.out.find(Utf8(tree / L"X\\a\\2.bin") + ",70000,"), std::string::npos) << listedCsv.out;
    EXPECT_EQ(listedCsv.err, listed.err);
}

TEST(Cli, FindWritesTheResultAsCsvInUtf8WithAByteOrderMark)
{
    TestFolder tree;
    // A name with a comma must stay one field; a Japanese one must read right.
    MakeFileWithContent(tree / L"動画, 最終.avi", 5000, 1);
    MakeFileWithContent(tree / L"b.avi", 5000, 1);
    MakeFileWithContent(tree / L"c.avi", 3 * 1024 * 1024, 2);
    MakeFileWithContent(tree / L"d.avi", 3 * 1024 * 1024, 2);
    FILETIME written = {};
    SYSTEMTIME local = {2021, 3, 0, 4, 5, 6, 7, 0}, utc;
    ::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    ::SystemTimeToFileTime(&utc, &written);
    {
        FileHandle file(::CreateFileW((tree / L"b.avi").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    CliResult result = RunCli(L"find --all-files --no-cache --csv \"" + tree.Path() + L"\"");
    ASSERT_EQ(result.exitCode, 0u);
    ASSERT_GE(result.out.size(), 3u);
    EXPECT_EQ(result.out.substr(0, 3), "\xEF\xBB\xBF");
    const std::string text = result.out.substr(3);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), Utf8(L"グループ,パス,サイズ,更新日時,比較量,チェック"));
    EXPECT_NE(text.find("\"" + Utf8(tree / L"動画, 最終.avi") + "\",5000,"), std::string::npos) << text;
    EXPECT_NE(text.find(Utf8(tree / L"b.avi") + ",5000,2021/03/04 05:06:07,"), std::string::npos) << text;
    // The first file of a group shows "---", a copy the share compared (2 MiB of 3 MiB).
    EXPECT_NE(text.find(",---,0\r\n"), std::string::npos);
    EXPECT_NE(text.find(",100%,0\r\n"), std::string::npos);
    EXPECT_NE(text.find(",66%,0\r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_EQ(RunCli(L"find --csv --json \"" + tree.Path() + L"\"").exitCode, 2u);

    EXPECT_EQ(FormatByteSize(1023), L"1023 B");
    EXPECT_EQ(FormatByteSize(1024), L"1.0 KB");
    EXPECT_EQ(FormatByteSize(1048575), L"1.0 MB") << "rounds up into the next unit";
    EXPECT_EQ(FormatByteSize(48962842214ull), L"45.6 GB");
}
