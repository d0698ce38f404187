#pragma once
#include <windows.h>

#include "core/UniqueHandle.h"

// A run-once worker: Start runs Run(argument1, argument2) on a new thread, then
// OnFinished with the cancel flag as it stood when Run returned.
//
// A derived class must call Wait() in its own destructor (see ThreadBase_CL).
class EasyThreadBase_CL {
public:
    EasyThreadBase_CL() = default;
    virtual ~EasyThreadBase_CL();
    // Returns once the worker runs; a previous run is waited for first.
    // 1 on success, 0 if no thread could be created.
    virtual int Start(int argument1, int argument2);
    virtual void Wait();
    virtual void Run(int argument1, int argument2) = 0;
    virtual void OnFinished(int isCanceled) = 0;

    EasyThreadBase_CL(const EasyThreadBase_CL&) = delete;
    EasyThreadBase_CL& operator=(const EasyThreadBase_CL&) = delete;

    void Cancel() { isCanceled = 1; }
    int IsCanceled() const { return isCanceled; }
    int IsRunning() const { return isRunning; }
    int Post(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    KernelHandle threadHandle;
    DWORD threadId = 0;
    KernelHandle startedEvent;
    volatile LONG isCanceled = 0;
    volatile LONG isRunning = 0;
    int argument1 = 0;
    int argument2 = 0;

private:
    static unsigned __stdcall ThreadMain(void* self);
};
