#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A tab control with several rows of tabs when needed.
class Tab_CL : public ControlBase_CL {
public:
    Tab_CL() : ControlBase_CL(kTab) {}
    HWND Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style);
    void AddTab(const std::wstring& text, int position, int image, LPARAM parameter);
    int GetCurSel() const;
    void SetCurSel(int index);
    int GetCount() const;
    // The display area of the window rectangle `area`, inset by `margin` on every side.
    RECT GetDisplayArea(RECT area, int margin) const;
};
