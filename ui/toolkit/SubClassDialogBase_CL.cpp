#include "ui/toolkit/SubClassDialogBase_CL.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstring>

SubClassDialogBase_CL::~SubClassDialogBase_CL() = default;

const DLGTEMPLATE* SubClassDialogBase_CL::BuildTemplate()
{
    if (!dialogTemplate) dialogTemplate = std::make_unique<uint8_t[]>(kTemplateBytes);
    memset(dialogTemplate.get(), 0, kTemplateBytes);
    // A DLGTEMPLATE with no items; the menu, class and title words after it stay zero.
    auto* header = reinterpret_cast<DLGTEMPLATE*>(dialogTemplate.get());
    header->style = templateStyle;
    header->cx = kTemplateWidth;
    header->cy = kTemplateHeight;
    return header;
}

INT_PTR SubClassDialogBase_CL::DoModal(HWND owner)
{
    const DLGTEMPLATE* dialog = BuildTemplate();
    parent = owner;
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog, owner, &ModalProc,
                                     reinterpret_cast<LPARAM>(this));
}

INT_PTR SubClassDialogBase_CL::DialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) {
        ::EndDialog(window, 0);
        return TRUE;
    }
    if (message == WM_INITDIALOG) ::ShowWindow(window, SW_SHOW);
    return FALSE;
}

void SubClassDialogBase_CL::Initialise(HWND window, HWND handleForOwner)
{
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    hwnd = window;
    if (handleOut) *handleOut = handleForOwner;
    dc = ::GetDC(window);
    dialogFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), TRUE);
}

INT_PTR SubClassDialogBase_CL::Dispatch(SubClassDialogBase_CL* self, HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam)
{
    if (!self) return FALSE;
    INT_PTR result = self->DialogProc(window, message, wParam, lParam);
    if (message == WM_DESTROY && self->dc) {
        ::ReleaseDC(window, self->dc);
        self->dc = nullptr;
    }
    return result;
}

INT_PTR CALLBACK SubClassDialogBase_CL::ModalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SubClassDialogBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self && message == WM_INITDIALOG) {
        self = reinterpret_cast<SubClassDialogBase_CL*>(lParam);
        self->Initialise(window, window);
    }
    return Dispatch(self, window, message, wParam, lParam);
}

INT_PTR CALLBACK SubClassDialogBase_CL::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SubClassDialogBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self && message == WM_INITDIALOG) {
        self = reinterpret_cast<SubClassDialogBase_CL*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        self->parent = ::GetParent(window);
        self->Initialise(window, self->parent);
    }
    return Dispatch(self, window, message, wParam, lParam);
}

void SubClassDialogBase_CL::ChangeStyle(DWORD add, DWORD keepMask)
{
    DWORD old = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, add | (keepMask & old));
}

void SubClassDialogBase_CL::CenterOver(HWND reference, HWND dialog, bool useScreen)
{
    ::SetParent(dialog, nullptr);
    RECT area;
    bool minimised = reference && (::GetWindowLongPtrW(reference, GWL_STYLE) & WS_MINIMIZE);
    if (!reference || minimised || useScreen)
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXFULLSCREEN), ::GetSystemMetrics(SM_CYFULLSCREEN)};
    else
        ::GetWindowRect(reference, &area);
    RECT window, client;
    ::GetWindowRect(dialog, &window);
    ::GetClientRect(dialog, &client);
    POINT clientOrigin = {0, 0};
    ::ClientToScreen(dialog, &clientOrigin);
    // Place the client area's centre on the area's centre; the frame goes where it falls.
    int x = area.left + (area.right - area.left - client.right) / 2 - (clientOrigin.x - window.left);
    int y = area.top + (area.bottom - area.top - client.bottom) / 2 - (clientOrigin.y - window.top);
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

SubClassDialogBase_CL::PageArea SubClassDialogBase_CL::GetPageArea() const
{
    PageArea page = {};
    HWND tab = reinterpret_cast<HWND>(::SendMessageW(parent, PSM_GETTABCONTROL, 0, 0));
    ::GetClientRect(tab, &page.rect);
    ::SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page.rect));
    ::OffsetRect(&page.rect, -page.rect.left, -page.rect.top);
    page.width = page.rect.right;
    page.height = page.rect.bottom;

    HDC screen = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(screen, ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE cell = {};
    ::GetTextExtentPoint32W(screen, L"\xFF37", 1, &cell);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    page.cellWidth = cell.cx;
    page.cellHeight = cell.cy;
    return page;
}
