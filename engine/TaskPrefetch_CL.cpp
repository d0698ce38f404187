#include "engine/TaskPrefetch_CL.h"

#include <algorithm>

TaskPrefetch_CL::TaskPrefetch_CL(size_t count, size_t window, std::function<void(size_t, unsigned)> task)
    : run(std::move(task)), count(count), window(window), isDone(count, 0)
{
}

TaskPrefetch_CL::~TaskPrefetch_CL()
{
    Stop();
}

unsigned TaskPrefetch_CL::HelpersForThisMachine()
{
    // Under Wine every open is a round trip to one server process, which serialises part of
    // it: on a warm cache, two threads beside the consumer (which mostly waits) do as well
    // as more on 2 cores. A cold disk serves more reads at once: four took a fifth off a
    // cold first scan of 20,000 files there. So two helpers a core, within reason.
    return std::clamp(2 * std::thread::hardware_concurrency(), 2u, 8u);
}

void TaskPrefetch_CL::Start(unsigned helperCount)
{
    consumerWorker = helperCount;
    for (unsigned i = 0; i < helperCount; ++i) helpers.emplace_back(&TaskPrefetch_CL::HelperLoop, this, i);
}

bool TaskPrefetch_CL::ClaimNext(size_t& task)
{
    if (isStopping || nextUnclaimed >= count || nextUnclaimed > consumerAt + window) return false;
    task = nextUnclaimed++;
    return true;
}

void TaskPrefetch_CL::RunClaimed(std::unique_lock<std::mutex>& guard, size_t task, unsigned worker)
{
    guard.unlock();
    run(task, worker);
    guard.lock();
    isDone[task] = 1;
    changed.notify_all();
}

void TaskPrefetch_CL::WaitFor(size_t task)
{
    std::unique_lock<std::mutex> guard(lock);
    if (task > consumerAt) {
        consumerAt = task;
        changed.notify_all();
    }
    // Tasks up to the awaited one are claimed here, in order, when no helper has them, so the
    // wait always ends; while a helper runs the awaited one, the consumer takes the next.
    while (!isDone[task]) {
        size_t claimed = 0;
        if (task >= nextUnclaimed)
            claimed = nextUnclaimed++;
        else if (!ClaimNext(claimed)) {
            changed.wait(guard);
            continue;
        }
        RunClaimed(guard, claimed, consumerWorker);
    }
}

void TaskPrefetch_CL::HelperLoop(unsigned worker)
{
    std::unique_lock<std::mutex> guard(lock);
    while (!isStopping && nextUnclaimed < count) {
        size_t claimed = 0;
        if (ClaimNext(claimed))
            RunClaimed(guard, claimed, worker);
        else
            changed.wait(guard);
    }
}

void TaskPrefetch_CL::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        isStopping = true;
        changed.notify_all();
    }
    for (std::thread& helper : helpers) helper.join();
    helpers.clear();
}
