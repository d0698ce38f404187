// The real quillmere.exe, started and driven from outside as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

constexpr int kStartButton = 0x1100, kFolderList = 0x1102, kFileList = 0x1103, kGroupList = 0x1104, kTab = 0x1105;
using Row = std::tuple<std::wstring, std::wstring, std::wstring, std::wstring>;

// A Documents folder of its own with the program's INI file, and a tree to search.
struct Fixture {
    Fixture() : redirect(documents.Path()) { MakeFolder(documents / L"Quillmere"); }

    void WriteIni(const std::wstring& folderItems, int count)
    {
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                       L"[VERSION]\r\nnotify=1\r\n[CHECK_FOLDER]\r\ncount=" + std::to_wstring(count) + L"\r\n" + folderItems);
    }
    std::wstring Ini() const { return BytesAsWide(ReadFileBytes(documents / L"Quillmere\\Quillmere.ini")); }

    HWND Launch(RemoteProgram& program, const std::wstring& arguments = L"")
    {
        EXPECT_TRUE(program.Start(L"quillmere.exe", arguments));
        HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        EXPECT_NE(window, nullptr) << "no main window";
        return window;
    }

    TestFolder documents, tree;
    DocumentsRedirect redirect;
};

std::multiset<Row> GroupRows(const RemoteProgram& program, HWND mainWindow)
{
    HWND list = ::GetDlgItem(mainWindow, kGroupList);
    std::multiset<Row> rows;
    for (int i = 0; i < program.GetItemCount(list); ++i)
        rows.insert(Row{program.GetItemText(list, i, 0), program.GetItemText(list, i, 1), program.GetItemText(list, i, 2),
                        program.GetItemText(list, i, 3)});
    return rows;
}

}  // namespace

TEST(MainWindow, FindsTheDuplicatesOfTheCheckedFolders)
{
    Fixture f;
    MakeFolder(f.tree / L"映画\\続編");
    MakeFolder(f.tree / L"other");
    MakeFolder(f.tree / L"unchecked");
    for (const wchar_t* copy : {L"映画\\動画A.avi", L"映画\\続編\\動画A のコピー.avi", L"other\\x.wmv"})
        MakeFileWithContent(f.tree / copy, 70000, 1);
    MakeFileWithContent(f.tree / L"映画\\clip.MP4", 1234567, 2);
    MakeFileWithContent(f.tree / L"other\\clip2.MP4", 1234567, 2);
    MakeFileWithContent(f.tree / L"other\\same size.mkv", 1234567, 3);
    MakeFileWithContent(f.tree / L"other\\notes.txt", 999, 4);
    MakeFileWithContent(f.tree / L"other\\notes2.txt", 999, 4);
    MakeFileWithContent(f.tree / L"unchecked\\動画A.avi", 70000, 1);
    f.WriteIni(L"item0=1|" + (f.tree / L"映画") + L"\r\nitem1=1|" + (f.tree / L"other") + L"\r\nitem2=0|" +
                   (f.tree / L"unchecked") + L"\r\n",
               3);

    RemoteProgram program;
    HWND window = f.Launch(program);
    HWND folders = ::GetDlgItem(window, kFolderList);
    ASSERT_EQ(program.GetItemCount(folders), 3);
    EXPECT_EQ(program.GetItemText(folders, 0, 0), f.tree / L"映画");
    EXPECT_EQ(program.GetCheckState(folders, 2), 0);
    ::Sleep(300);
    TakeScreenshot(L"main-window-idle");

    Click(window, kStartButton);
    EXPECT_EQ(TakeNotice(program, L"main-window-finished"), L"比較が完了しました。");
    // The first file of a group is the one the walk met first; either copy may lead.
    std::multiset<Row> rows = GroupRows(program, window);
    ASSERT_EQ(rows.size(), 2u);
    auto clipRow = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return std::get<2>(r) == L"1,234,567"; });
    ASSERT_NE(clipRow, rows.end());
    EXPECT_TRUE(std::get<0>(*clipRow) == L"clip.MP4" || std::get<0>(*clipRow) == L"clip2.MP4");
    EXPECT_EQ(std::get<1>(*clipRow), L".MP4");
    EXPECT_EQ(std::get<3>(*clipRow), L"2");
    auto movieRow = std::find_if(rows.begin(), rows.end(), [](const Row& r) { return std::get<2>(r) == L"70,000"; });
    ASSERT_NE(movieRow, rows.end());
    EXPECT_EQ(std::get<3>(*movieRow), L"3") << "the unchecked folder's copy is left out";
    EXPECT_NE(std::set<std::wstring>({L"動画A.avi", L"動画A のコピー.avi", L"x.wmv"}).count(std::get<0>(*movieRow)), 0u);

    EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(window, kStartButton)), TRUE);
    EXPECT_EQ(program.CloseAndWait(window, 20000), 0u);
}

TEST(MainWindow, CancelEndsTheSearchWithTheCancelNotice)
{
    Fixture f;
    for (int i = 0; i < 60; ++i) {
        std::wstring sub = f.tree / (L"d" + std::to_wstring(i));
        MakeFolder(sub);
        for (int j = 0; j < 30; ++j) MakeFileWithContent(sub + L"\\f" + std::to_wstring(j) + L".avi", 10, j);
    }
    f.WriteIni(L"item0=1|" + f.tree.Path() + L"\r\n", 1);
    RemoteProgram program;
    HWND window = f.Launch(program);
    HWND button = ::GetDlgItem(window, kStartButton);

    Click(window, kStartButton);
    Click(window, kStartButton);  // handled once the search runs: the cancel
    EXPECT_EQ(TakeNotice(program), L"比較をキャンセルしました。");
    // The window turns idle once the notice has been closed.
    EXPECT_TRUE(WaitForText(button, L"比較開始", 20000));

    // Closing during a search cancels it and ends cleanly, without a notice.
    Click(window, kStartButton);
    EXPECT_EQ(program.CloseAndWait(window, 30000), 0u);
}

