#include "ui/toolkit/HighDpiHelper_CL.h"

#include "core/DllFunction_CL.h"

HighDpiHelper_CL::HighDpiHelper_CL()
{
    noScaling = 0;
    OSVERSIONINFOW version = {sizeof(version)};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&version);
#pragma GCC diagnostic pop
    if (version.dwMajorVersion > 5) {
        DllFunction_CL shcore(L"SHCore.dll"), user32(L"user32.dll");
        using GetAwareness = HRESULT(WINAPI*)(HANDLE, int*);
        using IsAware = BOOL(WINAPI*)();
        auto getAwareness = reinterpret_cast<GetAwareness>(reinterpret_cast<void*>(shcore.GetFunction("GetProcessDpiAwareness")));
        auto isAware = reinterpret_cast<IsAware>(reinterpret_cast<void*>(user32.GetFunction("IsProcessDPIAware")));
        int awareness = 0;
        if (getAwareness) {
            if (SUCCEEDED(getAwareness(::GetCurrentProcess(), &awareness))) noScaling = awareness != 0;
        } else if (isAware) {
            noScaling = isAware() ? 1 : 0;
        }
    }
    if (!noScaling) {
        HDC screen = ::GetDC(nullptr);
        dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
        dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
}
