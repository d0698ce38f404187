#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A label sized by its text.
class StaticText_CL : public ControlBase_CL {
public:
    StaticText_CL() : ControlBase_CL(kStaticText) {}
    HWND Create(HWND parent, int controlId, const std::wstring& text, int x, int y)
    {
        SIZE size = MeasureText(text);
        return CreateChild(L"Static", text, 0, 0, parent, controlId, x, y, size.cx, size.cy);
    }
};