TEST(MainWindow, FileListModeComparesExactlyTheListedFiles)
{
    Fixture f;
    for (const wchar_t* name : {L"a.avi", L"テスト.avi", L"c.avi"}) MakeFileWithContent(f.tree / name, 5000, 9);
    f.WriteIni(L"item0=1|" + f.tree.Path() + L"\r\n", 1);
    // Code page 932: the second line is "<tree>\テスト.avi".
    std::string tree(f.tree.Path().begin(), f.tree.Path().end());
    std::string list = tree + "\\a.avi\r\n" + tree + "\\\x83\x65\x83\x58\x83\x67.avi\r\n";
    WriteFileBytes(f.tree / L"list.txt", list.data(), list.size());

    RemoteProgram program;
    HWND window = f.Launch(program, L"\"" + (f.tree / L"list.txt") + L"\"");
    EXPECT_EQ(program.GetTabText(::GetDlgItem(window, kTab), 0), L"比較対象ファイル");
    HWND files = ::GetDlgItem(window, kFileList);
    ASSERT_EQ(program.GetItemCount(files), 2);
    EXPECT_EQ(program.GetItemText(files, 0, 0), f.tree / L"テスト.avi") << "the last line on top";
    EXPECT_TRUE(::IsWindowVisible(files));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(window, kFolderList)));

    Click(window, kStartButton);
    EXPECT_EQ(TakeNotice(program), L"比較が完了しました。");
    std::multiset<Row> rows = GroupRows(program, window);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::get<0>(*rows.begin()), L"a.avi");
    EXPECT_EQ(std::get<3>(*rows.begin()), L"2") << "c.avi is in the folder but not in the list";
    EXPECT_EQ(program.CloseAndWait(window, 20000), 0u);
}

TEST(MainWindow, FolderChecksAndOrderSurviveARestartAndTwoInstancesRunTogether)
{
    Fixture f;
    f.WriteIni(L"item0=1|C:\\B\r\nitem1=1|C:\\A\r\nitem2=0|D:\\日本語\r\n", 3);
    RemoteProgram first, second;
    HWND window = f.Launch(first);
    HWND other = f.Launch(second);
    EXPECT_NE(window, other);
    EXPECT_TRUE(first.IsRunning() && second.IsRunning());
    EXPECT_EQ(second.CloseAndWait(other, 20000), 0u);

    HWND folders = ::GetDlgItem(window, kFolderList);
    first.SetCheckState(folders, 1, 0);
    first.SetCheckState(folders, 2, 1);
    EXPECT_EQ(first.CloseAndWait(window, 20000), 0u);
    std::wstring ini = f.Ini();
    EXPECT_NE(ini.find(L"item0=1|C:\\B"), std::wstring::npos) << "file order kept";
    EXPECT_NE(ini.find(L"item1=0|C:\\A"), std::wstring::npos);
    EXPECT_NE(ini.find(L"item2=1|D:\\日本語"), std::wstring::npos);

    RemoteProgram again;
    window = f.Launch(again);
    folders = ::GetDlgItem(window, kFolderList);
    ASSERT_EQ(again.GetItemCount(folders), 3);
    EXPECT_EQ(again.GetItemText(folders, 2, 0), L"D:\\日本語");
    EXPECT_EQ(again.GetCheckState(folders, 0), 1);
    EXPECT_EQ(again.GetCheckState(folders, 1), 0);
    EXPECT_EQ(again.GetCheckState(folders, 2), 1);
    EXPECT_EQ(again.CloseAndWait(window, 20000), 0u);
}

TEST(MainWindow, TwoInstancesChangingDifferentFoldersLoseNeitherChangeInEitherExitOrder)
{
    for (bool firstExitsFirst : {true, false}) {
        Fixture f;
        f.WriteIni(L"item0=1|C:\\A\r\nitem1=1|C:\\B\r\nitem2=0|C:\\C\r\n", 3);
        RemoteProgram first, second;
        HWND one = f.Launch(first);
        HWND two = f.Launch(second);
        ASSERT_TRUE(one && two);
        first.SetCheckState(::GetDlgItem(one, kFolderList), 0, 0);   // A unticked in one window
        second.SetCheckState(::GetDlgItem(two, kFolderList), 2, 1);  // C ticked in the other
        if (firstExitsFirst) {
            EXPECT_EQ(first.CloseAndWait(one, 20000), 0u);
            EXPECT_EQ(second.CloseAndWait(two, 20000), 0u);
        } else {
            EXPECT_EQ(second.CloseAndWait(two, 20000), 0u);
            EXPECT_EQ(first.CloseAndWait(one, 20000), 0u);
        }
        std::wstring ini = f.Ini();
        EXPECT_NE(ini.find(L"item0=0|C:\\A"), std::wstring::npos) << ini.c_str();
        EXPECT_NE(ini.find(L"item1=1|C:\\B"), std::wstring::npos);
        EXPECT_NE(ini.find(L"item2=1|C:\\C"), std::wstring::npos);

        // A third window shows the merged list.
        RemoteProgram third;
        HWND window = f.Launch(third);
        HWND folders = ::GetDlgItem(window, kFolderList);
        ASSERT_EQ(third.GetItemCount(folders), 3);
        EXPECT_EQ(third.GetCheckState(folders, 0), 0);
        EXPECT_EQ(third.GetCheckState(folders, 2), 1);
        EXPECT_EQ(third.CloseAndWait(window, 20000), 0u);
    }
}
