// The settings sheet of the real quillmere.exe, driven from outside: the application page,
// the two extension pages with the add dialog, and what each writes to the INI file.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

constexpr UINT kAppSettingCommand = 0x3021;
constexpr int kStartButton = 0x1100, kGroupList = 0x1104;
constexpr int kApplyButton = 0x3021;  // the sheet's own

struct Fixture {
    Fixture() : redirect(documents.Path()) { MakeFolder(documents / L"Quillmere"); }

    HWND Launch(RemoteProgram& program, const std::wstring& iniText)
    {
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini", L"[VERSION]\r\nnotify=1\r\n" + iniText);
        EXPECT_TRUE(program.Start(L"quillmere.exe", L""));
        return program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
    }
    std::wstring Ini() const { return BytesAsWide(ReadFileBytes(documents / L"Quillmere\\Quillmere.ini")); }
    bool IniHas(const std::wstring& line) const { return Ini().find(line + L"\r\n") != std::wstring::npos; }

    TestFolder documents, tree;
    DocumentsRedirect redirect;
};

HWND OpenSheet(RemoteProgram& program, HWND window)
{
    ::PostMessageW(window, WM_COMMAND, kAppSettingCommand, 0);
    return program.WaitForWindow(L"#32770", L"アプリ設定", 10000);
}

