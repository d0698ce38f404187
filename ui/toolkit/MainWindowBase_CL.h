#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A top-level window whose messages reach virtual operations of the object.
class MainWindowBase_CL : public ControlBase_CL {
public:
    MainWindowBase_CL();
    virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    ~MainWindowBase_CL() override;
    virtual void OnDestroy() {}
    // 0 keeps the window open.
    virtual int OnClose() { return 1; }
    virtual void OnCreate(CREATESTRUCTW*) {}
    virtual void OnSize() {}
    virtual void OnPaint() {}
    virtual HWND Create();
    virtual void SetClassName(const std::wstring& text) { className = text; }
    virtual void SetWindowTitle(const std::wstring& text) { windowTitle = text; }
    virtual void SetIcon(HICON newIcon) { icon = newIcon; }

protected:
    int useHiddenOwner = 0;
    HICON icon = nullptr;
    std::wstring className = L"MainWindowClass";
    std::wstring windowTitle = L"WindowName";
    DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    HMENU menu = nullptr;
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    int width = 640;
    int height = 480;
    HWND parent = nullptr;

private:
    static LRESULT CALLBACK SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterClassOnce(const std::wstring& name, WNDPROC procedure);

    HWND hiddenOwner = nullptr;
};
