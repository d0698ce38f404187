#include "ui/toolkit/ToolBar_CL.h"

HWND ToolBar_CL::Create(HWND parent, DWORD style, int id)
{
    HWND created = ::CreateToolbarEx(parent, style | 0x10, id, 0, nullptr, 0, nullptr, 0, 0, 0, 0, 0, sizeof(TBBUTTON));
    if (!created) return nullptr;
    ::SendMessageW(created, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    toolTips.Create(parent);
    Attach(created);
    return created;
}

void ToolBar_CL::SetImageList(HIMAGELIST imageList)
{
    auto previous = reinterpret_cast<HIMAGELIST>(::SendMessageW(hwnd, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList)));
    if (previous && previous != imageList) ImageList_Destroy(previous);
}

int ToolBar_CL::GetButtonCount() const
{
    return static_cast<int>(::SendMessageW(hwnd, TB_BUTTONCOUNT, 0, 0));
}

void ToolBar_CL::AddButton(const TBBUTTON& button, const std::wstring& tooltipText)
{
    int index = GetButtonCount();
    ::SendMessageW(hwnd, TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&button));
    ::SendMessageW(hwnd, TB_AUTOSIZE, 0, 0);
    if (!tooltipText.empty()) {
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_TEXT | TBIF_BYINDEX;
        info.pszText = const_cast<wchar_t*>(tooltipText.c_str());
        ::SendMessageW(hwnd, TB_SETBUTTONINFOW, index, reinterpret_cast<LPARAM>(&info));
    }
    buttons.push_back(ButtonRecord{button, tooltipText, index});
    RebuildToolTips();
}

void ToolBar_CL::AddSeparator(int width)
{
    TBBUTTON separator = {};
    separator.iBitmap = width;
    separator.fsStyle = BTNS_SEP;
    AddButton(separator, L"");
}

void ToolBar_CL::RebuildToolTips()
{
    toolTips.DeleteAllTools();
    for (const ButtonRecord& record : buttons) {
        if (record.text.empty()) continue;
        RECT area = {};
        ::SendMessageW(hwnd, TB_GETITEMRECT, record.index, reinterpret_cast<LPARAM>(&area));
        toolTips.AddTool(hwnd, area, record.text);
    }
    toolTips.SetMargins(5);
    toolTips.SetMaxTipWidth(640);
}
