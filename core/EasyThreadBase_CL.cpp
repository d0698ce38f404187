#include "core/EasyThreadBase_CL.h"

#include "core/ThreadBase_CL.h"

EasyThreadBase_CL::~EasyThreadBase_CL()
{
    Wait();
}

int EasyThreadBase_CL::Start(int first, int second)
{
    if (threadHandle) Wait();  // never lose the handle of a run still going
    isRunning = 1;
    argument1 = first;
    argument2 = second;
    isCanceled = 0;
    if (!startedEvent) startedEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));

    if (startedEvent && StartThreadAndWait(&ThreadMain, this, startedEvent.Get(), threadHandle, threadId)) return 1;
    startedEvent.Reset();
    isRunning = 0;
    return 0;
}

void EasyThreadBase_CL::Wait()
{
    if (threadHandle) {
        ::WaitForSingleObject(threadHandle.Get(), INFINITE);
        threadHandle.Reset();
        threadId = 0;
    }
    startedEvent.Reset();
}

int EasyThreadBase_CL::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostThreadMessageW(threadId, message, wParam, lParam);
}

unsigned __stdcall EasyThreadBase_CL::ThreadMain(void* context)
{
    auto* self = static_cast<EasyThreadBase_CL*>(context);
    self->isRunning = 1;
    MSG message;
    ::PeekMessageW(&message, nullptr, ThreadBase_CL::kFirstMessage, ThreadBase_CL::kLastMessage,
                   PM_NOREMOVE);
    ::SetEvent(self->startedEvent.Get());
    self->Run(self->argument1, self->argument2);
    self->OnFinished(self->isCanceled);
    self->isRunning = 0;
    return 0;
}
