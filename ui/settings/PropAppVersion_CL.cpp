#include "ui/settings/PropAppVersion_CL.h"

#include <commctrl.h>
#include <prsht.h>

#include "core/ApplicationData_CL.h"
#include "core/Inifile_CL.h"
#include "core/OpenAddress.h"
#include "core/Version.h"
#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/CheckBox_CL.h"
#include "ui/toolkit/GroupBox_CL.h"
#include "ui/toolkit/RowLayout_CL.h"
#include "ui/toolkit/StaticText_CL.h"

void PropAppVersion_CL::Build(HWND window)
{
    const PageArea area = GetPageArea();
    noNotifyCheck = factory.GetControl<CheckBox_CL>(factory.AddCheckBox(window, L"バージョンアップの通知をしない", 0, 0, 0));
    iconButton = factory.GetControl<Button_CL>(factory.AddButton(window, L"OK", 0, 0));
    iconButton->Resize(36, 36, FALSE);
    iconButton->ChangeStyle(BS_ICON | BS_FLAT, ~0u);
    HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(107), IMAGE_ICON, 32, 32, LR_SHARED | LR_DEFAULTSIZE);
    ::SendMessageW(iconButton->GetHwnd(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    std::vector<ControlBase_CL*> rows = {iconButton};
    const std::wstring versionText = std::wstring(L"Version : ") + kProgramVersion;
    for (const wchar_t* text : {versionText.c_str(), L"　", L"サポートサイトへ"})
        rows.push_back(factory.GetControl<StaticText_CL>(factory.AddStaticText(window, text, 0, 0)));
    supportButton = factory.GetControl<Button_CL>(factory.AddButton(window, L"　　サポートサイトへ　　", 0, 0));
    rows.push_back(supportButton);

    RowLayout_CL layout(area.cellWidth, area.cellHeight, area.width - 2 * area.cellWidth);
    layout.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"バージョンアップの通知", 0, 0, 10, 10)));
    layout.Place(*noNotifyCheck);
    layout.EndGroup();
    layout.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"バージョン情報", 0, 0, 10, 10)));
    for (ControlBase_CL* row : rows) layout.Place(*row);
    layout.EndGroup();
    iconButton->MoveX(iconButton->GetRect().left + 8, FALSE);
    noNotifyCheck->SetCheck(settings.noUpdateNotice & 0xFF);
}

INT_PTR PropAppVersion_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetTitle(L"バージョン表示");
        Build(window);
        ::ShowWindow(window, SW_SHOW);
        return 1;
    case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lParam);
        if (noNotifyCheck && from == noNotifyCheck->GetHwnd())
            ::SendMessageW(::GetParent(window), PSM_CHANGED, reinterpret_cast<WPARAM>(window), 0);
        else if (iconButton && (from == iconButton->GetHwnd() || from == supportButton->GetHwnd()) && HIWORD(wParam) == BN_CLICKED)
            OpenAddress(kSupportSiteAddress, 0);
        return 0;
    }
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY)) {
            settings.noUpdateNotice = noNotifyCheck->GetCheck();
            TheIniFile().SetInt(L"VERSION", L"notify", settings.noUpdateNotice);
        }
        return 0;
    case WM_CLOSE:
        ::EndDialog(window, 0);
        return 0;
    }
    return 0;
}
