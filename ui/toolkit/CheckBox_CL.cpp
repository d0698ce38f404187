#include "ui/toolkit/CheckBox_CL.h"

HWND CheckBox_CL::Create(HWND parent, int controlId, const std::wstring& text, int x, int y, int checked)
{
    SIZE size = MeasureText(text);
    HWND created = CreateChild(L"Button", text, BS_AUTOCHECKBOX | WS_TABSTOP, 0, parent, controlId, x, y,
                               size.cx + 32, size.cy);
    SetCheck(checked);
    return created;
}
