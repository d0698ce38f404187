#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "support/GuiTestSupport.h"
#include "ui/toolkit/FolderSelectDialog_CL.h"
#include "ui/toolkit/MainWindowBase_CL.h"
#include "ui/toolkit/PropertySheetHost.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

namespace {

class Owner : public MainWindowBase_CL {
public:
    Owner()
    {
        InitialiseGuiOnce();
        SetClassName(L"QuillmereDialogOwner");
        SetWindowTitle(L"owner");
    }
};

// Handles nothing of its own; closes itself once it runs.
class SelfClosingDialog : public SubClassDialogBase_CL {
public:
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_INITDIALOG) {
            initialised = hwnd == window;
            RECT client;
            ::GetClientRect(window, &client);
            RECT units = {0, 0, kTemplateWidth, kTemplateHeight};
            ::MapDialogRect(window, &units);
            sizeMatches = client.right == units.right && client.bottom == units.bottom;
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
    }
    bool initialised = false;
    bool sizeMatches = false;
};

class Page : public SubClassDialogBase_CL {
public:
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_INITDIALOG) {
            area = GetPageArea();
            parentAtStart = ::GetParent(window);
        }
        return SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
    }
    PageArea area = {};
    HWND parentAtStart = nullptr;
};

}  // namespace

TEST(Dialogs, TemplateIsAnEmpty320By240FrameAndCloseEndsWithZero)
{
    SelfClosingDialog dialog;
    const auto* header = dialog.BuildTemplate();
    EXPECT_EQ(header->style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    EXPECT_EQ(header->dwExtendedStyle, 0u);
    EXPECT_EQ(header->cdit, 0);
    EXPECT_EQ(header->x, 0);
    EXPECT_EQ(header->cx, 320);
    EXPECT_EQ(header->cy, 240);
    const auto* words = reinterpret_cast<const WORD*>(header + 1);
    EXPECT_EQ(words[0] | words[1] | words[2], 0) << "no menu, class or title";

    Owner owner;
    owner.Create();
    EXPECT_EQ(dialog.DoModal(owner.GetHwnd()), 0);
    EXPECT_TRUE(dialog.initialised);
    EXPECT_TRUE(dialog.sizeMatches);
    ::DestroyWindow(owner.GetHwnd());
}

TEST(Dialogs, CenterOverAMinimisedOwnerUsesTheScreen)
{
    Owner owner;
    HWND ownerWindow = owner.Create();
    ::ShowWindow(ownerWindow, SW_SHOWNORMAL);
    ::SetWindowPos(ownerWindow, nullptr, 0, 0, 300, 200, SWP_NOZORDER);
    HWND dialog = ::CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_CAPTION, 0, 0, 200, 100, ownerWindow, nullptr,
                                    nullptr, nullptr);
    auto clientCentre = [&] {
        RECT client;
        ::GetClientRect(dialog, &client);
        POINT centre = {client.right / 2, client.bottom / 2};
        ::ClientToScreen(dialog, &centre);
        return centre;
    };
    SubClassDialogBase_CL::CenterOver(ownerWindow, dialog, false);
    POINT overOwner = clientCentre();
    EXPECT_NEAR(overOwner.x, 150, 1);
    EXPECT_NEAR(overOwner.y, 100, 1);

    ::ShowWindow(ownerWindow, SW_MINIMIZE);
    SubClassDialogBase_CL::CenterOver(ownerWindow, dialog, false);
    POINT overScreen = clientCentre();
    EXPECT_NEAR(overScreen.x, ::GetSystemMetrics(SM_CXFULLSCREEN) / 2, 1);
    EXPECT_NEAR(overScreen.y, ::GetSystemMetrics(SM_CYFULLSCREEN) / 2, 1);
    ::DestroyWindow(dialog);
    ::DestroyWindow(ownerWindow);
}

TEST(Dialogs, PropertySheetShowsItsPagesCentredOverTheParent)
{
    Owner owner;
    HWND ownerWindow = owner.Create();
    ::SetWindowPos(ownerWindow, nullptr, 100, 80, 700, 600, SWP_NOZORDER);
    ::ShowWindow(ownerWindow, SW_SHOWNORMAL);
    HWND sheetWindow = nullptr;
    Page first, second;
    PropertySheetHost sheet(&sheetWindow);
    sheet.AddPage(first, L"アプリ設定");
    sheet.AddPage(second, L"動画拡張子");

    RECT sheetRect = {}, ownerRect = {};
    std::thread closer = WhenWindowAppears(nullptr, L"設定", [&](HWND window) {
        if (!window) return;
        ::GetWindowRect(window, &sheetRect);
        ::PostMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    sheet.Show(ownerWindow, L"設定");
    closer.join();
    ::GetWindowRect(ownerWindow, &ownerRect);

    EXPECT_NE(sheetWindow, nullptr) << "pages receive the sheet's handle";
    EXPECT_EQ(first.parentAtStart, sheetWindow);
    EXPECT_GT(first.area.width, 100);
    EXPECT_GT(first.area.cellWidth, 5);
    EXPECT_EQ(first.area.rect.left, 0);
    EXPECT_NEAR((sheetRect.left + sheetRect.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
    EXPECT_NEAR((sheetRect.top + sheetRect.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);
    ::DestroyWindow(ownerWindow);
}

TEST(Dialogs, CancelledFolderSelectionChangesNothing)
{
    Owner owner;
    HWND ownerWindow = owner.Create();
    std::wstring folder = L"unchanged";
    std::thread canceller = WhenWindowAppears(L"#32770", nullptr, [](HWND window) {
        if (window) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(FolderSelectDialog_CL().Select(ownerWindow, L"重複チェックを行いたいフォルダを選択してください", folder), 0);
    canceller.join();
    EXPECT_EQ(folder, L"unchanged");
    ::DestroyWindow(ownerWindow);
}
