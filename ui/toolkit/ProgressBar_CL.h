#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/toolkit/ControlBase_CL.h"

// A progress bar; it keeps the system's font. It can show a line of text over the bar
// (its window text, centred), for a phase whose count says more than the bar alone.
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
    // Empty: the plain bar again.
    void SetOverlayText(const std::wstring& text);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void PaintWithText();
};
