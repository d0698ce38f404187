#pragma once
#include <windows.h>

#include "core/UniqueHandle.h"

// A binary semaphore used as a lock that another thread may release.
class Semapho_CL {
public:
    static constexpr DWORD kLockTimeoutMs = 16000;

    Semapho_CL();
    Semapho_CL(const Semapho_CL&) = delete;
    Semapho_CL& operator=(const Semapho_CL&) = delete;

    HANDLE GetHandle() const { return handle.Get(); }

    // Takes the semaphore for its lifetime. A wait longer than the time-out is reported in
    // a message box titled "セマフォタイムアウト" naming the site; the guard then waits
    // again, so the guarded data never has two owners.
    class Lock_CL {
    public:
        Lock_CL(Semapho_CL& semaphore, const wchar_t* siteName, DWORD timeoutMs = kLockTimeoutMs);
        ~Lock_CL();
        Lock_CL(const Lock_CL&) = delete;
        Lock_CL& operator=(const Lock_CL&) = delete;

    private:
        HANDLE handle;
    };

private:
    KernelHandle handle;
};
