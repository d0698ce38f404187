#pragma once
#include <windows.h>

// A window created and subclassed in one step; its messages reach WindowProc, which by
// default hands them to the class's own procedure.
class SubClassWindowBase_CL {
public:
    SubClassWindowBase_CL() = default;
    virtual ~SubClassWindowBase_CL() = default;
    virtual HWND Create(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x, int y,
                        int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* parameter);
    virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    SubClassWindowBase_CL(const SubClassWindowBase_CL&) = delete;
    SubClassWindowBase_CL& operator=(const SubClassWindowBase_CL&) = delete;

    HWND GetHwnd() const { return hwnd; }

protected:
    // Subclasses a window created elsewhere (CreateToolbarEx makes its own).
    void Attach(HWND window);

    HWND hwnd = nullptr;
    WNDPROC originalProc = nullptr;

private:
    static LRESULT CALLBACK SharedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