HWND ShowPage(HWND sheet, int index)
{
    ::SendMessageW(sheet, PSM_SETCURSEL, index, 0);
    ::Sleep(200);
    return reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool ApplyEnabled(HWND sheet)
{
    return ::IsWindowEnabled(::GetDlgItem(sheet, kApplyButton));
}

void PressApply(HWND sheet)
{
    ::SendMessageW(::GetDlgItem(sheet, kApplyButton), BM_CLICK, 0, 0);
    ::Sleep(200);
}

void CloseSheet(HWND sheet, int button)
{
    ::PostMessageW(sheet, WM_COMMAND, button, 0);
    for (int i = 0; i < 200 && ::IsWindow(sheet); ++i) ::Sleep(10);
}

// The add dialog of an extension page: types `text`; gives whether OK was enabled and
// presses it (or cancels when it was not).
bool AddExtension(RemoteProgram& program, HWND page, const std::wstring& text, const std::wstring& screenshot = L"")
{
    ::PostMessageW(page, WM_COMMAND, 0x1234, 0);
    HWND dialog = program.WaitForWindow(L"#32770", L"拡張子の追加", 10000);
    if (!dialog) return false;
    ::SendMessageW(::GetDlgItem(dialog, 0x1101), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    const bool enabled = ::IsWindowEnabled(::GetDlgItem(dialog, 0x1000));
    if (!screenshot.empty()) TakeScreenshot(screenshot);
    ::PostMessageW(dialog, WM_COMMAND, enabled ? 0x1000 : 0x1002, 0);
    for (int i = 0; i < 200 && ::IsWindow(dialog); ++i) ::Sleep(10);
    return enabled;
}

}  // namespace

TEST(SettingsSheet, TheApplicationPageShowsTheOptionsAndWritesThemOnApplyOnly)
{
    Fixture f;
    RemoteProgram program;
    HWND window = f.Launch(program, L"[APP_INFO]\r\nprev_image_size_index=2\r\n");
    ASSERT_NE(window, nullptr);
    HWND sheet = OpenSheet(program, window);
    ASSERT_NE(sheet, nullptr);
    HWND page = ShowPage(sheet, 0);
    HWND combo = ::GetDlgItem(page, 0x1100);
    EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    ::Sleep(300);
    TakeScreenshot(L"settings-application-page");

    // Ticking and unticking a box enables Apply though nothing differs in the end.
    HWND movies = ::GetDlgItem(page, 0x1101), images = ::GetDlgItem(page, 0x1102), confirm = ::GetDlgItem(page, 0x1104);
    EXPECT_FALSE(ApplyEnabled(sheet));
    ::SendMessageW(movies, BM_CLICK, 0, 0);
    ::SendMessageW(movies, BM_CLICK, 0, 0);
    EXPECT_TRUE(ApplyEnabled(sheet));

    // Unticking the delete confirmation warns; ticking it again does not.
    ::PostMessageW(confirm, BM_CLICK, 0, 0);
    HWND warning = program.WaitForWindow(L"#32770", L"お知らせ", 5000);
    ASSERT_NE(warning, nullptr);
    EXPECT_NE(RemoteProgram::MessageText(warning).find(L"確認無しで削除されるようになります"), std::wstring::npos);
    ::PostMessageW(warning, WM_COMMAND, IDOK, 0);
    ::Sleep(300);
    ::PostMessageW(confirm, BM_CLICK, 0, 0);
    EXPECT_EQ(program.WaitForWindow(L"#32770", L"お知らせ", 700), nullptr);

    // Cancel writes nothing.
    const std::wstring before = f.Ini();
    ::SendMessageW(images, BM_CLICK, 0, 0);
    CloseSheet(sheet, IDCANCEL);
    EXPECT_EQ(f.Ini(), before);

    // Every option changed and applied lands in [APP_INFO].
    sheet = OpenSheet(program, window);
    page = ShowPage(sheet, 0);
    combo = ::GetDlgItem(page, 0x1100);
    ::SendMessageW(combo, CB_SETCURSEL, 3, 0);
    ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(0x1100, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
    for (int id : {0x1102, 0x1103, 0x1105}) ::SendMessageW(::GetDlgItem(page, id), BM_CLICK, 0, 0);
    ::PostMessageW(::GetDlgItem(page, 0x1104), BM_CLICK, 0, 0);
    warning = program.WaitForWindow(L"#32770", L"お知らせ", 5000);
    if (warning) ::PostMessageW(warning, WM_COMMAND, IDOK, 0);
    ::Sleep(300);
    EXPECT_TRUE(ApplyEnabled(sheet));
    PressApply(sheet);
    for (const wchar_t* line : {L"prev_image_size_index=3", L"compare_movie=1", L"compare_image=0", L"complete_msg=0",
                                L"disp_erase_dialog=0", L"verify_before_delete=0"})
        EXPECT_TRUE(f.IniHas(line)) << std::string(line, line + wcslen(line)).c_str() << "\n" << f.Ini().c_str();
    CloseSheet(sheet, IDOK);
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

TEST(SettingsSheet, ExtensionPagesAddRefuseAndSwitchOffExtensionsAndTheNextSearchFollows)
{
    Fixture f;
    for (const wchar_t* name : {L"a.avi", L"b.avi", L"c.m2p", L"d.m2p"}) MakeFileWithContent(f.tree / name, 3000, name[2]);
    RemoteProgram program;
    HWND window = f.Launch(program, L"[APP_INFO]\r\ncomplete_msg=0\r\n[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|" + f.tree.Path() + L"\r\n");
    ASSERT_NE(window, nullptr);
    HWND sheet = OpenSheet(program, window);
    ASSERT_NE(sheet, nullptr);
    HWND page = ShowPage(sheet, 1);
    HWND list = ::GetDlgItem(page, 0x1101);
    const int count = program.GetItemCount(list);
    ASSERT_GT(count, 30);
    ::Sleep(300);
    TakeScreenshot(L"settings-movie-extensions");

    EXPECT_TRUE(AddExtension(program, page, L"MKV"));
    EXPECT_EQ(program.GetItemCount(list), count) << ".mkv is listed already";
    EXPECT_FALSE(ApplyEnabled(sheet));
    EXPECT_TRUE(AddExtension(program, page, L"m2p", L"settings-add-extension"));
    const int row = program.FindRow(list, L".m2p");
    ASSERT_GE(row, 0);
    EXPECT_EQ(program.GetItemText(list, row - 1, 0), L".m1v") << "at its sorted place";
    EXPECT_EQ(program.GetItemText(list, row + 1, 0), L".m2t");
    EXPECT_EQ(program.GetItemText(list, row, 1), L"★ユーザー追加拡張子");
    EXPECT_EQ(program.GetCheckState(list, row), 1);
    EXPECT_TRUE(AddExtension(program, page, L".Foo"));
    EXPECT_GE(program.FindRow(list, L".foo"), 0);
    for (const wchar_t* refused : {L".", L"a:b", L" . ", L"x*", L"avi."}) EXPECT_FALSE(AddExtension(program, page, refused));
    EXPECT_EQ(program.GetItemCount(list), count + 2);

    // .avi switched off; Apply saves the list; the next search skips .avi and finds .m2p.
    program.SetCheckState(list, program.FindRow(list, L".avi"), 0);
    EXPECT_TRUE(ApplyEnabled(sheet));
    PressApply(sheet);
    EXPECT_NE(f.Ini().find(L"|.avi\r\n"), std::wstring::npos);
    EXPECT_TRUE(f.Ini().find(L"=0|.avi\r\n") != std::wstring::npos);
    EXPECT_TRUE(f.Ini().find(L"=1|.m2p\r\n") != std::wstring::npos);

    // The still-image page has its own section.
    HWND pictures = ShowPage(sheet, 2);
    ::Sleep(300);
    TakeScreenshot(L"settings-picture-extensions");
    EXPECT_TRUE(AddExtension(program, pictures, L"webp"));
    HWND version = ShowPage(sheet, 3);
    (void)version;
    ::Sleep(300);
    TakeScreenshot(L"settings-version-page");
    CloseSheet(sheet, IDOK);
    const std::wstring ini = f.Ini();
    const size_t pictureSection = ini.find(L"[COMPARE_EXT_INFO_PIC]");
    ASSERT_NE(pictureSection, std::wstring::npos);
    EXPECT_GT(ini.find(L"|.webp\r\n"), pictureSection);

    ASSERT_TRUE(ClickAndWaitForText(window, kStartButton, L"比較開始", 60000)) << "the search did not end";
    HWND groups = ::GetDlgItem(window, kGroupList);
    ASSERT_EQ(program.GetItemCount(groups), 1);
    EXPECT_EQ(program.GetItemText(groups, 0, 1), L".m2p");
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}
