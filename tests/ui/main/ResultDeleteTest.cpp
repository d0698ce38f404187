// Deleting checked files from the result pane of the real quillmere.exe: to the recycle
// bin, for good with SHIFT held, with the shell's confirmation, and never a file in use or a
// file that was not checked.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/UniqueHandle.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

constexpr int kStartButton = 0x1100, kGroupList = 0x1104, kPane = 0x1106;
constexpr int kDeleteButton = 0x1100, kPaneList = 0x1101;  // the pane's own controls

// Wine's recycle bin: $XDG_DATA_HOME/Trash/files, as a Windows path.
std::wstring TrashFolder()
{
    wchar_t value[1024] = {};
    if (!::GetEnvironmentVariableW(L"XDG_DATA_HOME", value, 1024)) return L"";
    std::wstring path = std::wstring(L"Z:") + value + L"/Trash/files";
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

bool InTrash(const std::wstring& name)
{
    return ::GetFileAttributesW((TrashFolder() + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command of the host (xdotool) and waits for it.
void Host(const std::wstring& command)
{
    std::wstring line = L"/bin/sh -c \"" + command + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, 10000);
}

struct Fixture {
    Fixture() : redirect(documents.Path()) { MakeFolder(documents / L"Quillmere"); }

    HWND Launch(RemoteProgram& program, int confirmDelete, int verify = 1)
    {
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                       L"[VERSION]\r\nnotify=1\r\n[APP_INFO]\r\ncomplete_msg=0\r\ndisp_erase_dialog=" +
                           std::to_wstring(confirmDelete) + L"\r\nverify_before_delete=" + std::to_wstring(verify) +
                           L"\r\n[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|" + tree.Path() +
                           L"\r\n");
        EXPECT_TRUE(program.Start(L"quillmere.exe", L""));
        HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        if (!window) return nullptr;
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kStartButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, kStartButton)));
        HWND groups = ::GetDlgItem(window, kGroupList);
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (program.GetItemCount(groups) < expectedGroups && std::chrono::steady_clock::now() < end) ::Sleep(50);
        ::Sleep(500);  // the search's end
        pane = ::GetDlgItem(window, kPane);
        list = ::GetDlgItem(pane, kPaneList);
        return window;
    }
    // Shows the group whose first file has this size text; false if there is none.
    bool ShowGroup(RemoteProgram& program, HWND window, const std::wstring& size)
    {
        HWND groups = ::GetDlgItem(window, kGroupList);
        for (int row = 0; row < program.GetItemCount(groups); ++row) {
            if (program.GetItemText(groups, row, 2) != size) continue;
            program.SelectRow(groups, row);
            ::Sleep(300);
            return true;
        }
        return false;
    }
    // The path of a row of the pane's list.
    std::wstring RowPath(RemoteProgram& program, int row) const
    {
        return program.GetItemText(list, row, 3) + L"\\" + program.GetItemText(list, row, 1) + program.GetItemText(list, row, 2);
    }
    void PressDelete() const
    {
        ::PostMessageW(pane, WM_COMMAND, MAKEWPARAM(kDeleteButton, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(pane, kDeleteButton)));
    }
    // The group row (by size text) with its 重複数, or L"" when the row is gone.
    std::wstring GroupCount(RemoteProgram& program, HWND window, const std::wstring& size) const
    {
        HWND groups = ::GetDlgItem(window, kGroupList);
        for (int row = 0; row < program.GetItemCount(groups); ++row)
            if (program.GetItemText(groups, row, 2) == size) return program.GetItemText(groups, row, 3);
        return L"";
    }

    TestFolder documents, tree;
    DocumentsRedirect redirect;
    int expectedGroups = 0;
    HWND pane = nullptr, list = nullptr;
};

