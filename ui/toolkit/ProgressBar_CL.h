#pragma once
#include <commctrl.h>

#include "ui/toolkit/ControlBase_CL.h"

// A progress bar; it keeps the system's font.
class ProgressBar_CL : public ControlBase_CL {
public:
    ProgressBar_CL() : ControlBase_CL(kProgressBar) {}
    HWND Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style)
    {
        return CreateChild(PROGRESS_CLASSW, L"", style, 0, parent, controlId, x, y, width, height, false);
    }
    void SetRange(int minimum, int maximum) { ::SendMessageW(hwnd, PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum)); }
    void SetPos(int position) { ::SendMessageW(hwnd, PBM_SETPOS, position, 0); }
    int GetPos() const { return static_cast<int>(::SendMessageW(hwnd, PBM_GETPOS, 0, 0)); }
};
