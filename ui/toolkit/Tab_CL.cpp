#include "ui/toolkit/Tab_CL.h"

#include <commctrl.h>

HWND Tab_CL::Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style)
{
    return CreateChild(WC_TABCONTROLW, L"", style | TCS_MULTILINE, WS_EX_CLIENTEDGE, parent, controlId, x, y, width,
                       height);
}

void Tab_CL::AddTab(const std::wstring& text, int position, int image, LPARAM parameter)
{
    TCITEMW item = {};
    item.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_PARAM;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.lParam = parameter;
    int at = position < 0 ? GetCount() : position;
    ::SendMessageW(hwnd, TCM_INSERTITEMW, at, reinterpret_cast<LPARAM>(&item));
}

int Tab_CL::GetCurSel() const
{
    return static_cast<int>(::SendMessageW(hwnd, TCM_GETCURSEL, 0, 0));
}

void Tab_CL::SetCurSel(int index)
{
    ::SendMessageW(hwnd, TCM_SETCURSEL, index, 0);
}

int Tab_CL::GetCount() const
{
    return static_cast<int>(::SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0));
}

RECT Tab_CL::GetDisplayArea(RECT area, int margin) const
{
    ::SendMessageW(hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::InflateRect(&area, -margin, -margin);
    return area;
}
