#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A captioned frame around a group of controls. Once its controls exist it must go to the
// bottom of its siblings' z-order (SendToBottom; RowLayout_CL::EndGroup does it): every
// control clips its siblings, and a frame above the controls would hide them. New child
// windows join at the bottom, so a frame created first starts above them.
class GroupBox_CL : public ControlBase_CL {
public:
    GroupBox_CL() : ControlBase_CL(kGroupBox) {}
    HWND Create(HWND parent, int controlId, const std::wstring& text, int x, int y, int width, int height)
    {
        return CreateChild(L"Button", text, BS_GROUPBOX, 0, parent, controlId, x, y, width, height);
    }
    void SendToBottom() { ::SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE); }
};
