#pragma once
#include <windows.h>

#include "ui/toolkit/ToolTips_CL.h"

class ListView_CL;

// The hover tip of a list view: whenever the cursor comes over another cell, the tip shows
// that cell's whole text (margins 5, at most 320 pixels wide).
class ListHoverTip_CL {
public:
    static constexpr int kMaxTipWidth = 320;

    ListHoverTip_CL() = default;
    ~ListHoverTip_CL();
    ListHoverTip_CL(const ListHoverTip_CL&) = delete;
    ListHoverTip_CL& operator=(const ListHoverTip_CL&) = delete;

    // Creates the tip owned by `owner` and watches the list's mouse moves.
    void Attach(HWND owner, ListView_CL& list);
    // The rows changed: the next hover shows its cell's text even over the same cell.
    void Reset();
    HWND GetTipWindow() const { return tip.GetHwnd(); }

private:
    static LRESULT OnListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnMouseMove(POINT point);

    ToolTips_CL tip;
    ListView_CL* list = nullptr;
    POINT lastCell = {-1, -1};
};
