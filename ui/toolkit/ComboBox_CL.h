#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// An extended combo box (items with images) sized in characters.
class ComboBox_CL : public ControlBase_CL {
public:
    ComboBox_CL() : ControlBase_CL(kComboBox) {}
    HWND Create(HWND parent, int controlId, int x, int y, int columns, int rows, DWORD style);
    void AddItem(const std::wstring& text, int image);
    int GetCount() const { return static_cast<int>(::SendMessageW(hwnd, CB_GETCOUNT, 0, 0)); }
    int GetCurSel() const { return static_cast<int>(::SendMessageW(hwnd, CB_GETCURSEL, 0, 0)); }
    void SetCurSel(int index) { ::SendMessageW(hwnd, CB_SETCURSEL, index, 0); }
};
