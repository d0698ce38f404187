// Shows the toolkit's pieces on screen and takes screenshots (build/screenshots/) so that
// a person can look at them: a property sheet with two pages, a two-button dialog and an
// owner-drawn popup menu with images.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "support/GuiTestSupport.h"
#include "ui/toolkit/CheckBox_CL.h"
#include "ui/toolkit/ComboBox_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/GroupBox_CL.h"
#include "ui/toolkit/MainWindowBase_CL.h"
#include "ui/toolkit/PopupMenu_CL.h"
#include "ui/toolkit/PropertySheetHost.h"
#include "ui/toolkit/RowLayout_CL.h"
#include "ui/toolkit/StaticText_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\'));
}

class DemoWindow : public MainWindowBase_CL {
public:
    DemoWindow()
    {
        InitialiseGuiOnce();
        SetClassName(L"QuillmereDemo");
        SetWindowTitle(L"Quillmere ツールキット");
    }
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (PopupMenu_CL::DrawMenuItem(window, message, wParam, lParam)) return TRUE;
        return MainWindowBase_CL::WindowProc(window, message, wParam, lParam);
    }
};

class OptionsPage : public SubClassDialogBase_CL {
public:
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_INITDIALOG) {
            PageArea area = GetPageArea();
            RowLayout_CL rows(area.cellWidth, area.cellHeight, area.width - 2 * area.cellWidth);
            rows.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"比較対象", 0, 0, 10, 10)));
            rows.Place(*factory.GetControl<ControlBase_CL>(factory.AddCheckBox(window, L"動画を比較する", 0, 0, 1)));
            rows.Place(*factory.GetControl<ControlBase_CL>(factory.AddCheckBox(window, L"静止画を比較する", 0, 0, 1)));
            rows.EndGroup();
            rows.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"プレビュー", 0, 0, 10, 10)));
            int combo = factory.AddComboBox(window, 0, 0, 12, 8, 0);
            auto* sizes = factory.GetControl<ComboBox_CL>(combo);
            for (const wchar_t* text : {L"4枚(2x2)", L"9枚(3x3)", L"16枚(4x4)", L"25枚(5x5)"}) sizes->AddItem(text, -1);
            sizes->SetCurSel(2);
            rows.Place(*factory.GetControl<ControlBase_CL>(factory.AddStaticText(window, L"プレビューの枚数", 0, 0)));
            rows.Place(*sizes);
            rows.EndGroup();
        }
        return SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
    }
    ControlFactory_CL factory{0x1100};
};

class TwoButtonDialog : public SubClassDialogBase_CL {
public:
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_INITDIALOG) {
            SetTitle(L"Quillmereのアップデート。");
            ::SetWindowPos(window, nullptr, 0, 0, 360, 160, SWP_NOMOVE | SWP_NOZORDER);
            factory.AddStaticText(window, L"新しいバージョンがあります。", 12, 16);
            factory.AddTwoButtons(window, L"ダウンロード", L"後で");
            CenterOver(parent, window, false);
        }
        if (message == WM_COMMAND && (LOWORD(wParam) == 0x1000 || LOWORD(wParam) == 0x1002)) {
            ::EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        return SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
    }
    ControlFactory_CL factory{0x1100};
};

}  // namespace

TEST(ToolkitDemo, ShowsASheetADialogAndAMenuOnScreen)
{
    DemoWindow owner;
    HWND window = owner.Create();
    ::SetWindowPos(window, nullptr, 40, 40, 640, 480, SWP_NOZORDER);
    ::ShowWindow(window, SW_SHOW);
    PumpMessages(200);

    HWND sheetWindow = nullptr;
    OptionsPage first;
    SubClassDialogBase_CL second;
    PropertySheetHost sheet(&sheetWindow);
    sheet.AddPage(first, L"アプリ設定");
    sheet.AddPage(second, L"動画拡張子");
    std::string sheetShot;
    std::thread sheetCloser = WhenWindowAppears(nullptr, L"アプリ設定", [&](HWND found) {
        if (!found) return;
        sheetShot = TakeScreenshot(L"toolkit-property-sheet");
        ::PostMessageW(found, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    sheet.Show(window, L"アプリ設定");
    sheetCloser.join();

    TwoButtonDialog dialog;
    std::thread dialogCloser = WhenWindowAppears(nullptr, L"Quillmereのアップデート。", [&](HWND found) {
        if (!found) return;
        TakeScreenshot(L"toolkit-two-button-dialog");
        ::PostMessageW(found, WM_COMMAND, 0x1002, 0);
    });
    EXPECT_EQ(dialog.DoModal(window), 0x1002);
    dialogCloser.join();

    PopupMenu_CL menu;
    menu.CreatePopup();
    menu.LoadImageStrip(ProgramFolder() + L"\\menu_image.bmp");
    EXPECT_NE(menu.GetImageStrip(), nullptr) << "menu_image.bmp beside the executable";
    menu.AddItem(0x3000, L"比較対象フォルダの追加", 2);
    menu.AddSeparator();
    menu.AddItem(0x3001, L"比較対象フォルダの削除", 3);
    menu.AddItem(0x3002, L"ファイルの完全比較を行う\tCtrl+A", 8);
    menu.Disable(0x3001);
    ::SetCursorPos(120, 120);
    std::thread menuCloser = WhenWindowAppears(L"#32768", nullptr, [&](HWND found) {
        if (!found) return;
        TakeScreenshot(L"toolkit-popup-menu");
        ::PostMessageW(window, WM_CANCELMODE, 0, 0);
    });
    menu.Track(window);
    menuCloser.join();
    ::DestroyWindow(window);
    PumpMessages(50);
    if (!sheetShot.empty()) std::printf("screenshots beside %s\n", sheetShot.c_str());
}
