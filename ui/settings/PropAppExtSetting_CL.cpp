#include "ui/settings/PropAppExtSetting_CL.h"

#include <commctrl.h>
#include <prsht.h>

#include "core/PathFunctions.h"
#include "ui/settings/DialogAddUserExt_CL.h"
#include "ui/toolkit/ListView_CL.h"
#include "ui/toolkit/PopupMenu_CL.h"
#include "ui/toolkit/StaticText_CL.h"

void PropAppExtSetting_CL::Build(HWND window)
{
    workingList = targetList;
    const PageArea area = GetPageArea();
    constexpr int kMargin = 4;
    auto* caption = factory.GetControl<StaticText_CL>(factory.AddStaticText(window, captionText, kMargin, kMargin));
    const int listTop = kMargin + caption->GetHeight() + kMargin;
    extListView = factory.GetControl<ListView_CL>(
        factory.AddListView(window, kMargin, listTop, area.width - 2 * kMargin, area.height - listTop - kMargin, WS_BORDER));
    extListView->AddColumn(L"拡張子", LVCFMT_LEFT, 7 * area.cellWidth);
    extListView->AddColumn(L"Content Type", LVCFMT_LEFT, 20 * area.cellWidth);
    const DWORD current = static_cast<DWORD>(::SendMessageW(extListView->GetHwnd(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    extListView->SetExtendedStyle(current | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);
    FillList();
}

void PropAppExtSetting_CL::FillList()
{
    isFilling = true;
    extListView->DeleteAllItems();
    for (int i = 0; i < workingList.GetCount(); ++i) {
        const ExtEntry& entry = workingList.GetAt(i);
        extListView->PutCell(i, 0, entry.extension, -1, 0);
        extListView->PutCell(i, 1, entry.contentType, -1, 0);
        extListView->SetCheckState(i, entry.isEnabled ? 1 : 0);
    }
    isFilling = false;
}

void PropAppExtSetting_CL::MarkChanged()
{
    ::SendMessageW(::GetParent(hwnd), PSM_CHANGED, reinterpret_cast<WPARAM>(hwnd), 0);
}

void PropAppExtSetting_CL::OnItemChanged(const NMLISTVIEW& change)
{
    if (isFilling || change.iItem < 0 || change.iItem >= workingList.GetCount()) return;
    if (!(change.uChanged & LVIF_STATE) || !((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK)) return;
    const int enabled = static_cast<int>((change.uNewState & LVIS_STATEIMAGEMASK) >> 12) - 1;
    const ExtEntry& entry = workingList.GetAt(change.iItem);
    if (enabled < 0 || enabled == entry.isEnabled) return;
    workingList.SetEnabled(entry.extension, enabled);
    MarkChanged();
}

bool PropAppExtSetting_CL::CanRemoveSelected() const
{
    // Built-in extensions can be switched off, never removed.
    return selectedIndex >= 0 && selectedIndex < workingList.GetCount() && !workingList.GetAt(selectedIndex).isBuiltin;
}

void PropAppExtSetting_CL::ShowContextMenu()
{
    selectedIndex = extListView->GetNextItem(-1, LVNI_SELECTED);
    std::vector<UINT> disabled;
    if (!CanRemoveSelected()) disabled.push_back(kRemoveCommand);
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    PopupMenu_CL::ShowCommands(hwnd, GetDirectoryPart(module) + L"\\menu_image.bmp",
                               {{kAddCommand, L"拡張子を追加する", 5}, {kRemoveCommand, L"拡張子を削除する", 1}}, disabled);
}

void PropAppExtSetting_CL::AddExtension()
{
    DialogAddUserExt_CL dialog;
    if (dialog.Run(hwnd) != 1) return;
    if (!workingList.Add(ExtEntry{1, 0, dialog.GetResultExtension(), CompareFileInfo_CL::kUserEntryText}, 1)) return;
    FillList();
    MarkChanged();
}

void PropAppExtSetting_CL::RemoveExtension()
{
    if (!CanRemoveSelected()) return;
    extListView->DeleteItem(selectedIndex);
    workingList.RemoveAt(selectedIndex);
    selectedIndex = -1;
    MarkChanged();
}

INT_PTR PropAppExtSetting_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetTitle(L"アプリ設定");
        Build(window);
        ::ShowWindow(window, SW_SHOW);
        return 1;
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.code == static_cast<UINT>(PSN_APPLY)) {
            targetList = workingList;
            targetList.Save();
        } else if (extListView && header.hwndFrom == extListView->GetHwnd()) {
            if (header.code == LVN_ITEMCHANGED) OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
            if (header.code == NM_RCLICK) ShowContextMenu();
        }
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kAddCommand) AddExtension();
        if (LOWORD(wParam) == kRemoveCommand) RemoveExtension();
        return 0;
    case WM_CLOSE:
        ::EndDialog(window, 0);
        return 0;
    }
    if (PopupMenu_CL::DrawMenuItem(window, message, wParam, lParam)) return TRUE;
    return 0;
}
