#include <gtest/gtest.h>

#include <chrono>

#include "core/ApplicationData_CL.h"
#include "core/Log_CL.h"
#include "engine/DigestCache_CL.h"
#include "engine/FindCompareFile_CL.h"
#include "engine/ListFile.h"
#include "engine/SearchListener_CL.h"
#include "support/TestFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Stands in for the main window: records what the job reports and when.
class ListenerDouble : public SearchListener_CL {
public:
    ListenerDouble() : finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void SetSearchProgress(int value) override
    {
        progress.push_back(value);
        lastProgressAt = Clock::now();
        if (cancelOnFirstProgress) settings->isCancelRequested = 1;
    }
    void AddGroup(const DuplicateGroup& group) override
    {
        groupsSeenByScanner.push_back(job->Scanner().Groups().size());
        std::vector<std::wstring> paths;
        for (auto* file : group) paths.push_back(file->path);
        groups.push_back(paths);
    }
    void OnSearchFinished() override
    {
        ++finishedCount;
        finishedAt = Clock::now();
        wasCanceled = settings->isCancelRequested;
        settings->isCancelRequested = 0;
        ::SetEvent(finished.Get());
    }
    const std::vector<std::wstring>* GetFileList() const override { return fileListMode ? &fileList : nullptr; }

    bool WaitFinished()
    {
        bool ok = ::WaitForSingleObject(finished.Get(), 60000) == WAIT_OBJECT_0;
        ::ResetEvent(finished.Get());
        return ok;
    }
    void Reset()
    {
        progress.clear();
        groups.clear();
        groupsSeenByScanner.clear();
    }

    ApplicationData_CL* settings = nullptr;
    FindCompareFile_CL* job = nullptr;
    KernelHandle finished;
    std::vector<int> progress;
    std::vector<std::vector<std::wstring>> groups;
    std::vector<size_t> groupsSeenByScanner;
    int finishedCount = 0;
    LONG wasCanceled = 0;
    bool cancelOnFirstProgress = false;
    bool fileListMode = false;
    std::vector<std::wstring> fileList;
    Clock::time_point lastProgressAt, finishedAt;
};

struct JobFixture {
    JobFixture() : job(listener, settings)
    {
        settings.LoadFromFolder(data.Path());
        listener.settings = &settings;
        listener.job = &job;
    }
    ~JobFixture() { TheLog().SetPath(L""); }

    TestFolder data, tree;
    ApplicationData_CL settings;
    ListenerDouble listener;
    FindCompareFile_CL job;
};

}  // namespace

TEST(SearchJob, SearchesTheCheckedFoldersAndReportsEveryStep)
{
    JobFixture f;
    MakeFolder(f.tree / L"one");
    MakeFolder(f.tree / L"two");
    MakeFolder(f.tree / L"off");
    MakeFileWithContent(f.tree / L"one\\a.avi", 4000, 1);
    MakeFileWithContent(f.tree / L"two\\a copy.avi", 4000, 1);
    MakeFileWithContent(f.tree / L"two\\photo.jpg", 4000, 1);
    MakeFileWithContent(f.tree / L"two\\note.txt", 4000, 1);
    MakeFileWithContent(f.tree / L"off\\a again.avi", 4000, 1);
    f.settings.AddCheckFolder({1, f.tree / L"one"});
    f.settings.AddCheckFolder({1, f.tree / L"two"});
    f.settings.AddCheckFolder({0, f.tree / L"off"});

    auto started = Clock::now();
    f.job.StartSearch();
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(190)) << "the start pause";
    ASSERT_TRUE(f.listener.WaitFinished());
    EXPECT_EQ(f.listener.finishedCount, 1);
    ASSERT_EQ(f.listener.groups.size(), 1u);
    EXPECT_EQ(f.listener.groups[0].size(), 3u) << "the .jpg is a still image with the same bytes";
    EXPECT_EQ(f.listener.groups[0][0], f.tree / L"one\\a.avi");
    EXPECT_EQ(f.listener.progress.front(), 770);
    EXPECT_EQ(f.listener.progress.back(), 1000);
    EXPECT_GE(f.listener.finishedAt - f.listener.lastProgressAt, std::chrono::milliseconds(450)) << "the end pause";

    std::wstring log = BytesAsWide(ReadFileBytes(f.data / L"log.txt"));
    EXPECT_NE(log.find(L"重複ファイルを見つけた"), std::wstring::npos);
    // What it read is kept beside the settings for the next search: the three candidates.
    DigestCache_CL cache;
    ASSERT_TRUE(cache.Load(f.data / L"digests.cache"));
    EXPECT_EQ(cache.GetCount(), 3u);

    // A second search runs on a new thread, after the first one's groups are gone.
    DWORD firstThread = f.job.GetThreadId();
    f.listener.Reset();
    f.job.StartSearch();
    ASSERT_TRUE(f.listener.WaitFinished());
    EXPECT_NE(f.job.GetThreadId(), firstThread);
    EXPECT_EQ(f.listener.groupsSeenByScanner, std::vector<size_t>{1});
}

