#include "ui/toolkit/ControlBase_CL.h"

ControlBase_CL::ControlBase_CL(int kind) : kind(kind), font(static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT))) {}

ControlBase_CL::~ControlBase_CL() = default;

HINSTANCE ControlBase_CL::Instance()
{
    return ::GetModuleHandleW(nullptr);
}

LRESULT ControlBase_CL::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return handler ? handler(window, message, wParam, lParam) : 0;
}

HWND ControlBase_CL::CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
                                 HWND parent, int controlId, int x, int y, int width, int height, bool setFont)
{
    id = controlId;
    hwnd = ::CreateWindowExW(exStyle, className, text.c_str(), style | kChildStyle, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), Instance(), this);
    if (hwnd && setFont) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return hwnd;
}

std::wstring ControlBase_CL::GetText() const
{
    std::wstring text(::GetWindowTextLengthW(hwnd) + 1, L'\0');
    text.resize(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())));
    return text;
}

void ControlBase_CL::SetId(int newId)
{
    id = newId;
    ::SetWindowLongPtrW(hwnd, GWLP_ID, newId);
}

RECT ControlBase_CL::GetRect() const
{
    RECT window = {};
    ::GetWindowRect(hwnd, &window);
    POINT origin = {window.left, window.top};
    ::ScreenToClient(::GetParent(hwnd), &origin);
    return RECT{origin.x, origin.y, window.right - window.left, window.bottom - window.top};
}

int ControlBase_CL::GetWidth() const
{
    return GetRect().right;
}

int ControlBase_CL::GetHeight() const
{
    return GetRect().bottom;
}

void ControlBase_CL::Resize(int width, int height, BOOL repaint)
{
    RECT rect = GetRect();
    ::MoveWindow(hwnd, rect.left, rect.top, width, height, repaint);
}

void ControlBase_CL::Move(int x, int y, BOOL repaint)
{
    RECT rect = GetRect();
    ::MoveWindow(hwnd, x, y, rect.right, rect.bottom, repaint);
}

void ControlBase_CL::MoveX(int x, BOOL repaint)
{
    Move(x, GetRect().top, repaint);
}

void ControlBase_CL::MoveY(int y, BOOL repaint)
{
    Move(GetRect().left, y, repaint);
}

SIZE ControlBase_CL::MeasureText(const std::wstring& text) const
{
    HDC screen = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(screen, font);
    RECT bounds = {0, 0, 32768, 32768};
    ::DrawTextW(screen, text.c_str(), -1, &bounds, DT_CALCRECT);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

void ControlBase_CL::SetSizeInChars(int columns, int rows, int extraWidth, int extraHeight)
{
    SIZE w = MeasureText(L"W"), m = MeasureText(L"M");
    ::SetWindowPos(hwnd, nullptr, 0, 0, columns * w.cx + extraWidth, rows * m.cy + extraHeight,
                   SWP_NOMOVE | SWP_NOZORDER);
}

void ControlBase_CL::SetFontScale(float scale, int weight)
{
    LOGFONTW metrics = {};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(metrics), &metrics);
    metrics.lfHeight = static_cast<LONG>(metrics.lfHeight * scale);
    metrics.lfWidth = static_cast<LONG>(metrics.lfWidth * scale);
    metrics.lfWeight = weight;
    HFONT created = ::CreateFontIndirectW(&metrics);
    if (!created) return;
    font = created;
    if (hwnd) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    scaledFont.Reset(created);  // the control no longer uses the previous one
}

void ControlBase_CL::ChangeStyle(DWORD add, DWORD keepMask)
{
    DWORD old = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, add | (keepMask & old));
}

void ControlBase_CL::ChangeExStyle(DWORD add, DWORD keepMask)
{
    DWORD old = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, add | (keepMask & old));
}

void ControlBase_CL::Subclass(Handler newHandler)
{
    handler = newHandler;
    if (originalProc) return;  // already routed here: a second time would route to itself
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    originalProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

void ControlBase_CL::Unsubclass()
{
    if (!originalProc) return;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc));
    originalProc = nullptr;
    handler = nullptr;
}

LRESULT CALLBACK ControlBase_CL::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<ControlBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return 0;
    self->handled = 0;
    LRESULT result = self->OnMessage(window, message, wParam, lParam);
    if (message == WM_DESTROY) {
        // The original procedure never sees WM_DESTROY: it gets its procedure back instead.
        WNDPROC original = self->originalProc;
        if (original) ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        self->originalProc = nullptr;
        return result;
    }
    if (!self->handled) return ::CallWindowProcW(self->originalProc, window, message, wParam, lParam);
    return result;
}
