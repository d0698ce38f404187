#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// An edit box sized in characters. The style -1 asks for a multi-line box with a
// vertical scroll bar.
class Edit_CL : public ControlBase_CL {
public:
    static constexpr DWORD kMultiLine = static_cast<DWORD>(-1);

    Edit_CL() : ControlBase_CL(kEdit) {}
    HWND Create(HWND parent, int controlId, int x, int y, int columns, int rows, DWORD style);
    void LimitText(int characters) { ::SendMessageW(hwnd, EM_LIMITTEXT, characters, 0); }
};
