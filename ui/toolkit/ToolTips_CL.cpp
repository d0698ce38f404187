#include "ui/toolkit/ToolTips_CL.h"

ToolTips_CL::~ToolTips_CL()
{
    if (tooltip) ::DestroyWindow(tooltip);
}

HWND ToolTips_CL::Create(HWND owner)
{
    tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | styleBits, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    return tooltip;
}

void ToolTips_CL::AddTool(HWND window, const RECT& area, const std::wstring& text)
{
    texts.push_back(text);
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = static_cast<UINT_PTR>(texts.size());
    tool.rect = area;
    tool.lpszText = texts.back().data();
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

int ToolTips_CL::GetToolCount() const
{
    return static_cast<int>(::SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
}

void ToolTips_CL::DeleteAllTools()
{
    for (int index = GetToolCount() - 1; index >= 0; --index) {
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        if (::SendMessageW(tooltip, TTM_ENUMTOOLSW, index, reinterpret_cast<LPARAM>(&tool)))
            ::SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    texts.clear();
}

void ToolTips_CL::SetMargins(int pixels)
{
    RECT margins = {pixels, pixels, pixels, pixels};
    ::SendMessageW(tooltip, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margins));
}

void ToolTips_CL::SetMaxTipWidth(int pixels)
{
    ::SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, pixels);
}

void ToolTips_CL::ShowTextOver(HWND window, const std::wstring& text, int maxTipWidth)
{
    DeleteAllTools();
    RECT client;
    ::GetClientRect(window, &client);
    AddTool(window, client, text);
    SetMargins(5);
    SetMaxTipWidth(maxTipWidth);
}
