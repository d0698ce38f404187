// The main window inside the test process, for what cannot be sent from outside: dropped
// folders (an HDROP is a handle of the receiving process), the folder menu's commands and
// the hover tooltips.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/Log_CL.h"
#include "support/GuiTestSupport.h"
#include "support/TestFolder.h"
#include "ui/main/MainWindow_CL.h"
#include "core/GdiPlus.h"

namespace {

constexpr int kFolderList = 0x1102;

HDROP MakeDrop(const std::vector<std::wstring>& paths)
{
    size_t characters = 1;
    for (const auto& path : paths) characters += path.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& path : paths) {
        wcscpy(text, path.c_str());
        text += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring IniText(const std::wstring& folder)
{
    return BytesAsWide(ReadFileBytes(folder + L"\\Quillmere.ini"));
}

}  // namespace

TEST(MainWindowInProcess, DropsMenuCommandsAndHoverTips)
{
    InProcessGui gui;
    TestFolder data, tree;
    MakeFolder(tree / L"新しい");
    MakeFolder(tree / L"listed");
    MakeFileWithContent(tree / L"file.avi", 10, 1);
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    settings.AddCheckFolder({0, tree / L"listed"});
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);
        HWND folders = ::GetDlgItem(hwnd, kFolderList);
        ASSERT_EQ(ListView_GetItemCount(folders), 1);

        // A new folder, a file and a folder already listed: one folder more, sorted, saved.
        ::SendMessageW(hwnd, WM_DROPFILES,
                       reinterpret_cast<WPARAM>(MakeDrop({tree / L"新しい", tree / L"file.avi", tree / L"listed"})), 0);
        ASSERT_EQ(settings.GetCheckFolders().size(), 2u);
        EXPECT_EQ(settings.GetCheckFolders()[0].path, tree / L"listed");
        EXPECT_EQ(settings.GetCheckFolders()[0].isChecked, 0) << "an already listed folder keeps its check";
        EXPECT_EQ(settings.GetCheckFolders()[1].isChecked, 1);
        EXPECT_EQ(ListView_GetItemCount(folders), 2);
        EXPECT_NE(IniText(data.Path()).find(L"item1=1|" + (tree / L"新しい")), std::wstring::npos);

        // Hovering a row shows its text as the list's one tooltip.
        RECT row;
        ListView_GetItemRect(folders, 1, &row, LVIR_LABEL);
        ::SendMessageW(folders, WM_MOUSEMOVE, 0, MAKELPARAM(row.left + 5, (row.top + row.bottom) / 2));
        HWND tip = nullptr;
        ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND w, LPARAM found) -> BOOL {
            wchar_t name[64];
            ::GetClassNameW(w, name, 64);
            if (std::wstring(name) != TOOLTIPS_CLASSW || !::SendMessageW(w, TTM_GETTOOLCOUNT, 0, 0)) return TRUE;
            *reinterpret_cast<HWND*>(found) = w;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&tip));
        ASSERT_NE(tip, nullptr);
        wchar_t text[512] = {};
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        ::SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool));
        tool.lpszText = text;
        ::SendMessageW(tip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(std::wstring(text), tree / L"新しい");

        // "比較対象フォルダの削除" on the first row.
        settings.selectedItemIndex = 0;
        ::SendMessageW(hwnd, WM_COMMAND, ID_REMOVE_FOLDER, 0);
        ASSERT_EQ(settings.GetCheckFolders().size(), 1u);
        EXPECT_EQ(settings.GetCheckFolders()[0].path, tree / L"新しい");
        EXPECT_EQ(ListView_GetItemCount(folders), 1);
        EXPECT_NE(IniText(data.Path()).find(L"count=1"), std::wstring::npos);
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
}

namespace {

// Hovers a row of the list and gives the text of the tooltip it brings.
std::wstring HoverTipText(HWND list, int row)
{
    RECT cell;
    ListView_GetItemRect(list, row, &cell, LVIR_LABEL);
    ::SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
    std::wstring found;
    ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND w, LPARAM context) -> BOOL {
        wchar_t name[64];
        ::GetClassNameW(w, name, 64);
        if (std::wstring(name) != TOOLTIPS_CLASSW || !::SendMessageW(w, TTM_GETTOOLCOUNT, 0, 0)) return TRUE;
        wchar_t text[2048] = {};
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        ::SendMessageW(w, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool));
        tool.lpszText = text;
        ::SendMessageW(w, TTM_GETTEXTW, 2048, reinterpret_cast<LPARAM>(&tool));
        *reinterpret_cast<std::wstring*>(context) = text;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Rows of the folder list as (path, check) pairs, and the same of the stored list.
std::vector<std::pair<std::wstring, int>> ShownFolders(HWND list)
{
    std::vector<std::pair<std::wstring, int>> rows;
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        wchar_t text[512] = {};
        ListView_GetItemText(list, row, 0, text, 512);
        rows.emplace_back(text, static_cast<int>(ListView_GetCheckState(list, row)));
    }
    return rows;
}

