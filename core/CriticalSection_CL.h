#pragma once
#include <windows.h>

// A platform critical section that is initialised on demand (a worker initialises its
// own lock on its thread) and deleted only if it was initialised.
class CriticalSection_CL {
public:
    CriticalSection_CL() = default;
    ~CriticalSection_CL();
    CriticalSection_CL(const CriticalSection_CL&) = delete;
    CriticalSection_CL& operator=(const CriticalSection_CL&) = delete;

    void Initialise();
    int IsInitialised() const { return isInitialised; }
    void Enter() { ::EnterCriticalSection(&section); }
    void Leave() { ::LeaveCriticalSection(&section); }

    class Guard {
    public:
        explicit Guard(CriticalSection_CL& lock) : lock(lock) { lock.Enter(); }
        ~Guard() { lock.Leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CriticalSection_CL& lock;
    };

private:
    int isInitialised = 0;
    CRITICAL_SECTION section = {};
};
