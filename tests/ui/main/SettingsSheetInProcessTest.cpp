// The settings sheet inside the test process, for what cannot be seen from outside: the
// extension pages' context menu, and what the version page hands to the shell (recorded,
// no browser is started). The sheet's modal loop runs here; a helper thread drives it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <set>
#include <thread>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/OpenAddress.h"
#include "core/ShellExecuteHook.h"
#include "support/GuiTestSupport.h"
#include "support/TestFolder.h"
#include "ui/main/MainWindow_CL.h"

namespace {

std::vector<std::wstring> opened;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    opened.push_back(file ? file : L"");
    return reinterpret_cast<HINSTANCE>(33);
}

// Right-clicks the page's list with `row` selected; gives the greyed commands of its menu.
std::set<UINT> ContextMenuGreys(HWND page, int row)
{
    HWND list = ::GetDlgItem(page, 0x1101);
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
    static NMHDR click;
    click = {list, 0x1101, static_cast<UINT>(NM_RCLICK)};
    ::PostMessageW(page, WM_NOTIFY, 0x1101, reinterpret_cast<LPARAM>(&click));
    HWND menuWindow = nullptr;
    for (int i = 0; i < 300 && !menuWindow; ++i, ::Sleep(10)) menuWindow = ::FindWindowW(L"#32768", nullptr);
    std::set<UINT> greyed;
    HMENU menu = menuWindow ? reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0)) : nullptr;
    for (int i = 0; menu && i < ::GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_STATE | MIIM_ID;
        ::GetMenuItemInfoW(menu, i, TRUE, &info);
        if (info.fState & MFS_DISABLED) greyed.insert(info.wID);
    }
    greyed.insert(menu ? 0 : 1);
    ::PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 300 && ::IsWindowVisible(menuWindow); ++i) ::Sleep(10);
    return greyed;
}

HWND PageOf(HWND sheet, int index)
{
    ::SendMessageW(sheet, PSM_SETCURSEL, index, 0);
    return reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

int RowOf(HWND list, const wchar_t* text)
{
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        wchar_t cell[64] = {};
        ListView_GetItemText(list, row, 0, cell, 64);
        if (std::wstring(cell) == text) return row;
    }
    return -1;
}

}  // namespace

TEST(SettingsSheetInProcess, ExtensionMenusVersionPageAndTheSupportSite)
{
    InProcessGui gui;
    TestFolder data;
    WriteUtf16File(data / L"Quillmere.ini", L"[VERSION]\r\nnotify=1\r\n[COMPARE_EXT_INFO]\r\ncount=1\r\nitem0=1|.m2p\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    TheShellExecute() = &RecordOpen;
    opened.clear();
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);

        std::set<UINT> builtinGreys, noRowGreys, userGreys;
        bool notifyStartedChecked = false, applyAfterButtons = true;
        std::thread driver = WhenWindowAppears(L"#32770", L"アプリ設定", [&](HWND sheet) {
            if (!sheet) return;
            HWND movies = PageOf(sheet, 1);
            HWND list = ::GetDlgItem(movies, 0x1101);
            builtinGreys = ContextMenuGreys(movies, RowOf(list, L".avi"));
            noRowGreys = ContextMenuGreys(movies, -1);
            userGreys = ContextMenuGreys(movies, RowOf(list, L".m2p"));
            // Remove the user extension (the menu's command), then cancel the sheet below.
            ::SendMessageW(movies, WM_COMMAND, 0x1235, 0);
            EXPECT_EQ(RowOf(list, L".m2p"), -1);

            HWND version = PageOf(sheet, 3);
            HWND check = ::GetDlgItem(version, 0x1100);
            notifyStartedChecked = ::SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
            ::EnableWindow(::GetDlgItem(sheet, 0x3021), FALSE);  // the removal above enabled it
            for (int id : {0x1101, 0x1105}) ::SendMessageW(::GetDlgItem(version, id), BM_CLICK, 0, 0);  // icon, support
            applyAfterButtons = ::IsWindowEnabled(::GetDlgItem(sheet, 0x3021));
            ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        });
        ::SendMessageW(hwnd, WM_COMMAND, ID_APP_SETTING, 0);
        driver.join();

        EXPECT_EQ(builtinGreys, (std::set<UINT>{0, 0x1235})) << "a built-in extension is never removed";
        EXPECT_EQ(noRowGreys, (std::set<UINT>{0, 0x1235}));
        EXPECT_EQ(userGreys, std::set<UINT>{0});
        ExtEntry kept;
        EXPECT_TRUE(settings.movieExtInfo.Find(L".m2p", kept)) << "Cancel keeps the removed extension";
        EXPECT_NE(BytesAsWide(ReadFileBytes(data / L"Quillmere.ini")).find(L"item0=1|.m2p"), std::wstring::npos);
        EXPECT_TRUE(notifyStartedChecked);
        EXPECT_FALSE(applyAfterButtons) << "opening the site changes nothing";
        EXPECT_EQ(opened, (std::vector<std::wstring>{kSupportSiteAddress, kSupportSiteAddress}));

        // The main window's menu item opens the same page; with c:\MyHome.txt nothing opens.
        ::SendMessageW(hwnd, WM_COMMAND, ID_SUPPORT_SITE, 0);
        EXPECT_EQ(opened.size(), 3u);
        WriteFileBytes(L"c:\\MyHome.txt", "x", 1);
        ::SendMessageW(hwnd, WM_COMMAND, ID_SUPPORT_SITE, 0);
        ::DeleteFileW(L"c:\\MyHome.txt");
        EXPECT_EQ(opened.size(), 3u);

        // Unticking "バージョンアップの通知をしない" and applying writes notify=0.
        std::thread apply = WhenWindowAppears(L"#32770", L"アプリ設定", [&](HWND sheet) {
            if (!sheet) return;
            HWND version = PageOf(sheet, 3);
            ::SendMessageW(::GetDlgItem(version, 0x1100), BM_CLICK, 0, 0);
            ::PostMessageW(sheet, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageW(hwnd, WM_COMMAND, ID_APP_SETTING, 0);
        apply.join();
        EXPECT_EQ(settings.noUpdateNotice, 0);
        EXPECT_NE(BytesAsWide(ReadFileBytes(data / L"Quillmere.ini")).find(L"notify=0\r\n"), std::wstring::npos);
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
    TheShellExecute() = &::ShellExecuteW;
}

TEST(SettingsSheetInProcess, OnlyWebAddressesAreEverOpened)
{
    TheShellExecute() = &RecordOpen;
    opened.clear();
    for (const wchar_t* refused : {L"file:///C:/Windows/notepad.exe", L"C:\\Windows\\notepad.exe", L"\\\\host\\share\\x.exe",
                                   L"javascript:alert(1)", L"http://", L"https:// host", L"mailto:a@b", L""})
        EXPECT_EQ(OpenAddress(refused, 0), 0) << std::string(refused, refused + wcslen(refused)).c_str();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(OpenAddress(L"HTTPS://www.example.com/dl/", 0), 33);
    EXPECT_EQ(OpenAddress(L"http://127.0.0.1:8080/x", 0), 33);
    EXPECT_EQ(opened.size(), 2u);
    TheShellExecute() = &::ShellExecuteW;
}
