#include "ui/toolkit/ListHoverTip_CL.h"

#include <windowsx.h>

#include "ui/toolkit/ListView_CL.h"

namespace {
const wchar_t kTipProperty[] = L"QuillmereListHoverTip";
}

ListHoverTip_CL::~ListHoverTip_CL()
{
    if (list && ::IsWindow(list->GetHwnd())) ::RemovePropW(list->GetHwnd(), kTipProperty);
}

void ListHoverTip_CL::Attach(HWND owner, ListView_CL& view)
{
    list = &view;
    tip.Create(owner);
    ::SetPropW(view.GetHwnd(), kTipProperty, this);
    view.Subclass(&OnListMessage);
}

void ListHoverTip_CL::Reset()
{
    lastCell = POINT{-1, -1};
    tip.DeleteAllTools();
}

void ListHoverTip_CL::OnMouseMove(POINT point)
{
    LVHITTESTINFO hit = {};
    hit.pt = point;
    if (::SendMessageW(list->GetHwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 || hit.iItem < 0)
        return;
    if (lastCell.x == hit.iItem && lastCell.y == hit.iSubItem) return;
    lastCell = POINT{hit.iItem, hit.iSubItem};
    tip.ShowTextOver(list->GetHwnd(), list->GetItemText(hit.iItem, hit.iSubItem), kMaxTipWidth);
}

LRESULT ListHoverTip_CL::OnListMessage(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_MOUSEMOVE) return 0;
    if (auto* self = static_cast<ListHoverTip_CL*>(::GetPropW(window, kTipProperty)))
        self->OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return 0;
}
