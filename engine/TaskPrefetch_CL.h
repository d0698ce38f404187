#pragma once
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs numbered tasks 0..count-1, in order, on helper threads ahead of one consumer, never
// more than `window` tasks past the one the consumer last waited for. WaitFor(t) returns
// once task t has run; while it waits, the consumer runs unclaimed tasks itself, so that
// every core opens files even when the consumer has little work of its own. A task is told
// which thread runs it: 0 .. helpers-1 for the helpers, `helpers` for the consumer.
class TaskPrefetch_CL {
public:
    TaskPrefetch_CL(size_t count, size_t window, std::function<void(size_t, unsigned)> task);
    ~TaskPrefetch_CL();
    TaskPrefetch_CL(const TaskPrefetch_CL&) = delete;
    TaskPrefetch_CL& operator=(const TaskPrefetch_CL&) = delete;

    void Start(unsigned helperCount);
    void WaitFor(size_t task);
    // Claims no more tasks and waits for the running ones.
    void Stop();
    // Helpers for this machine: the cores but the consumer's, at least one.
    static unsigned HelpersForThisMachine();

private:
    bool ClaimNext(size_t& task);
    void RunClaimed(std::unique_lock<std::mutex>& guard, size_t task, unsigned worker);
    void HelperLoop(unsigned worker);

    std::function<void(size_t, unsigned)> run;
    size_t count;
    size_t window;
    size_t nextUnclaimed = 0;
    size_t consumerAt = 0;
    unsigned consumerWorker = 0;
    std::vector<char> isDone;
    bool isStopping = false;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::thread> helpers;
};