TEST(SearchJob, CancelDuringTheWalkStillEndsWithTheFinishedNotice)
{
    JobFixture f;
    for (int i = 0; i < 40; ++i) {
        std::wstring sub = f.tree / (L"d" + std::to_wstring(i));
        MakeFolder(sub);
        MakeFileWithContent(sub + L"\\a.avi", 100, 1);
    }
    f.settings.AddCheckFolder({1, f.tree.Path()});
    f.listener.cancelOnFirstProgress = true;
    f.job.StartSearch();
    ASSERT_TRUE(f.listener.WaitFinished());
    EXPECT_EQ(f.listener.wasCanceled, 1);
    EXPECT_LT(f.job.Scanner().Files().size(), 40u);
    EXPECT_TRUE(f.listener.groups.empty());
}

TEST(SearchJob, FileListModeIgnoresTheFolders)
{
    JobFixture f;
    MakeFileWithContent(f.tree / L"x.avi", 900, 3);
    MakeFileWithContent(f.tree / L"y.avi", 900, 3);
    MakeFileWithContent(f.tree / L"z.avi", 900, 3);
    f.settings.AddCheckFolder({1, f.tree.Path()});
    f.listener.fileListMode = true;
    f.listener.fileList = {f.tree / L"x.avi", f.tree / L"missing.avi", f.tree / L"z.avi"};
    f.job.StartSearch();
    ASSERT_TRUE(f.listener.WaitFinished());
    ASSERT_EQ(f.listener.groups.size(), 1u);
    EXPECT_EQ(f.listener.groups[0], (std::vector<std::wstring>{f.tree / L"x.avi", f.tree / L"z.avi"}));

    // Nothing to search: the notice still comes.
    f.listener.fileList.clear();
    f.listener.Reset();
    f.job.StartSearch();
    ASSERT_TRUE(f.listener.WaitFinished());
    EXPECT_TRUE(f.listener.groups.empty());
    EXPECT_TRUE(f.listener.progress.empty());
}

TEST(ListFile, ReadsCodePage932LinesWithoutTheirLineEnds)
{
    TestFolder folder;
    // "C:\動画\a.avi" in code page 932, CR LF, an empty line, a last line without end.
    std::string bytes = "C:\\\x93\xae\x89\xe6\\a.avi\r\nD:\\b.avi\n\r\n\nE:\\\x83\x65\x83\x58\x83\x67";
    WriteFileBytes(folder / L"list.txt", bytes.data(), bytes.size());
    EXPECT_EQ(ReadListFile(folder / L"list.txt"),
              (std::vector<std::wstring>{L"C:\\動画\\a.avi", L"D:\\b.avi", L"E:\\テスト"}));

    std::string utf8 = "\xEF\xBB\xBF" "C:\\\xE5\x8B\x95\xE7\x94\xBB.mp4\n";
    WriteFileBytes(folder / L"utf8.txt", utf8.data(), utf8.size());
    EXPECT_EQ(ReadListFile(folder / L"utf8.txt"), std::vector<std::wstring>{L"C:\\動画.mp4"});
    EXPECT_TRUE(ReadListFile(folder / L"missing.txt").empty());
}
