#include "core/CriticalSection_CL.h"

CriticalSection_CL::~CriticalSection_CL()
{
    if (isInitialised) ::DeleteCriticalSection(&section);
}

void CriticalSection_CL::Initialise()
{
    if (isInitialised) return;
    ::InitializeCriticalSection(&section);
    isInitialised = 1;
}
