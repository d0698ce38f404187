#include "ui/toolkit/Button_CL.h"

HWND Button_CL::Create(HWND parent, int controlId, const std::wstring& text, int x, int y)
{
    SIZE size = MeasureText(text);
    return CreateChild(L"Button", text, WS_TABSTOP | BS_PUSHBUTTON, 0, parent, controlId, x, y, size.cx + 8, size.cy + 8);
}
