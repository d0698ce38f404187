#pragma once
#include "ui/toolkit/ControlBase_CL.h"

class GroupBox_CL;

// Places controls one per row, top to bottom, inside an area of a dialog or page. Rows
// between BeginGroup and EndGroup sit inside a group box that is sized to hold them.
class RowLayout_CL {
public:
    static constexpr int kGap = 6;
    static constexpr int kGroupInset = 10;
    static constexpr int kGroupCaption = 18;

    RowLayout_CL(int left, int top, int width) : left(left), width(width), y(top) {}

    // The control's top-left goes to the current row (plus `indent`); the next row starts
    // below it.
    void Place(ControlBase_CL& control, int indent = 0);
    void BeginGroup(GroupBox_CL& groupBox);
    void EndGroup();
    void Skip(int pixels) { y += pixels; }
    int GetY() const { return y; }
    int GetLeft() const { return left + inset; }
    int GetWidth() const { return width - 2 * inset; }

private:
    int left;
    int width;
    int y;
    int inset = 0;
    GroupBox_CL* group = nullptr;
    int groupTop = 0;
};
