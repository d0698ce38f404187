#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A check box sized by its caption: text width + 32 by text height.
class CheckBox_CL : public ControlBase_CL {
public:
    CheckBox_CL() : ControlBase_CL(kCheckBox) {}
    HWND Create(HWND parent, int controlId, const std::wstring& text, int x, int y, int checked);
    void SetCheck(int checked) { ::SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0); }
    int GetCheck() const { return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0; }
};
