#include "ui/toolkit/SubClassWindowBase_CL.h"

HWND SubClassWindowBase_CL::Create(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                                   int x, int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                   void* parameter)
{
    HWND created = ::CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, menu, instance,
                                     parameter);
    if (created) Attach(created);
    return created;
}

void SubClassWindowBase_CL::Attach(HWND window)
{
    hwnd = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    originalProc =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SharedProc)));
}

LRESULT SubClassWindowBase_CL::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC original = originalProc;
    if (message == WM_DESTROY) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        originalProc = nullptr;
    }
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT CALLBACK SubClassWindowBase_CL::SharedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SubClassWindowBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self->WindowProc(window, message, wParam, lParam);
}
