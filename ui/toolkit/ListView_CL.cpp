#include "ui/toolkit/ListView_CL.h"

#include <commctrl.h>

HWND ListView_CL::Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style)
{
    return CreateChild(WC_LISTVIEWW, L"", style | LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL,
                       0, parent, controlId, x, y, width, height);
}

int ListView_CL::GetItemCount() const
{
    return static_cast<int>(::SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0));
}

void ListView_CL::DeleteAllItems()
{
    ::SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
}

void ListView_CL::DeleteItem(int item)
{
    ::SendMessageW(hwnd, LVM_DELETEITEM, item, 0);
}

int ListView_CL::GetNextItem(int start, UINT flags) const
{
    return static_cast<int>(::SendMessageW(hwnd, LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0)));
}

int ListView_CL::GetCheckState(int item) const
{
    UINT state = static_cast<UINT>(::SendMessageW(hwnd, LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK));
    return static_cast<int>(state >> 12) - 1;
}

void ListView_CL::SetCheckState(int item, int checked)
{
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    ::SendMessageW(hwnd, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

void ListView_CL::SetExtendedStyle(DWORD style)
{
    ::SendMessageW(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, style, style);
}

int ListView_CL::AddColumn(const std::wstring& text, int format, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    column.iSubItem = columnCount;
    int index = static_cast<int>(::SendMessageW(hwnd, LVM_INSERTCOLUMNW, columnCount, reinterpret_cast<LPARAM>(&column)));
    if (index >= 0) ++columnCount;
    return index;
}

void ListView_CL::DeleteLastColumn()
{
    if (columnCount > 0 && ::SendMessageW(hwnd, LVM_DELETECOLUMN, columnCount - 1, 0)) --columnCount;
}

void ListView_CL::SetItem(int item, int subItem, const std::wstring& text, int image)
{
    LVITEMW cell = {};
    cell.mask = LVIF_TEXT | LVIF_IMAGE;
    cell.iItem = item;
    cell.iSubItem = subItem;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    cell.iImage = image;
    ::SendMessageW(hwnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
}

int ListView_CL::PutCell(int item, int subItem, const std::wstring& text, int image, LPARAM parameter)
{
    if (subItem > 0) {
        SetItem(item, subItem, text, image);
        return item;
    }
    LVITEMW cell = {};
    cell.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    cell.iItem = item;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    cell.iImage = image;
    cell.lParam = parameter;
    return static_cast<int>(::SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&cell)));
}

std::wstring ListView_CL::GetItemText(int item, int subItem) const
{
    wchar_t buffer[4096] = {};
    LVITEMW cell = {};
    cell.iSubItem = subItem;
    cell.pszText = buffer;
    cell.cchTextMax = 4096;
    ::SendMessageW(hwnd, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
    return buffer;
}

LPARAM ListView_CL::GetItemParam(int item) const
{
    LVITEMW cell = {};
    cell.mask = LVIF_PARAM;
    cell.iItem = item;
    ::SendMessageW(hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    return cell.lParam;
}

void ListView_CL::SetItemParam(int item, LPARAM parameter)
{
    LVITEMW cell = {};
    cell.mask = LVIF_PARAM;
    cell.iItem = item;
    cell.lParam = parameter;
    ::SendMessageW(hwnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
}

int ListView_CL::FindItemByParam(LPARAM parameter) const
{
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = parameter;
    return static_cast<int>(::SendMessageW(hwnd, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

void ListView_CL::SortItems(PFNLVCOMPARE compare, LPARAM context)
{
    ::SendMessageW(hwnd, LVM_SORTITEMS, static_cast<WPARAM>(context), reinterpret_cast<LPARAM>(compare));
}

void ListView_CL::SetSortArrow(int column, SortArrow arrow)
{
    HWND header = reinterpret_cast<HWND>(::SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
    const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column && arrow != kNoArrow) item.fmt |= arrow == kAscending ? HDF_SORTUP : HDF_SORTDOWN;
        ::SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

POINT ListView_CL::MenuPointForFocusedItem() const
{
    POINT point = {0, 0};
    const int item = GetNextItem(-1, LVNI_FOCUSED);
    RECT bounds = {};
    bounds.left = LVIR_LABEL;
    if (item >= 0 && ::SendMessageW(hwnd, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&bounds)))
        point = POINT{bounds.left, bounds.bottom};
    ::ClientToScreen(hwnd, &point);
    return point;
}

void ListView_CL::SetCueText(const std::wstring& text)
{
    cueText = text;
    if (!originalProc) Subclass(nullptr);
    ::InvalidateRect(hwnd, nullptr, TRUE);
}

void ListView_CL::DrawCueText()
{
    RECT area;
    ::GetClientRect(hwnd, &area);
    HWND header = reinterpret_cast<HWND>(::SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
    RECT headerRect = {};
    if (header && ::IsWindowVisible(header)) ::GetWindowRect(header, &headerRect);
    area.top += headerRect.bottom - headerRect.top;
    HDC dc = ::GetDC(hwnd);
    HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    ::DrawTextW(dc, cueText.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(hwnd, dc);
}

LRESULT ListView_CL::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = ControlBase_CL::OnMessage(window, message, wParam, lParam);
    if (cueText.empty() || handled) return result;
    switch (message) {
    case LVM_INSERTITEMW:
    case LVM_DELETEITEM:
    case LVM_DELETEALLITEMS:
        // The first item must wipe the hint, the last one gone bring it back: the list
        // itself repaints only the rows that changed.
        ::InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_PAINT:
        if (GetItemCount() > 0) break;
        ::CallWindowProcW(originalProc, window, message, wParam, lParam);
        DrawCueText();
        SetHandled(1);
        return 0;
    }
    return result;
}
