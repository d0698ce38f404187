#include "ui/toolkit/Edit_CL.h"

HWND Edit_CL::Create(HWND parent, int controlId, int x, int y, int columns, int rows, DWORD style)
{
    DWORD editStyle = style == kMultiLine ? ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP
                                          : style | WS_TABSTOP;
    SIZE w = MeasureText(L"W"), m = MeasureText(L"M");
    return CreateChild(L"Edit", L"", editStyle, WS_EX_CLIENTEDGE, parent, controlId, x, y, columns * w.cx + 6,
                       rows * m.cy + 6);
}
