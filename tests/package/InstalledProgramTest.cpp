// The program as a user unpacked or installed it, started from its own folder in a Wine prefix
// of its own. install-test.sh names its quillmere.exe in QUILLMERE_UNDER_TEST, has written its
// settings (one folder to search, no update check) and the folder, and says in
// QUILLMERE_SCREENSHOT what to call the picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "core/AppMessages.h"
#include "core/Version.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"

namespace {

constexpr int kStartButton = 0x1100, kFolderList = 0x1102, kGroupList = 0x1104;

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    return ::GetEnvironmentVariableW(name, value, MAX_PATH) < MAX_PATH ? value : L"";
}

// The version resource of an executable, read as Explorer's properties page reads it.
class VersionResource {
public:
    explicit VersionResource(const std::wstring& path)
    {
        DWORD ignored = 0;
        block.resize(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (block.empty() || !::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
            block.clear();
    }
    bool Found() const { return !block.empty(); }
    const VS_FIXEDFILEINFO* Fixed() const
    {
        void* value = nullptr;
        UINT size = 0;
        if (!Found() || !::VerQueryValueW(block.data(), L"\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    // A value of the Japanese string table.
    std::wstring Text(const std::wstring& key) const
    {
        void* value = nullptr;
        UINT size = 0;
        const std::wstring query = L"\\StringFileInfo\\041104B0\\" + key;
        if (!Found() || !::VerQueryValueW(block.data(), query.c_str(), &value, &size)) return L"(none)";
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<BYTE> block;
};

// The text of the version page's "Version : ..." line, the settings sheet opened on it and
// left open.
std::wstring VersionPageLine(RemoteProgram& program, HWND mainWindow)
{
    ::PostMessageW(mainWindow, WM_COMMAND, ID_APP_SETTING, 0);
    HWND sheet = program.WaitForWindow(L"#32770", L"アプリ設定", 20000);
    if (!sheet) return L"(no settings sheet)";
    ::SendMessageW(sheet, PSM_SETCURSEL, 3, 0);
    HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    std::wstring line = L"(no version line)";
    for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[128] = {};
        ::GetWindowTextW(child, text, 128);
        if (wcsncmp(text, L"Version", 7) == 0) line = text;
    }
    return line;
}

// Other tests show windows on the same display meanwhile: the window looked at goes on top
// for the picture.
void ShotOnTop(HWND window, const std::wstring& name)
{
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, keep);
    ::Sleep(300);
    TakeScreenshot(name);
    ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
}

}  // namespace

TEST(InstalledProgram, CarriesItsVersionStartsFromItsFolderAndFindsTheGroup)
{
    const std::wstring exe = Environment(L"QUILLMERE_UNDER_TEST");
    ASSERT_FALSE(exe.empty()) << "QUILLMERE_UNDER_TEST names the program";
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));

    for (const wchar_t* name : {L"quillmere.exe", L"quillmere-cli.exe"}) {
        SCOPED_TRACE(testing::Message() << "version resource of " << std::string(name, name + wcslen(name)));
        const VersionResource resource(folder + L"\\" + name);
        const VS_FIXEDFILEINFO* fixed = resource.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(QUILLMERE_VERSION_MINOR, QUILLMERE_VERSION_MAJOR)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, QUILLMERE_VERSION_PATCH)));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(resource.Text(L"FileVersion"), kProgramVersion);
        EXPECT_EQ(resource.Text(L"ProductVersion"), kProgramVersion);
        EXPECT_EQ(resource.Text(L"ProductName"), L"Quillmere");
        EXPECT_EQ(resource.Text(L"CompanyName"), L"Quillmere");
        EXPECT_EQ(resource.Text(L"OriginalFilename"), name);
        EXPECT_EQ(resource.Text(L"FileDescription").rfind(L"Quillmere 重複動画ファイル検索", 0), 0u);
        EXPECT_NE(resource.Text(L"LegalCopyright").find(L"Quillmere"), std::wstring::npos);
    }

    RemoteProgram program;
    ASSERT_TRUE(program.Start(exe, L""));
    HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 30000);
    ASSERT_NE(window, nullptr) << "no main window";
    EXPECT_EQ(program.GetItemCount(::GetDlgItem(window, kFolderList)), 1) << "the folder of the settings";

    Click(window, kStartButton);
    EXPECT_EQ(TakeNotice(program), L"比較が完了しました。");
    HWND groups = ::GetDlgItem(window, kGroupList);
    ASSERT_EQ(program.GetItemCount(groups), 1);
    EXPECT_EQ(program.GetItemText(groups, 0, 1), L".avi");
    EXPECT_EQ(program.GetItemText(groups, 0, 3), L"2");

    const std::wstring screenshot = Environment(L"QUILLMERE_SCREENSHOT");
    ShotOnTop(window, screenshot);

    EXPECT_EQ(VersionPageLine(program, window), std::wstring(L"Version : ") + kProgramVersion);
    HWND sheet = program.WaitForWindow(L"#32770", L"アプリ設定", 1000);
    ShotOnTop(sheet, screenshot + L"-version");
    ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 200 && ::IsWindow(sheet); ++i) ::Sleep(10);

    EXPECT_EQ(program.CloseAndWait(window, 20000), 0u);
}
