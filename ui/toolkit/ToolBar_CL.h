#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/toolkit/SubClassWindowBase_CL.h"
#include "ui/toolkit/ToolTips_CL.h"

// A toolbar whose buttons show their text as a tooltip.
class ToolBar_CL : public SubClassWindowBase_CL {
public:
    HWND Create(HWND parent, DWORD style, int id);
    void SetImageList(HIMAGELIST imageList);
    void AddButton(const TBBUTTON& button, const std::wstring& tooltipText);
    void AddSeparator(int width);
    int GetButtonCount() const;
    const ToolTips_CL& GetToolTips() const { return toolTips; }

private:
    struct ButtonRecord {
        TBBUTTON button;
        std::wstring text;
        int index;
    };
    void RebuildToolTips();

    std::vector<ButtonRecord> buttons;
    ToolTips_CL toolTips;
};
