#pragma once
#include <windows.h>

// Scales pixel sizes by the screen's DPI for processes the system does not treat as
// DPI-aware; a DPI-aware process uses sizes as given.
class HighDpiHelper_CL {
public:
    HighDpiHelper_CL();  // runs the DPI probe
    HighDpiHelper_CL(int noScaling, int dpiX, int dpiY) : noScaling(noScaling), dpiX(dpiX), dpiY(dpiY) {}

    int ScaleX(int n) const { return noScaling ? n : ::MulDiv(n, dpiX, 96); }
    int ScaleY(int n) const { return noScaling ? n : ::MulDiv(n, dpiY, 96); }
    void MoveWindowScaled(HWND window, int x, int y, int width, int height, BOOL repaint) const
    {
        ::MoveWindow(window, x, y, ScaleX(width), ScaleY(height), repaint);
    }
    int IsScaling() const { return !noScaling; }

private:
    int noScaling = 1;
    int dpiX = 96;
    int dpiY = 96;
};