std::vector<std::pair<std::wstring, int>> StoredFolders(const std::wstring& dataFolder)
{
    ApplicationData_CL stored;
    stored.LoadFromFolder(dataFolder);
    std::vector<std::pair<std::wstring, int>> rows;
    for (const auto& entry : stored.GetCheckFolders()) rows.emplace_back(entry.path, entry.isChecked);
    return rows;
}

// Runs a search in the window and gives the folder letter (the first character of the
// first file's name) of each group found.
std::multiset<wchar_t> SearchGroups(HWND window, ApplicationData_CL& settings)
{
    HWND start = ::GetDlgItem(window, 0x1100), groups = ::GetDlgItem(window, 0x1104);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(0x1100, BN_CLICKED), reinterpret_cast<LPARAM>(start));
    PumpMessages(20000, [&] { return !settings.isSearching; });
    std::multiset<wchar_t> letters;
    for (int row = 0; row < ListView_GetItemCount(groups); ++row) {
        wchar_t text[512] = {};
        ListView_GetItemText(groups, row, 0, text, 512);
        letters.insert(text[0]);
    }
    return letters;
}

}  // namespace

TEST(MainWindowInProcess, CheckMarksStayWithTheirFoldersThroughRemovesAndClicks)
{
    InProcessGui gui;
    TestFolder data, tree;
    for (const wchar_t* name : {L"A", L"B", L"C"}) {
        MakeFolder(tree / name);
        for (const wchar_t* copy : {L"x.avi", L"y.avi"})
            MakeFileWithContent(tree / name + L"\\" + name + copy, 4000 + name[0], name[0]);
    }
    WriteUtf16File(data / L"Quillmere.ini", L"[APP_INFO]\r\ncomplete_msg=0\r\n[CHECK_FOLDER]\r\ncount=3\r\nitem0=1|" +
                                               (tree / L"A") + L"\r\nitem1=0|" + (tree / L"B") + L"\r\nitem2=1|" +
                                               (tree / L"C") + L"\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    using Rows = std::vector<std::pair<std::wstring, int>>;
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);
        HWND folders = ::GetDlgItem(hwnd, kFolderList);

        // Remove the checked A: B keeps its empty box on screen, in the file and in the search,
        // and the hover tip over the first row names B.
        EXPECT_EQ(HoverTipText(folders, 0), tree / L"A");
        settings.selectedItemIndex = 0;
        ::SendMessageW(hwnd, WM_COMMAND, ID_REMOVE_FOLDER, 0);
        EXPECT_EQ(HoverTipText(folders, 0), tree / L"B");
        const Rows afterRemove = {{tree / L"B", 0}, {tree / L"C", 1}};
        EXPECT_EQ(ShownFolders(folders), afterRemove);
        EXPECT_EQ(StoredFolders(data.Path()), afterRemove);
        EXPECT_EQ(SearchGroups(hwnd, settings), (std::multiset<wchar_t>{L'C'}));

        // Clicks on the boxes are stored at once, each for its own folder.
        ListView_SetCheckState(folders, 0, TRUE);
        ListView_SetCheckState(folders, 1, FALSE);
        ListView_SetItemState(folders, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        const Rows afterClicks = {{tree / L"B", 1}, {tree / L"C", 0}};
        EXPECT_EQ(ShownFolders(folders), afterClicks);
        EXPECT_EQ(StoredFolders(data.Path()), afterClicks) << "no exit needed";
        EXPECT_EQ(SearchGroups(hwnd, settings), (std::multiset<wchar_t>{L'B'}));

        // Remove the last row, then the first: nothing moves between folders.
        settings.selectedItemIndex = 1;
        ::SendMessageW(hwnd, WM_COMMAND, ID_REMOVE_FOLDER, 0);
        EXPECT_EQ(StoredFolders(data.Path()), (Rows{{tree / L"B", 1}}));
        settings.selectedItemIndex = 0;
        ::SendMessageW(hwnd, WM_COMMAND, ID_REMOVE_FOLDER, 0);
        EXPECT_TRUE(StoredFolders(data.Path()).empty());
        EXPECT_EQ(ListView_GetItemCount(folders), 0);

        // A dropped folder with a path far longer than 520 characters is added whole.
        std::wstring deep = tree.Path();
        while (deep.size() < 600) deep += L"\\長い名前のフォルダ" + std::to_wstring(deep.size());
        ASSERT_TRUE(MakeFolder(deep));
        ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({deep})), 0);
        EXPECT_EQ(StoredFolders(data.Path()), (Rows{{deep, 1}}));
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
}

