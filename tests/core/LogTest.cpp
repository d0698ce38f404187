#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "core/Log_CL.h"
#include "support/TestFolder.h"

namespace {

std::wstring ReadLog(const std::wstring& path)
{
    return BytesAsWide(ReadFileBytes(path));
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the file does not end with CR LF";
    return lines;
}

const std::wregex kPrefix(LR"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3} : )");

}  // namespace

TEST(Log, FirstLineStartsWithBomThenPrefixMessageAndCrLf)
{
    TestFolder folder;
    Log_CL log;
    log.SetPath(folder / L"log.txt");
    log.Write(L"比較開始(%s) %d %I64d", L"テスト", 42, 1234567890123LL);

    std::vector<uint8_t> bytes = ReadFileBytes(folder / L"log.txt");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    std::wstring text = BytesAsWide(bytes).substr(1);
    ASSERT_EQ(text.size(), 26u + wcslen(L"比較開始(テスト) 42 1234567890123") + 2);
    EXPECT_TRUE(std::regex_match(text.substr(0, 26), kPrefix)) << std::string(text.begin(), text.begin() + 26);
    EXPECT_EQ(text.substr(26), L"比較開始(テスト) 42 1234567890123\r\n");

    log.Write(L"second");
    text = ReadLog(folder / L"log.txt");
    EXPECT_EQ(text.find(0xFEFF, 1), std::wstring::npos) << "only one byte-order mark";
    EXPECT_EQ(SplitLines(text.substr(1)).size(), 2u);
}

TEST(Log, RestartsOnlyAboveTheSizeLimit)
{
    TestFolder folder;
    std::wstring path = folder / L"log.txt";
    Log_CL log;
    log.SetPath(path);

    ASSERT_TRUE(SetFileLength(path, 33554432));
    log.Write(L"kept");
    EXPECT_GT(ReadFileBytes(path).size(), 33554432u) << "a file of exactly the limit is appended to";

    ASSERT_TRUE(SetFileLength(path, 33554433));
    log.Write(L"after restart");
    std::wstring text = ReadLog(path);
    ASSERT_EQ(text[0], 0xFEFF);
    std::vector<std::wstring> lines = SplitLines(text.substr(1));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(26), L"after restart");
}

TEST(Log, CutsLongMessagesButKeepsThePrefix)
{
    TestFolder folder;
    Log_CL log;
    log.SetPath(folder / L"log.txt");
    std::wstring exact(1039, L'a');
    std::wstring longer(5000, L'b');
    log.Write(L"%s", exact.c_str());
    log.Write(L"%s", longer.c_str());
    log.Write(longer.c_str());

    std::vector<std::wstring> lines = SplitLines(ReadLog(folder / L"log.txt").substr(1));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(26), exact);
    EXPECT_EQ(lines[1].substr(26), std::wstring(1039, L'b'));
    EXPECT_EQ(lines[2].substr(26), std::wstring(1039, L'b'));
    for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line.substr(0, 26), kPrefix));
}

TEST(Log, WritesNothingWithoutAPathOrFolder)
{
    TestFolder folder;
    Log_CL unset;
    unset.Write(L"nowhere");
    Log_CL missing;
    missing.SetPath(folder / L"no\\such\\folder\\log.txt");
    missing.Write(L"nowhere either");
    EXPECT_EQ(::GetFileAttributesW((folder / L"no").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Log, ConcurrentWritersProduceOnlyWholeLines)
{
    TestFolder folder;
    Log_CL log;
    log.SetPath(folder / L"log.txt");
    constexpr int kThreads = 4, kLines = 150;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.Write(L"thread %d line %d %s", t, i, std::wstring(40 + t * 10, L'x').c_str());
        });
    for (auto& w : writers) w.join();

    std::wstring text = ReadLog(folder / L"log.txt");
    ASSERT_EQ(text[0], 0xFEFF);
    std::vector<std::wstring> lines = SplitLines(text.substr(1));
    ASSERT_EQ(lines.size(), size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    const std::wregex body(LR"(thread (\d) line (\d+) (x+))");
    for (const auto& line : lines) {
        std::wsmatch m;
        std::wstring rest = line.substr(26);
        ASSERT_TRUE(std::regex_match(rest, m, body)) << "mixed line";
        int t = std::stoi(m[1].str());
        EXPECT_EQ(std::stoi(m[2].str()), next[t]++) << "lines of one thread stay in order";
        EXPECT_EQ(m[3].length(), 40 + t * 10);
    }
}
