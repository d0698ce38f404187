#pragma once
#include <windows.h>

#include "core/CriticalSection_CL.h"
#include "core/UniqueHandle.h"

// A long-lived worker with its own thread message queue. The owner posts messages in
// [kFirstMessage, kLastMessage]; the worker hands them one at a time to OnThreadMessage.
// An unhandled quit message (kQuit) ends the loop.
//
// A derived class must call Stop() in its own destructor: the base destructor runs after
// the derived part is gone, when the worker could no longer call the handler safely.
// Starts `routine(argument)` on a new thread and waits until it signals `startedEvent`.
// Gives the thread's handle and identifier; on failure the handle stays empty.
bool StartThreadAndWait(unsigned(__stdcall* routine)(void*), void* argument, HANDLE startedEvent, KernelHandle& thread,
                        DWORD& threadId);

class ThreadBase_CL {
public:
    static constexpr UINT kFirstMessage = 1224;
    static constexpr UINT kWorkRequest = 1225;
    static constexpr UINT kQuit = 1226;
    static constexpr UINT kLastMessage = 1224 + 4096;

    ThreadBase_CL() = default;
    virtual int OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual ~ThreadBase_CL();
    // Returns once the worker's queue exists, so no message posted afterwards is lost.
    // 1 on success (or when already started), 0 if no thread could be created.
    virtual int Start();
    // Posts the quit message and waits until the worker has ended. Safe to call twice.
    virtual void Stop();
    virtual void RequestWork();

    ThreadBase_CL(const ThreadBase_CL&) = delete;
    ThreadBase_CL& operator=(const ThreadBase_CL&) = delete;

    int Post(UINT message, WPARAM wParam, LPARAM lParam);
    bool IsThreadRunning() const { return threadHandle.IsValid(); }
    int IsLoopRunning() const { return isLoopRunning; }
    DWORD GetThreadId() const { return threadId; }

protected:
    KernelHandle threadHandle;
    DWORD threadId = 0;
    KernelHandle startedEvent;
    volatile LONG isLoopRunning = 0;
    CriticalSection_CL lock;  // initialised on the worker thread; free for derived classes
    int startOnce = 1;

private:
    static unsigned __stdcall ThreadMain(void* self);
    void RunLoop();
};
