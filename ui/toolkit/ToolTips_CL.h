#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

// A tooltip window and the tools (areas with a text) it shows tips for.
class ToolTips_CL {
public:
    ToolTips_CL() = default;
    ~ToolTips_CL();
    ToolTips_CL(const ToolTips_CL&) = delete;
    ToolTips_CL& operator=(const ToolTips_CL&) = delete;

    HWND Create(HWND owner);
    void AddTool(HWND window, const RECT& area, const std::wstring& text);
    void DeleteAllTools();
    int GetToolCount() const;
    void SetMargins(int pixels);
    void SetMaxTipWidth(int pixels);
    // Shows `text` for the whole client area of `window`, replacing every earlier tool.
    void ShowTextOver(HWND window, const std::wstring& text, int maxTipWidth);
    HWND GetHwnd() const { return tooltip; }

private:
    HWND tooltip = nullptr;
    std::vector<std::wstring> texts;  // the tools' texts live as long as the tools
    DWORD styleBits = TTS_ALWAYSTIP | TTS_NOPREFIX;
};
