#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/DllFunction_CL.h"
#include "core/EasyThreadBase_CL.h"
#include "core/Semapho_CL.h"
#include "core/ThreadBase_CL.h"

namespace {

constexpr UINT kRecord = ThreadBase_CL::kFirstMessage + 10;

// Records every message; consumes the first quit when asked to, sleeps on request.
class RecordingWorker : public ThreadBase_CL {
public:
    ~RecordingWorker() override { Stop(); }

    int OnThreadMessage(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message == kRecord) {
            if (wParam == 0xDEAD) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                slowDone = true;
            }
            received.push_back(static_cast<int>(wParam));
            return 1;
        }
        if (message == kQuit && swallowQuits > 0) {
            --swallowQuits;
            return 1;
        }
        if (message == kWorkRequest) ++workRequests;
        return 0;  // the work request is not handled: dropped
    }

    std::vector<int> received;
    std::atomic<int> swallowQuits{0};
    std::atomic<int> workRequests{0};
    std::atomic<bool> slowDone{false};
};

}  // namespace

TEST(ThreadBase, MessagesPostedRightAfterStartArriveInOrder)
{
    RecordingWorker worker;
    ASSERT_EQ(worker.Start(), 1);
    for (int i = 0; i < 2000; ++i) ASSERT_TRUE(worker.Post(kRecord, i, 0));
    worker.Stop();
    ASSERT_EQ(worker.received.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(worker.received[i], i);
}

TEST(ThreadBase, UnhandledWorkIsDroppedAndOnlyAnUnhandledQuitEndsTheLoop)
{
    RecordingWorker worker;
    worker.swallowQuits = 1;
    ASSERT_EQ(worker.Start(), 1);
    worker.RequestWork();
    worker.Post(ThreadBase_CL::kQuit, 0, 0);  // consumed: the worker goes on
    worker.Post(kRecord, 7, 0);
    for (int i = 0; i < 200 && worker.received.empty(); ++i) Sleep(5);
    EXPECT_EQ(worker.IsLoopRunning(), 1);
    EXPECT_EQ(worker.workRequests.load(), 1);
    ASSERT_EQ(worker.received, std::vector<int>{7});

    worker.Stop();
    EXPECT_EQ(worker.IsLoopRunning(), 0);
    EXPECT_FALSE(worker.IsThreadRunning());
    worker.Stop();  // a second Stop does nothing
    EXPECT_FALSE(worker.IsThreadRunning());
}

TEST(ThreadBase, StopWaitsForTheRunningHandlerAndStartAfterStopRunsANewThread)
{
    RecordingWorker worker;
    ASSERT_EQ(worker.Start(), 1);
    DWORD firstId = worker.GetThreadId();
    EXPECT_EQ(worker.Start(), 1) << "a second Start while running does nothing";
    EXPECT_EQ(worker.GetThreadId(), firstId);

    worker.Post(kRecord, 0xDEAD, 0);
    Sleep(50);
    worker.Stop();
    EXPECT_TRUE(worker.slowDone);

    ASSERT_EQ(worker.Start(), 1);
    worker.Post(kRecord, 1, 0);
    worker.Stop();
    EXPECT_EQ(worker.received.back(), 1);
}

namespace {

class CountingJob : public EasyThreadBase_CL {
public:
    explicit CountingJob(bool cancelSelf) : cancelSelf(cancelSelf) {}
    ~CountingJob() override { Wait(); }

    void Run(int a, int b) override
    {
        sum = a + b;
        threadSeen = ::GetCurrentThreadId();
        if (cancelSelf) Cancel();
        while (holdOpen) Sleep(1);
    }
    void OnFinished(int canceled) override { finishedWith = canceled; }

    bool cancelSelf;
    std::atomic<bool> holdOpen{false};
    int sum = 0;
    DWORD threadSeen = 0;
    int finishedWith = -1;
};

}  // namespace

TEST(EasyThreadBase, RunsOnceAndHandsTheCancelFlagToOnFinished)
{
    CountingJob plain(false);
    ASSERT_EQ(plain.Start(2, 3), 1);
    plain.Wait();
    EXPECT_EQ(plain.sum, 5);
    EXPECT_NE(plain.threadSeen, ::GetCurrentThreadId());
    EXPECT_EQ(plain.finishedWith, 0);
    EXPECT_EQ(plain.IsRunning(), 0);

    CountingJob canceled(false);
    canceled.holdOpen = true;
    ASSERT_EQ(canceled.Start(1, 1), 1);
    EXPECT_EQ(canceled.IsRunning(), 1);
    canceled.Cancel();
    canceled.holdOpen = false;
    canceled.Wait();
    EXPECT_EQ(canceled.finishedWith, 1);

    // A new run starts with the flag cleared.
    ASSERT_EQ(canceled.Start(4, 4), 1);
    canceled.Wait();
    EXPECT_EQ(canceled.finishedWith, 0);
    EXPECT_EQ(canceled.sum, 8);
}

TEST(Semapho, ReleasedByAnotherThreadThanTheOneThatTookIt)
{
    Semapho_CL semaphore;
    auto* held = new Semapho_CL::Lock_CL(semaphore, L"test");
    EXPECT_EQ(::WaitForSingleObject(semaphore.GetHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    std::thread other([held] { delete held; });
    other.join();
    Semapho_CL::Lock_CL again(semaphore, L"test", 1000);  // would show a message box if still held
    EXPECT_EQ(::WaitForSingleObject(semaphore.GetHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Semapho, TimeOutShowsOneMessageBoxAndThenWaitsForTheOwner)
{
    Semapho_CL semaphore;
    std::atomic<bool> released{false};
    std::atomic<bool> acquiredBeforeRelease{false};
    std::atomic<int> boxesSeen{0};
    auto* held = new Semapho_CL::Lock_CL(semaphore, L"holder");

    std::thread waiter([&] {
        Semapho_CL::Lock_CL lock(semaphore, L"WM_ORG_DECODE_REQ", 200);
        if (!released) acquiredBeforeRelease = true;
    });

    // Answer the message box the way a user would, then let the owner release later.
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
        box = ::FindWindowW(L"#32770", L"セマフォタイムアウト");
        if (!box) Sleep(10);
    }
    ASSERT_NE(box, nullptr) << "no time-out message box";
    ++boxesSeen;
    wchar_t text[64] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 64);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 200 && ::IsWindow(box); ++i) Sleep(10);
    Sleep(400);  // longer than the time-out: a second box would appear now
    if (::FindWindowW(L"#32770", L"セマフォタイムアウト")) ++boxesSeen;

    released = true;
    delete held;
    waiter.join();
    EXPECT_EQ(boxesSeen.load(), 1);
    EXPECT_FALSE(acquiredBeforeRelease) << "the guarded section ran while another thread owned it";
    EXPECT_EQ(std::wstring(text), L"WM_ORG_DECODE_REQ");
}

TEST(DllFunction, FindsPresentFunctionsAndGivesNullOtherwise)
{
    DllFunction_CL user32(L"user32.dll");
    EXPECT_TRUE(user32.IsLoaded());
    EXPECT_NE(user32.GetFunction("IsProcessDPIAware"), nullptr);
    EXPECT_EQ(user32.GetFunction("NoSuchFunctionAnywhere"), nullptr);
    DllFunction_CL missing(L"no-such-library-quillmere.dll");
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(missing.GetFunction("IsProcessDPIAware"), nullptr);
}
