#include "ui/toolkit/PropertySheetHost.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/toolkit/SubClassDialogBase_CL.h"

void PropertySheetHost::AddPage(SubClassDialogBase_CL& page, const std::wstring& title)
{
    page.SetHandleOut(ownerHandle);
    pages.push_back(PageRecord{&page, title});
}

INT_PTR PropertySheetHost::Show(HWND parentWindow, const std::wstring& caption)
{
    std::vector<HPROPSHEETPAGE> handles;
    for (PageRecord& record : pages) {
        PROPSHEETPAGEW sheetPage = {};
        sheetPage.dwSize = sizeof(sheetPage);
        sheetPage.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
        sheetPage.hInstance = ::GetModuleHandleW(nullptr);
        sheetPage.pResource = record.page->BuildTemplate();
        sheetPage.pfnDlgProc = &SubClassDialogBase_CL::PageProc;
        sheetPage.lParam = reinterpret_cast<LPARAM>(record.page);
        sheetPage.pszTitle = record.title.c_str();
        HPROPSHEETPAGE handle = ::CreatePropertySheetPageW(&sheetPage);
        if (!handle) {
            for (HPROPSHEETPAGE created : handles) ::DestroyPropertySheetPage(created);
            return E_FAIL;
        }
        handles.push_back(handle);
    }

    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_USECALLBACK;
    header.hwndParent = parentWindow;
    header.pszCaption = caption.c_str();
    header.hInstance = ::GetModuleHandleW(nullptr);
    header.pszIcon = L"SMALL";
    header.nPages = static_cast<UINT>(handles.size());
    header.phpage = handles.data();
    header.pfnCallback = &SheetCallback;
    return ::PropertySheetW(&header);
}

int CALLBACK PropertySheetHost::SheetCallback(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        LONG_PTR original = ::SetWindowLongPtrW(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SheetProc));
        ::SetWindowLongPtrW(sheet, GWLP_USERDATA, original);
    }
    return 0;
}

LRESULT CALLBACK PropertySheetHost::SheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(sheet, GWLP_USERDATA));
    if (message == WM_SHOWWINDOW && wParam) {
        RECT sheetRect, parentRect;
        HWND owner = ::GetWindow(sheet, GW_OWNER);
        if (owner && ::GetWindowRect(owner, &parentRect) && ::GetWindowRect(sheet, &sheetRect)) {
            const int width = sheetRect.right - sheetRect.left, height = sheetRect.bottom - sheetRect.top;
            int x = parentRect.left + ((parentRect.right - parentRect.left) - width) / 2;
            int y = parentRect.top + ((parentRect.bottom - parentRect.top) - height) / 2;
            // A sheet larger than its parent (large fonts, high DPI) stays on the screen.
            MONITORINFO monitor = {sizeof(monitor)};
            if (::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
                const RECT& work = monitor.rcWork;
                x = std::max<int>(work.left, std::min<int>(x, work.right - width));
                y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
            }
            ::SetWindowPos(sheet, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return ::CallWindowProcW(original, sheet, message, wParam, lParam);
}
