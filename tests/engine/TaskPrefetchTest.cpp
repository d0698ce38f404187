#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/TaskPrefetch_CL.h"

// Every task runs once, none before the consumer comes within the window of it, a waited-for
// task is finished when WaitFor returns, and the consumer alone (no helpers, or helpers
// stopped) still gets every task it waits for.
TEST(TaskPrefetch, RunsEachTaskOnceWithinTheWindowAndNeverLeavesTheConsumerWaiting)
{
    for (unsigned helpers : {0u, 1u, 3u}) {
        constexpr size_t kTasks = 400, kWindow = 5;
        std::vector<std::atomic<int>> runs(kTasks);
        std::vector<std::atomic<int>> finished(kTasks);
        std::atomic<size_t> consumerAt{0};
        std::atomic<bool> ranTooEarly{false};
        std::atomic<bool> consumerRan{false};
        const DWORD consumerThread = ::GetCurrentThreadId();
        TaskPrefetch_CL prefetch(kTasks, kWindow, [&](size_t task, unsigned worker) {
            if (task > consumerAt + kWindow) ranTooEarly = true;
            if (::GetCurrentThreadId() == consumerThread) {
                consumerRan = true;
                EXPECT_EQ(worker, helpers) << "the consumer has the last worker number";
            } else {
                EXPECT_LT(worker, helpers);
            }
            ++runs[task];
            if (task % 7 == 0) ::Sleep(1);  // some tasks are slow
            finished[task] = 1;
        });
        prefetch.Start(helpers);
        for (size_t task = 0; task < kTasks; task += 1 + task % 3) {
            consumerAt = task;
            prefetch.WaitFor(task);
            ASSERT_EQ(finished[task], 1) << "helpers " << helpers << ", task " << task;
        }
        consumerAt = kTasks - 1;
        prefetch.WaitFor(kTasks - 1);
        prefetch.Stop();
        for (size_t task = 0; task < kTasks; ++task) EXPECT_EQ(runs[task], 1) << "helpers " << helpers << ", task " << task;
        EXPECT_FALSE(ranTooEarly) << "helpers " << helpers;
        if (helpers == 0) {
            EXPECT_TRUE(consumerRan);
        }
    }

    // Stopped early: the tasks under way end, no new one starts, and a wait still ends.
    std::atomic<int> started{0};
    std::atomic<bool> isStopping{false};
    TaskPrefetch_CL stopped(100, 100, [&](size_t, unsigned) {
        ++started;
        if (!isStopping) ::Sleep(20);  // two helpers need a second for all of them
    });
    stopped.Start(2);
    ::Sleep(10);
    isStopping = true;
    stopped.Stop();
    const int afterStop = started;
    EXPECT_LT(afterStop, 100);
    stopped.WaitFor(99);
    EXPECT_GE(started, afterStop + 1) << "the consumer ran what it waited for itself";
}
