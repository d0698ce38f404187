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
