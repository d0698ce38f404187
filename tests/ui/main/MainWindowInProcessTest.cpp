// The main window inside the test process, for what cannot be sent from outside: dropped
// folders (an HDROP is a handle of the receiving process), the folder menu's commands and
// the hover tooltips.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

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
    InitialiseGuiOnce();
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
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
    TheLog().SetPath(L"");
    Gdiplus::GdiplusShutdown(token);
}
