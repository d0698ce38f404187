#include "ui/toolkit/RowLayout_CL.h"

#include <algorithm>

#include "ui/toolkit/GroupBox_CL.h"

void RowLayout_CL::Place(ControlBase_CL& control, int indent)
{
    control.Move(left + inset + indent, y, TRUE);
    y += control.GetHeight() + kGap;
}

void RowLayout_CL::BeginGroup(GroupBox_CL& groupBox)
{
    group = &groupBox;
    groupTop = y;
    group->Move(left, y, TRUE);
    inset = kGroupInset;
    // Room for the caption in the box's own font: larger fonts (high DPI) need more.
    y += std::max<int>(kGroupCaption, groupBox.MeasureText(L"\xFF37").cy + kGap);
}

void RowLayout_CL::EndGroup()
{
    if (!group) return;
    y += kGroupInset - kGap;
    group->Resize(width, y - groupTop, TRUE);
    group->SendToBottom();
    group = nullptr;
    inset = 0;
    y += kGap;
}
