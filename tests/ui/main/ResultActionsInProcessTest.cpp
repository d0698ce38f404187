// The result pane's actions inside the test process: the context menu's greying, the
// commands handed to the shell (recorded, nothing is started) and the whole-file comparison
// behind its progress dialog. Modal loops run here; helper threads answer their windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <set>
#include <string>
#include <vector>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/ShellExecuteHook.h"
#include <shellapi.h>
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"
#include "engine/ExactFile_CL.h"
#include "ui/main/FileDelete_CL.h"
#include "ui/main/MainWindow_CL.h"
#include "ui/main/TestAAA_CL.h"

namespace {

constexpr int kStartButton = 0x1100, kGroupList = 0x1104, kPane = 0x1106, kPaneList = 0x1101;

struct ShellCall {
    std::wstring verb, file, parameters;
};
std::vector<ShellCall> shellCalls;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, INT)
{
    shellCalls.push_back({verb ? verb : L"(default)", file ? file : L"", parameters ? parameters : L""});
    return reinterpret_cast<HINSTANCE>(33);
}

// The main window in this process, searched over a tree, its pane at hand.
struct PaneWindow {
    explicit PaneWindow(const std::wstring& tree)
    {
        settings.LoadFromFolder(data.Path());
        settings.programFolder = BinFolder();
        settings.showCompleteMessage = 0;
        settings.AddCheckFolder({1, tree});
        window = std::make_unique<MainWindow_CL>(settings);
        hwnd = window->Create();
        paneWindow = ::GetDlgItem(hwnd, kPane);
        list = ::GetDlgItem(paneWindow, kPaneList);
        pane = static_cast<TestAAA_CL*>(reinterpret_cast<ControlBase_CL*>(::GetWindowLongPtrW(paneWindow, GWLP_USERDATA)));
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kStartButton, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, kStartButton)));
        PumpMessages(20000, [&] { return !settings.isSearching; });
    }
    ~PaneWindow()
    {
        ::DestroyWindow(hwnd);
        PumpMessages(50);
        window.reset();
    }
    // Shows the group whose first file has this extension.
    void ShowGroupOf(const std::wstring& extension)
    {
        HWND groups = ::GetDlgItem(hwnd, kGroupList);
        for (int row = 0; row < ListView_GetItemCount(groups); ++row) {
            wchar_t text[64] = {};
            ListView_GetItemText(groups, row, 1, text, 64);
            if (extension == text) ListView_SetItemState(groups, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    void SelectRow(int row)
    {
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (row >= 0) ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    std::wstring Cell(int row, int column) const
    {
        wchar_t text[1024] = {};
        ListView_GetItemText(list, row, column, text, 1024);
        return text;
    }
    // A right-click: the context menu opens; its greyed commands are read and it is closed.
    std::set<UINT> OpenContextMenu()
    {
        std::set<UINT> greyed;
        NMITEMACTIVATE click = {};
        click.hdr = {list, static_cast<UINT_PTR>(kPaneList), static_cast<UINT>(NM_RCLICK)};
        ReadOpenMenu([&] { ::SendMessageW(paneWindow, WM_NOTIFY, kPaneList, reinterpret_cast<LPARAM>(&click)); },
                     [&](HMENU menu) {
                         for (int i = 0; menu && i < ::GetMenuItemCount(menu); ++i) {
                             MENUITEMINFOW info = {sizeof(info)};
                             info.fMask = MIIM_STATE | MIIM_ID;
                             ::GetMenuItemInfoW(menu, i, TRUE, &info);
                             if (info.wID && (info.fState & MFS_DISABLED)) greyed.insert(info.wID);
                         }
                         greyed.insert(menu ? 0 : 1);  // 0: the menu was there
                         static bool pictured = false;
                         if (menu && !pictured) pictured = !TakeScreenshot(L"result-actions-context-menu").empty();
                     });
        return greyed;
    }
    // Sends a command of the menu and answers the message box it brings (if any).
    std::wstring CommandAndAnswer(UINT command, const wchar_t* boxTitle, const std::function<void(HWND)>& whileOpen = nullptr)
    {
        std::wstring text = L"(no box)";
        std::thread answer = WhenWindowAppears(L"#32770", boxTitle, [&](HWND box) {
            if (!box) return;
            text = RemoteProgram::MessageText(box);
            if (whileOpen) whileOpen(box);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageW(paneWindow, WM_COMMAND, command, 0);
        answer.join();
        return text;
    }

    InProcessGui gui;
    TestFolder data;
    ApplicationData_CL settings;
    std::unique_ptr<MainWindow_CL> window;
    HWND hwnd = nullptr, paneWindow = nullptr, list = nullptr;
    TestAAA_CL* pane = nullptr;
};

}  // namespace

TEST(ResultActions, TheContextMenuGreysWhatCannotBeDoneAndTheShellGetsExactCommandLines)
{
    TestFolder tree;
    const std::wstring films = tree / L"my films, 2026";
    MakeFolder(films);
    for (const wchar_t* name : {L"a.avi", L"b copy.avi", L"c.avi"}) MakeFileWithContent(films + L"\\" + name, 9000, 1);
    for (const wchar_t* name : {L"p.bmp", L"q.bmp"}) MakeFileWithContent(tree / name, 7000, 2);
    PaneWindow w(tree.Path());
    TheShellExecute() = &RecordShellExecute;
    w.ShowGroupOf(L".avi");
    ASSERT_EQ(ListView_GetItemCount(w.list), 3);

    // The group's first file (selected when the group is shown): no comparison with itself;
    // nothing checked: nothing to delete.
    EXPECT_EQ(w.OpenContextMenu(), (std::set<UINT>{0, ID_ALL_COMPARE, ID_DELETE_CHECKED}));
    w.SelectRow(1);
    ListView_SetCheckState(w.list, 2, TRUE);
    EXPECT_EQ(w.OpenContextMenu(), (std::set<UINT>{0}));
    w.SelectRow(-1);
    EXPECT_EQ(w.OpenContextMenu(), (std::set<UINT>{0, ID_ALL_COMPARE, ID_OPEN_FOLDER, ID_PLAY}));

    // The folder: Explorer with "/select," and the path as it is; the player: the path quoted.
    w.SelectRow(1);
    w.OpenContextMenu();
    const std::wstring path = films + L"\\" + w.Cell(1, 1) + w.Cell(1, 2);
    shellCalls.clear();
    ::SendMessageW(w.paneWindow, WM_COMMAND, ID_OPEN_FOLDER, 0);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].verb, L"open");
    EXPECT_EQ(ToLowerAscii(shellCalls[0].file), ToLowerAscii(GetWindowsFolder() + L"\\EXPLORER.EXE"));
    EXPECT_EQ(shellCalls[0].parameters, L"/select," + path);
    w.settings.playerPath = L"C:\\Program Files\\Brisklet\\Brisklet.exe";
    ::SendMessageW(w.paneWindow, WM_COMMAND, ID_PLAY, 0);
    ASSERT_EQ(shellCalls.size(), 2u);
    EXPECT_EQ(shellCalls[1].verb, L"(default)");
    EXPECT_EQ(shellCalls[1].file, w.settings.playerPath);
    EXPECT_EQ(shellCalls[1].parameters, L"\"" + path + L"\"");
    w.settings.playerPath.clear();
    EXPECT_EQ(w.CommandAndAnswer(ID_PLAY, L"お知らせ"), L"再生するには「Brisklet」が必要です。");
    EXPECT_EQ(shellCalls.size(), 2u) << "nothing started without a player";

    // A picture shown: nothing to play.
    w.ShowGroupOf(L".bmp");
    w.SelectRow(1);
    EXPECT_EQ(w.OpenContextMenu(), (std::set<UINT>{0, ID_PLAY, ID_DELETE_CHECKED}));
    TheShellExecute() = &::ShellExecuteW;
}

TEST(ResultActions, WholeFileComparisonReportsEqualDifferentVanishedAndCancelled)
{
    TestFolder tree;
    MakeFolder(tree / L"equal");
    MakeFolder(tree / L"last");
    MakeFolder(tree / L"gone");
    MakeFolder(tree / L"tiny");
    MakeFolder(tree / L"huge");
    for (const wchar_t* name : {L"equal\\a.avi", L"equal\\b.avi"}) MakeFileWithContent(tree / name, 5 * 1024 * 1024, 3);
    for (const wchar_t* name : {L"last\\a.mkv", L"last\\b.mkv"}) MakeFileWithContent(tree / name, 3 * 1024 * 1024 + 5, 4);
    std::vector<uint8_t> bytes = ReadFileBytes(tree / L"last\\b.mkv");
    bytes.back() ^= 0xFF;
    WriteFileBytes(tree / L"last\\b.mkv", bytes);
    for (const wchar_t* name : {L"gone\\a.wmv", L"gone\\b.wmv"}) MakeFileWithContent(tree / name, 70000, 5);
    for (const wchar_t* name : {L"tiny\\a.mpg", L"tiny\\b.mpg"}) MakeFileWithContent(tree / name, 10, 6);
    // Several GB with no data written: sparse on the host, quick to make, slow to compare.
    for (const wchar_t* name : {L"huge\\a.mp4", L"huge\\b.mp4"}) {
        MakeFileWithContent(tree / name, 100, 7);
        SetFileLength(tree / name, 6ull << 30);
    }
    PaneWindow w(tree.Path());

    auto compareRow1 = [&](const wchar_t* extension, const std::function<void(HWND)>& whileOpen = nullptr) {
        w.ShowGroupOf(extension);
        w.SelectRow(1);
        w.OpenContextMenu();
        return w.CommandAndAnswer(ID_ALL_COMPARE, L"比較結果", whileOpen);
    };
    EXPECT_EQ(compareRow1(L".avi"), L"ファイルの内容は完全に一致しました。");
    EXPECT_EQ(w.Cell(1, 0), L"100%");
    EXPECT_EQ(compareRow1(L".mkv"), L"ファイルの内容は一致しない部分が存在します。");
    // Steps of 64 KiB doubling to 2 MiB: the last report is the share before the last step.
    const uint64_t size = 3 * 1024 * 1024 + 5;
    uint64_t reached = 0;
    for (uint64_t step = 0x10000; reached + std::min<uint64_t>(step, 0x200000) < size; step *= 2)
        reached += std::min<uint64_t>(step, 0x200000);
    EXPECT_EQ(w.Cell(1, 0), std::to_wstring(reached * 100 / size) + L"%");
    EXPECT_EQ(compareRow1(L".mpg"), L"ファイルの内容は完全に一致しました。") << "ends its dialog by itself";

    w.ShowGroupOf(L".wmv");
    const std::wstring vanished = tree / L"gone\\" + w.Cell(1, 1) + w.Cell(1, 2);
    ASSERT_TRUE(::DeleteFileW(vanished.c_str()));
    EXPECT_EQ(compareRow1(L".wmv"), L"ファイルの内容は一致しない部分が存在します。");

    // Cancel on a long comparison: the dialog goes within a moment.
    std::chrono::steady_clock::time_point cancelled;
    std::thread canceller = WhenWindowAppears(L"#32770", L"ファイルの完全比較を行っています。", [&](HWND dialog) {
        ::Sleep(700);
        TakeScreenshot(L"result-actions-progress");
        cancelled = std::chrono::steady_clock::now();
        HWND button = ::GetDlgItem(dialog, 0x1100);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x1100, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // Escape: ends nothing by itself
    });
    std::chrono::steady_clock::time_point answered;
    EXPECT_EQ(compareRow1(L".mp4", [&](HWND) {
                  answered = std::chrono::steady_clock::now();
                  TakeScreenshot(L"result-actions-compare-result");
              }),
              L"ファイルの完全比較をキャンセルしました。");
    canceller.join();
    EXPECT_LT(std::chrono::duration<double>(answered - cancelled).count(), 1.0 + 0.3 /* the box paints */);
    EXPECT_NE(w.Cell(1, 0), L"100%");
}

TEST(ResultActions, TheShellGetsEveryCheckedPathWholeAndNeverTwoNamesOfOneFile)
{
    TestFolder tree;
    std::wstring deep = tree / L"長い フォルダ名, その一";
    while (deep.size() < 250) deep += L"\\サブ フォルダ, " + std::to_wstring(deep.size());
    ASSERT_TRUE(MakeFolder(deep));
    const std::wstring a = deep + L"\\映画 その一, 前編.avi", b = tree / L"b.avi", c = tree / L"c.avi";
    for (const std::wstring& path : {a, b, c}) MakeFileWithContent(path, 100, 1);

    // The shell takes no "\\?\" paths: the deep one goes in its 8.3 form, whole.
    const std::wstring shortA = ShellPathForm(a);
    ASSERT_GE(a.size(), size_t(MAX_PATH));
    ASSERT_LT(shortA.size(), size_t(MAX_PATH));
    const std::wstring shellA = ExactFile_CL::ShellPathOf(a, ExactFile_CL::Look(a).identity);
    EXPECT_EQ(shellA, shortA) << "the 8.3 form reaches the file itself";
    const std::wstring list = FileDelete_CL::DoubleNulList({shellA, b});
    ASSERT_EQ(list.size(), shortA.size() + 1 + b.size() + 1 + 1);
    EXPECT_EQ(std::wstring(list.c_str()), shortA) << "cut nowhere";
    EXPECT_EQ(std::wstring(list.c_str() + shortA.size() + 1), b);
    EXPECT_EQ(list.substr(list.size() - 2), std::wstring(2, L'\0'));
    EXPECT_EQ(ShellPathForm(b), b);

    // The same file under another spelling: kept as one row, checked as another.
    std::wstring upper = b;
    upper.replace(upper.size() - 5, 5, L"B.AVI");
    EXPECT_EQ(FileDelete_CL::PathsSafeToDelete({upper, c}, {b}), std::vector<std::wstring>{c});
    EXPECT_EQ(FileDelete_CL::PathsSafeToDelete({b, upper, a}, {c}), (std::vector<std::wstring>{b, a})) << "one name per file";
    EXPECT_EQ(FileDelete_CL::PathsSafeToDelete({tree / L"gone.avi"}, {b}), std::vector<std::wstring>{tree / L"gone.avi"})
        << "a missing file is the shell's to report";

    // And the shell deletes by that list what it names.
    const std::wstring deepOnly = FileDelete_CL::DoubleNulList({shellA});
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = deepOnly.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    EXPECT_EQ(::SHFileOperationW(&operation), 0);
    EXPECT_FALSE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
}
