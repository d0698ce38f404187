#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A push button sized by its caption: text width + 8 by text height + 8.
class Button_CL : public ControlBase_CL {
public:
    Button_CL() : ControlBase_CL(kButton) {}
    HWND Create(HWND parent, int controlId, const std::wstring& text, int x, int y);
};
