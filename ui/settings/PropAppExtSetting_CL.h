#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "engine/CompareFileInfo_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

class ListView_CL;

// A page of the settings sheet over one extension list (movies or still images): a check
// box per extension, and user extensions added and removed through the context menu. The
// page edits a working copy; Apply copies it back and saves it, Cancel forgets it.
class PropAppExtSetting_CL : public SubClassDialogBase_CL {
public:
    static constexpr UINT kAddCommand = 0x1234;
    static constexpr UINT kRemoveCommand = 0x1235;

    PropAppExtSetting_CL(CompareFileInfo_CL& targetList, const std::wstring& captionText)
        : targetList(targetList), captionText(captionText), workingList(targetList)
    {
    }
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Build(HWND window);
    void FillList();
    void OnItemChanged(const NMLISTVIEW& change);
    bool CanRemoveSelected() const;
    void ShowContextMenu();
    void AddExtension();
    void RemoveExtension();
    void MarkChanged();

    ControlFactory_CL factory{0x1100};
    ListView_CL* extListView = nullptr;
    int selectedIndex = -1;
    CompareFileInfo_CL& targetList;
    std::wstring captionText;
    CompareFileInfo_CL workingList;
    bool isFilling = false;
};