// Waits for a dialog of the program with this title; gives its text and presses `button`.
std::wstring Answer(RemoteProgram& program, const std::wstring& title, int button, int timeoutMs = 20000)
{
    HWND box = program.WaitForWindow(L"#32770", title, timeoutMs);
    if (!box) return L"(no box)";
    std::wstring text = RemoteProgram::MessageText(box);
    ::PostMessageW(box, WM_COMMAND, button, 0);
    for (int i = 0; i < 200 && ::IsWindow(box); ++i) ::Sleep(10);
    return text;
}

}  // namespace

TEST(ResultDelete, CheckedFilesGoToTheRecycleBinOrForGoodAndNothingElseIsTouched)
{
    Fixture f;
    // Three copies (5,001 bytes), two copies (6,002) and two copies (7,003), names unique to
    // this test so that the recycle bin tells which went there.
    const std::wstring tag = std::to_wstring(::GetTickCount64() % 100000000);
    auto name = [&](const wchar_t* stem) { return std::wstring(stem) + tag + L".avi"; };
    for (const wchar_t* stem : {L"x1-", L"x2-", L"x3-"}) MakeFileWithContent(f.tree / name(stem), 5001, 1);
    for (const wchar_t* stem : {L"y1-", L"y2-"}) MakeFileWithContent(f.tree / name(stem), 6002, 2);
    for (const wchar_t* stem : {L"z1-", L"z2-"}) MakeFileWithContent(f.tree / name(stem), 7003, 3);
    f.expectedGroups = 3;
    RemoteProgram program;
    HWND window = f.Launch(program, 0);
    ASSERT_NE(window, nullptr);

    // Two of three checked: both go to the recycle bin, their rows go, the group keeps one.
    ASSERT_TRUE(f.ShowGroup(program, window, L"5,001"));
    ASSERT_EQ(program.GetItemCount(f.list), 3);
    const std::wstring kept = f.RowPath(program, 0), second = f.RowPath(program, 1), third = f.RowPath(program, 2);
    const std::vector<uint8_t> keptBytes = ReadFileBytes(kept);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(f.pane, kDeleteButton)));
    program.SetCheckState(f.list, 1, 1);
    program.SetCheckState(f.list, 2, 1);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(f.pane, kDeleteButton)));
    f.PressDelete();
    for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
    EXPECT_EQ(program.GetItemCount(f.list), 1);
    EXPECT_FALSE(Exists(second));
    EXPECT_FALSE(Exists(third));
    EXPECT_TRUE(InTrash(second.substr(second.find_last_of(L'\\') + 1)));
    EXPECT_TRUE(InTrash(third.substr(third.find_last_of(L'\\') + 1)));
    EXPECT_EQ(ReadFileBytes(kept), keptBytes) << "the unchecked file is untouched";
    EXPECT_EQ(f.GroupCount(program, window, L"5,001"), L"1");
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(f.pane, kDeleteButton)));

    // A file in use (opened here without delete sharing) keeps its row and its check.
    ASSERT_TRUE(f.ShowGroup(program, window, L"7,003"));
    const std::wstring busy = f.RowPath(program, 1);
    {
        FileHandle holder(::CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        program.SetCheckState(f.list, 1, 1);
        f.PressDelete();
        EXPECT_EQ(Answer(program, L"削除結果", IDOK),
                  L"選択されたファイル全てを削除する事ができませんでした。\r\nファイルが使用中の可能性がありますので確認ください。");
    }
    EXPECT_TRUE(Exists(busy));
    EXPECT_EQ(program.GetItemCount(f.list), 2);
    EXPECT_EQ(program.GetCheckState(f.list, 1), 1);
    EXPECT_EQ(f.GroupCount(program, window, L"7,003"), L"2");

    // With SHIFT held as the button is pressed: gone for good, not in the recycle bin.
    Host(L"xdotool keydown shift");
    ::Sleep(300);
    f.PressDelete();
    for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
    Host(L"xdotool keyup shift");
    EXPECT_FALSE(Exists(busy));
    EXPECT_FALSE(InTrash(busy.substr(busy.find_last_of(L'\\') + 1)));
    EXPECT_TRUE(Exists(f.RowPath(program, 0)));

    // Every file of a group, once confirmed: the group's row goes and the pane shows no group.
    ASSERT_TRUE(f.ShowGroup(program, window, L"6,002"));
    program.SetCheckState(f.list, 0, 1);
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    EXPECT_NE(Answer(program, L"削除の確認", IDYES), L"(no box)");
    for (int i = 0; i < 200 && !f.GroupCount(program, window, L"6,002").empty(); ++i) ::Sleep(50);
    EXPECT_EQ(f.GroupCount(program, window, L"6,002"), L"");
    EXPECT_EQ(program.GetItemCount(::GetDlgItem(window, kGroupList)), 2);
    EXPECT_EQ(program.GetItemCount(f.list), 0);
    EXPECT_FALSE(Exists(f.tree / name(L"y1-")));
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

TEST(ResultDelete, TheShellsConfirmationAnsweredNoDeletesNothing)
{
    Fixture f;
    for (const wchar_t* stem : {L"a.avi", L"b.avi", L"c.avi"}) MakeFileWithContent(f.tree / stem, 8004, 4);
    f.expectedGroups = 1;
    RemoteProgram program;
    HWND window = f.Launch(program, 1);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(f.ShowGroup(program, window, L"8,004"));
    program.SetCheckState(f.list, 1, 1);
    program.SetCheckState(f.list, 2, 1);
    f.PressDelete();
    // The shell asks (its own dialog, whatever its title); No keeps everything.
    HWND question = nullptr;
    for (int i = 0; i < 400 && !question; ++i) {
        question = program.WaitForWindow(L"#32770", L"", 50);
        if (question) TakeScreenshot(L"result-delete-confirmation");
    }
    ASSERT_NE(question, nullptr) << "no confirmation";
    ::PostMessageW(question, WM_COMMAND, IDNO, 0);
    EXPECT_NE(Answer(program, L"削除結果", IDOK), L"(no box)");
    EXPECT_EQ(program.GetItemCount(f.list), 3);
    EXPECT_EQ(program.GetCheckState(f.list, 1), 1);
    EXPECT_EQ(program.GetCheckState(f.list, 2), 1);
    for (const wchar_t* stem : {L"a.avi", L"b.avi", L"c.avi"}) EXPECT_TRUE(Exists(f.tree / stem));
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

TEST(ResultDelete, AFileThatIsNoTrueCopyIsKeptAndTheLastCopyGoesOnlyWhenConfirmed)
{
    for (int verify : {1, 0}) {
        SCOPED_TRACE(verify ? "verified" : "not verified");
        Fixture f;
        // Equal in their first 2 MiB and up to 3 MB, different after: one group, no true copies.
        const uint64_t size = 4 * 1000 * 1000;
        for (const wchar_t* stem : {L"intro.mkv", L"episode2.mkv"}) MakeFileWithContent(f.tree / stem, size, 8);
        std::vector<uint8_t> bytes = ReadFileBytes(f.tree / L"episode2.mkv");
        for (size_t i = 3 * 1000 * 1000; i < bytes.size(); ++i) bytes[i] ^= 0x5A;
        WriteFileBytes(f.tree / L"episode2.mkv", bytes);
        for (const wchar_t* stem : {L"p.avi", L"q.avi"}) MakeFileWithContent(f.tree / stem, 9009, 9);
        for (const wchar_t* stem : {L"t1.wmv", L"t2.wmv", L"t3.wmv"}) MakeFileWithContent(f.tree / stem, 3000001, 10);
        f.expectedGroups = 3;
        RemoteProgram program;
        HWND window = f.Launch(program, 0, verify);
        ASSERT_NE(window, nullptr);

        ASSERT_TRUE(f.ShowGroup(program, window, L"4,000,000"));
        const std::wstring second = f.RowPath(program, 1);
        program.SetCheckState(f.list, 1, 1);
        f.PressDelete();
        if (verify) {
            const std::wstring message = Answer(program, L"削除結果", IDOK);
            EXPECT_NE(message.find(second.substr(second.find_last_of(L'\\') + 1)), std::wstring::npos) << "names the file";
            EXPECT_TRUE(Exists(second));
            ASSERT_EQ(program.GetItemCount(f.list), 2);
            EXPECT_EQ(program.GetCheckState(f.list, 1), 1) << "the tick stays";
            const int share = std::stoi(program.GetItemText(f.list, 1, 0));
            EXPECT_GE(share, 50);  // the steps before the one holding 3 MB: 2,031,616 bytes equal
            EXPECT_LT(share, 75);
        } else {
            for (int i = 0; i < 100 && Exists(second); ++i) ::Sleep(50);
            EXPECT_FALSE(Exists(second)) << "without the check, as before";
        }

        // True copies larger than what the search compared: checked whole, then deleted.
        ASSERT_TRUE(f.ShowGroup(program, window, L"3,000,001"));
        program.SetCheckState(f.list, 1, 1);
        program.SetCheckState(f.list, 2, 1);
        f.PressDelete();
        for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
        EXPECT_EQ(program.GetItemCount(f.list), 1);
        EXPECT_EQ(f.GroupCount(program, window, L"3,000,001"), L"1");

        // Every file of a group ticked: asked once; No keeps everything, Yes deletes all.
        ASSERT_TRUE(f.ShowGroup(program, window, L"9,009"));
        program.SetCheckState(f.list, 0, 1);
        program.SetCheckState(f.list, 1, 1);
        Host(L"xdotool keydown shift");  // SHIFT does not skip the question
        ::Sleep(300);
        f.PressDelete();
        const std::wstring question = Answer(program, L"削除の確認", IDNO);
        Host(L"xdotool keyup shift");
        EXPECT_NE(question.find(L"p.avi"), std::wstring::npos) << "names the group";
        EXPECT_TRUE(Exists(f.tree / L"p.avi") && Exists(f.tree / L"q.avi"));
        EXPECT_EQ(program.GetCheckState(f.list, 0), 1);
        EXPECT_EQ(program.GetCheckState(f.list, 1), 1);
        f.PressDelete();
        EXPECT_NE(Answer(program, L"削除の確認", IDYES), L"(no box)");
        for (int i = 0; i < 100 && Exists(f.tree / L"p.avi"); ++i) ::Sleep(50);
        EXPECT_FALSE(Exists(f.tree / L"p.avi") || Exists(f.tree / L"q.avi"));
        EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
    }
}

TEST(ResultDelete, AVerificationCancelledHalfWayDeletesNothing)
{
    Fixture f;
    for (const wchar_t* stem : {L"big1.mp4", L"big2.mp4"}) {
        MakeFileWithContent(f.tree / stem, 100, 7);
        SetFileLength(f.tree / stem, 6ull << 30);  // sparse: quick to make, slow to compare
    }
    f.expectedGroups = 1;
    RemoteProgram program;
    HWND window = f.Launch(program, 0);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(f.ShowGroup(program, window, L"6,442,450,944"));
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    HWND dialog = program.WaitForWindow(L"#32770", L"ファイルの完全比較を行っています。", 20000);
    ASSERT_NE(dialog, nullptr);
    ::Sleep(500);
    HWND cancel = ::GetDlgItem(dialog, 0x1100);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x1100, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    EXPECT_EQ(Answer(program, L"削除結果", IDOK), L"削除前の比較をキャンセルしたため、ファイルは削除していません。");
    EXPECT_TRUE(Exists(f.tree / L"big1.mp4") && Exists(f.tree / L"big2.mp4"));
    EXPECT_EQ(program.GetItemCount(f.list), 2);
    EXPECT_EQ(program.GetCheckState(f.list, 1), 1);
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}
