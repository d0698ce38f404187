#include "ui/toolkit/MainWindowBase_CL.h"

MainWindowBase_CL::MainWindowBase_CL() : ControlBase_CL(kMainWindow) {}

MainWindowBase_CL::~MainWindowBase_CL()
{
    if (hiddenOwner) ::DestroyWindow(hiddenOwner);
}

bool MainWindowBase_CL::RegisterClassOnce(const std::wstring& name, WNDPROC procedure)
{
    WNDCLASSEXW windowClass = {sizeof(windowClass)};
    if (::GetClassInfoExW(Instance(), name.c_str(), &windowClass)) return true;
    windowClass = {sizeof(windowClass)};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = Instance();
    windowClass.hIcon = icon;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name.c_str();
    return ::RegisterClassExW(&windowClass) != 0;
}

HWND MainWindowBase_CL::Create()
{
    DWORD windowStyle = style;
    HWND owner = parent;
    if (useHiddenOwner) {
        std::wstring shadowClass = className + L"_SHARDOW";
        if (!RegisterClassOnce(shadowClass, ::DefWindowProcW)) return nullptr;
        hiddenOwner = ::CreateWindowExW(0, shadowClass.c_str(), (windowTitle + L"_SHARDOW").c_str(),
                                        style & ~WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                                        nullptr, Instance(), nullptr);
        windowStyle |= WS_POPUP;
        owner = hiddenOwner;
    }
    if (!RegisterClassOnce(className, &SharedWindowProc)) return nullptr;
    return ::CreateWindowExW(0, className.c_str(), windowTitle.c_str(), windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                             width, height, owner, menu, Instance(), this);
}

LRESULT CALLBACK MainWindowBase_CL::SharedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<MainWindowBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        // Messages before WM_CREATE (WM_NCCREATE and friends) have no object yet.
        if (message != WM_CREATE) return ::DefWindowProcW(window, message, wParam, lParam);
        self = static_cast<MainWindowBase_CL*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = window;
    }
    return self->WindowProc(window, message, wParam, lParam);
}

LRESULT MainWindowBase_CL::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
        break;
    case WM_DESTROY:
        OnDestroy();
        ::PostQuitMessage(0);
        break;
    case WM_SIZE:
        OnSize();
        break;
    case WM_PAINT:
        OnPaint();
        break;
    case WM_CLOSE:
        if (OnClose() == 0) return 0;
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
