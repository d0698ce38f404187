#pragma once
#include "ui/toolkit/Split_CL.h"

// The frame that owns a splitter: lays it out in the owner's client area and lets the user
// drag the bar. A finished drag posts MSG_SPLIT_MOVED (type, new position) to the owner,
// which answers with SetPosition and a new layout.
class SplitFrame_CL : public Split_CL {
public:
    explicit SplitFrame_CL(int type) : Split_CL(type) {}

    void SetOwnerWindow(HWND owner) { ownerWindow = owner; }
    // The owner passes every message here; returns 1 when it acted on it.
    int FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool IsDragging() const { return dragNode != nullptr; }

private:
    int ClampDragY(int y) const;
    void DrawDragLine(int y);
    void EraseDragLine();

    HWND ownerWindow = nullptr;
    Split_CL* dragNode = nullptr;
    Split_CL* lastDragNode = nullptr;
    RECT linePosition = {-1, 0, 0, 0};
};
