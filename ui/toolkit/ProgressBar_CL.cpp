#include "ui/toolkit/ProgressBar_CL.h"

void ProgressBar_CL::SetOverlayText(const std::wstring& text)
{
    if (!originalProc) {
        if (text.empty()) return;  // the plain bar it is
        Subclass(nullptr);
    }
    SetText(text);
    ::InvalidateRect(hwnd, nullptr, TRUE);
}

void ProgressBar_CL::PaintWithText()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    // The bar draws itself into the given DC, then the text goes over it.
    ::CallWindowProcW(originalProc, hwnd, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    const std::wstring text = GetText();
    RECT client;
    ::GetClientRect(hwnd, &client);
    HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
    ::EndPaint(hwnd, &paint);
}

LRESULT ProgressBar_CL::OnMessage(HWND, UINT message, WPARAM wParam, LPARAM)
{
    // A paint into a given DC (WM_PRINTCLIENT's way) is the bar's own.
    if (message != WM_PAINT || wParam != 0 || ::GetWindowTextLengthW(hwnd) == 0) return 0;
    PaintWithText();
    SetHandled(1);
    return 0;
}