TEST(MainWindowInProcess, ADropOfFortyFoldersIsOneQuickChangeAndASearchKeepsItsSettings)
{
    InProcessGui gui;
    TestFolder data, tree;
    std::vector<std::wstring> dropped;
    for (int i = 0; i < 40; ++i) {
        dropped.push_back(tree / (L"フォルダ" + std::to_wstring(100 + i)));
        MakeFolder(dropped.back());
    }
    MakeFileWithContent(dropped[0] + L"\\a.avi", 5000, 7);
    MakeFileWithContent(dropped[0] + L"\\b.avi", 5000, 7);
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    settings.showCompleteMessage = 0;
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);
        HWND folders = ::GetDlgItem(hwnd, kFolderList);
        ASSERT_TRUE(::IsWindowVisible(folders));
        PumpMessages(100);

        // The window answers again within a second, with all forty shown and stored.
        const auto start = std::chrono::steady_clock::now();
        ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(dropped)), 0);
        ::UpdateWindow(hwnd);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
        EXPECT_EQ(ListView_GetItemCount(folders), 40);
        EXPECT_EQ(StoredFolders(data.Path()).size(), 40u);

        // The extension page applied while a search runs changes the next search, not this one.
        HWND startButton = ::GetDlgItem(hwnd, 0x1100), groups = ::GetDlgItem(hwnd, 0x1104);
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(0x1100, BN_CLICKED), reinterpret_cast<LPARAM>(startButton));
        settings.movieExtInfo.SetEnabled(L".avi", 0);
        PumpMessages(20000, [&] { return !settings.isSearching; });
        EXPECT_EQ(ListView_GetItemCount(groups), 1);
        EXPECT_EQ(SearchGroups(hwnd, settings).size(), 0u);
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
}

namespace {

// The commands of the group list's "自動でチェック" submenu, read while the menu is open.
std::vector<UINT> SelectionRules(HWND window, HWND groupList)
{
    std::vector<UINT> rules;
    ReadOpenMenu([&] { ::SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(groupList), -1); },
                 [&](HMENU menu) {
                     HMENU submenu = menu ? ::GetSubMenu(menu, 0) : nullptr;
                     for (int i = 0; submenu && i < ::GetMenuItemCount(submenu); ++i)
                         rules.push_back(::GetMenuItemID(submenu, i));
                 });
    return rules;
}

int ColumnCount(HWND list)
{
    return static_cast<int>(::SendMessageW(ListView_GetHeader(list), HDM_GETITEMCOUNT, 0, 0));
}

}  // namespace

TEST(MainWindowInProcess, TheKindColumnAndThePictureRuleFollowTheResultOnShow)
{
    InProcessGui gui;
    TestFolder data, tree;
    MakeFileWithContent(tree / L"a.avi", 5000, 7);
    MakeFileWithContent(tree / L"b.avi", 5000, 7);
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    settings.showCompleteMessage = 0;
    settings.AddCheckFolder({1, tree.Path()});
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);
        HWND groups = ::GetDlgItem(hwnd, 0x1104);
        const std::vector<UINT> withoutPicture = {ID_TICK_KEEP_OLDEST, ID_TICK_KEEP_NEWEST, ID_TICK_KEEP_HIGHEST_FOLDER,
                                                  ID_TICK_KEEP_SHORTEST_PATH};
        std::vector<UINT> withPicture = withoutPicture;
        withPicture.push_back(ID_TICK_KEEP_BEST_PICTURE);

        // Off: the list and the rules the program always had.
        EXPECT_EQ(ColumnCount(groups), 6);
        EXPECT_EQ(SelectionRules(hwnd, groups), withoutPicture);
        EXPECT_EQ(SearchGroups(hwnd, settings).size(), 1u);
        EXPECT_EQ(ColumnCount(groups), 6);

        // Both follow the result on show, not the option: switched on, they come with the next
        // search (the list shown was found without similar groups, its pictures unknown)...
        settings.findSimilar = 1;
        EXPECT_EQ(SelectionRules(hwnd, groups), withoutPicture);
        EXPECT_EQ(ColumnCount(groups), 6);
        EXPECT_EQ(SearchGroups(hwnd, settings).size(), 1u);
        ASSERT_EQ(ColumnCount(groups), 7);
        EXPECT_EQ(SelectionRules(hwnd, groups), withPicture);
        wchar_t kind[16] = {};
        ListView_GetItemText(groups, 0, 6, kind, 16);
        EXPECT_EQ(std::wstring(kind), L"同一");
        ::SendMessageW(hwnd, WM_NOTIFY, 0x1104, [&] {
            static NMLISTVIEW click = {};
            click.hdr = {groups, 0x1104, static_cast<UINT>(LVN_COLUMNCLICK)};
            click.iSubItem = 6;
            return reinterpret_cast<LPARAM>(&click);
        }());  // sorted by the kind, which then goes
        // ...and switched off, they stay with the similar search's result until the next one.
        settings.findSimilar = 0;
        EXPECT_EQ(SelectionRules(hwnd, groups), withPicture);
        EXPECT_EQ(ColumnCount(groups), 7);
        EXPECT_EQ(SearchGroups(hwnd, settings).size(), 1u);
        EXPECT_EQ(ColumnCount(groups), 6);
        EXPECT_EQ(SelectionRules(hwnd, groups), withoutPicture);
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
}
