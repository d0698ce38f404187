#include "core/ThreadBase_CL.h"

#include <process.h>

ThreadBase_CL::~ThreadBase_CL()
{
    Stop();
}

int ThreadBase_CL::Start()
{
    if (startOnce && startedEvent) return 1;
    isLoopRunning = 0;
    startedEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!startedEvent) return 0;

    if (StartThreadAndWait(&ThreadMain, this, startedEvent.Get(), threadHandle, threadId)) return 1;
    startedEvent.Reset();
    return 0;
}

bool StartThreadAndWait(unsigned(__stdcall* routine)(void*), void* argument, HANDLE startedEvent, KernelHandle& thread,
                        DWORD& threadId)
{
    unsigned id = 0;
    thread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, routine, argument, 0, &id)));
    if (!thread) return false;
    threadId = id;
    ::WaitForSingleObject(startedEvent, INFINITE);
    return true;
}

void ThreadBase_CL::Stop()
{
    if (threadHandle) {
        Post(kQuit, 0, 0);
        ::WaitForSingleObject(threadHandle.Get(), INFINITE);
        threadHandle.Reset();
        threadId = 0;
    }
    startedEvent.Reset();
}

void ThreadBase_CL::RequestWork()
{
    Post(kWorkRequest, 0, 0);
}

int ThreadBase_CL::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Wine accepts a post to thread 0; with no worker there is nobody to take it.
    return threadId ? ::PostThreadMessageW(threadId, message, wParam, lParam) : 0;
}

unsigned __stdcall ThreadBase_CL::ThreadMain(void* self)
{
    static_cast<ThreadBase_CL*>(self)->RunLoop();
    return 0;
}

void ThreadBase_CL::RunLoop()
{
    lock.Initialise();
    MSG message;
    ::PeekMessageW(&message, nullptr, kFirstMessage, kLastMessage, PM_NOREMOVE);  // creates the queue
    ::SetEvent(startedEvent.Get());
    isLoopRunning = 1;
    while (isLoopRunning) {
        if (::GetMessageW(&message, nullptr, kFirstMessage, kLastMessage) == -1) break;
        int handled = OnThreadMessage(message.message, message.wParam, message.lParam);
        if (!handled && message.message == kQuit) isLoopRunning = 0;
    }
    isLoopRunning = 0;
}
