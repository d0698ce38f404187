#include "core/Semapho_CL.h"

Semapho_CL::Semapho_CL() : handle(::CreateSemaphoreW(nullptr, 1, 1, nullptr)) {}

Semapho_CL::Lock_CL::Lock_CL(Semapho_CL& semaphore, const wchar_t* siteName, DWORD timeoutMs)
    : handle(semaphore.GetHandle())
{
    if (::WaitForSingleObject(handle, timeoutMs) != WAIT_TIMEOUT) return;
    ::MessageBoxW(nullptr, siteName, L"セマフォタイムアウト", MB_OK);
    ::WaitForSingleObject(handle, INFINITE);
}

Semapho_CL::Lock_CL::~Lock_CL()
{
    ::ReleaseSemaphore(handle, 1, nullptr);
}
