#include "ui/toolkit/ComboBox_CL.h"

#include <commctrl.h>

HWND ComboBox_CL::Create(HWND parent, int controlId, int x, int y, int columns, int rows, DWORD style)
{
    DWORD comboStyle = style ? style | CBS_DROPDOWN | WS_TABSTOP
                             : CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
    SIZE w = MeasureText(L"W"), m = MeasureText(L"M");
    return CreateChild(WC_COMBOBOXEXW, L"", comboStyle, 0, parent, controlId, x, y, columns * w.cx, rows * m.cy);
}

void ComboBox_CL::AddItem(const std::wstring& text, int image)
{
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
    item.iItem = -1;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.iSelectedImage = image;
    ::SendMessageW(hwnd, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}
