// Deleting checked files from the result pane of the real quillmere.exe: to the recycle
// bin, for good with SHIFT held, with the shell's confirmation, and never a file in use or a
// file that was not checked.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "core/PathFunctions.h"
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
    return ::GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Sparse: quick to make, slow to compare.
void MakeSparseFiles(const std::wstring& folder, std::initializer_list<const wchar_t*> names, uint64_t size, uint32_t seed)
{
    for (const wchar_t* name : names) {
        MakeFileWithContent(folder + L"\\" + name, 100, seed);
        SetFileLength(folder + L"\\" + name, size);
    }
}

uint64_t SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The exact names in a folder (a case-sensitive folder may hold two that differ in case only).
std::vector<std::wstring> NamesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    FindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    return names;
}

// Runs a command of the host and returns once it has finished. Waiting on a host program's
// process handle returns at once under Wine, so the command leaves a marker file behind.
void Host(const std::wstring& command)
{
    static int count = 0;
    const std::wstring marker = L"/tmp/quillmere-host-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++count);
    std::wstring line = L"/bin/sh -c \"" + command + L"; touch " + marker + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    std::wstring windowsMarker = L"Z:" + marker;
    std::replace(windowsMarker.begin(), windowsMarker.end(), L'/', L'\\');
    for (int i = 0; i < 200 && ::GetFileAttributesW(windowsMarker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
    ::DeleteFileW(windowsMarker.c_str());
}

// Holds SHIFT down on the display for the program's window. A key typed on the display goes
// to the window with the X focus, which for a moment after a box has closed (or a window of
// another test program has gone) may be none of this Wine's: the key would be lost.
void HoldShift(HWND window)
{
    ::SetForegroundWindow(window);
    for (int i = 0; i < 200 && ::GetForegroundWindow() != window; ++i) ::Sleep(50);
    EXPECT_EQ(::GetForegroundWindow(), window) << "the program's window could not be brought to the front";
    Host(L"xdotool keydown shift");
    ::Sleep(300);
}

struct Fixture {
    Fixture() : redirect(documents.Path()) { MakeFolder(documents / L"Quillmere"); }

    // The folders are searched in the order given (the tree when none is given).
    HWND Launch(RemoteProgram& program, int confirmDelete, int verify = 1, std::vector<std::wstring> folders = {})
    {
        if (folders.empty()) folders.push_back(tree.Path());
        std::wstring items;
        for (size_t i = 0; i < folders.size(); ++i) items += L"item" + std::to_wstring(i) + L"=1|" + folders[i] + L"\r\n";
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                       L"[VERSION]\r\nnotify=1\r\n[APP_INFO]\r\ncomplete_msg=0\r\ndisp_erase_dialog=" +
                           std::to_wstring(confirmDelete) + L"\r\nverify_before_delete=" + std::to_wstring(verify) +
                           L"\r\n[CHECK_FOLDER]\r\ncount=" + std::to_wstring(folders.size()) + L"\r\n" + items);
        EXPECT_TRUE(program.Start(L"quillmere.exe", L""));
        HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        if (!window) return nullptr;
        EXPECT_TRUE(ClickAndWaitForText(window, kStartButton, L"比較開始", 60000)) << "the search did not end";
        EXPECT_GE(program.GetItemCount(::GetDlgItem(window, kGroupList)), expectedGroups);
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
    // The row showing this path, or -1.
    int RowOf(RemoteProgram& program, const std::wstring& path) const
    {
        for (int row = 0; row < program.GetItemCount(list); ++row)
            if (RowPath(program, row) == path) return row;
        return -1;
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

    // The paths of every group's rows, group by group, as the pane lists them.
    std::vector<std::vector<std::wstring>> AllRows(RemoteProgram& program, HWND window)
    {
        std::vector<std::vector<std::wstring>> rows;
        HWND groups = ::GetDlgItem(window, kGroupList);
        for (int group = 0; group < program.GetItemCount(groups); ++group) {
            program.SelectRow(groups, group);
            ::Sleep(300);
            rows.emplace_back();
            for (int row = 0; row < program.GetItemCount(list); ++row) rows.back().push_back(RowPath(program, row));
        }
        return rows;
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
    HoldShift(window);
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
    const std::wstring message = Answer(program, L"削除結果", IDOK);
    EXPECT_NE(message.find(L"削除の確認で取り消された"), std::wstring::npos) << message;
    EXPECT_EQ(message.find(L"使用中"), std::wstring::npos) << "a No is no file in use";
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
        HoldShift(window);  // SHIFT does not skip the question
        f.PressDelete();
        const std::wstring question = Answer(program, L"削除の確認", IDNO);
        Host(L"xdotool keyup shift");
        EXPECT_NE(question.find(L"p.avi"), std::wstring::npos) << "names the group";
        EXPECT_TRUE(Exists(f.tree / L"p.avi") && Exists(f.tree / L"q.avi"));
        EXPECT_EQ(program.GetCheckState(f.list, 0), 1);
        EXPECT_EQ(program.GetCheckState(f.list, 1), 1);
        f.PressDelete();
        EXPECT_NE(Answer(program, L"削除の確認", IDYES), L"(no box)");
        for (int i = 0; i < 200 && (Exists(f.tree / L"p.avi") || Exists(f.tree / L"q.avi")); ++i) ::Sleep(50);
        EXPECT_FALSE(Exists(f.tree / L"p.avi") || Exists(f.tree / L"q.avi"));
        EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
    }
}

TEST(ResultDelete, AVerificationCancelledHalfWayDeletesNothing)
{
    Fixture f;
    MakeSparseFiles(f.tree.Path(), {L"big1.mp4", L"big2.mp4"}, 6ull << 30, 7);
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

TEST(ResultDelete, TheTickedFileGoesAndNeverTheFileItsNameWouldReachInstead)
{
    Fixture f;
    // A true copy in a folder whose name ends in a dot; a different movie of the same name
    // in the folder without the dot, in no group.
    const std::wstring dotted = f.tree / L"movies.\\clip.avi", plain = f.tree / L"movies\\clip.avi";
    ASSERT_TRUE(MakeFolder(LongPathForm(f.tree / L"movies.")) && MakeFolder(f.tree / L"movies"));
    MakeFileWithContent(LongPathForm(dotted), 5001, 1);
    MakeFileWithContent(f.tree / L"copy of clip.avi", 5001, 1);
    MakeFileWithContent(plain, 4999, 2);
    // Deep enough for the shell to get 8.3 forms: two long names with one short form (the
    // one made second answers to it under Wine); a copy of the first elsewhere.
    std::wstring deep = f.tree / L"deep folder";
    while (deep.size() < 240) deep += L"\\sub folder " + std::to_wstring(deep.size());
    ASSERT_TRUE(MakeFolder(deep));
    const std::wstring trip = deep + L"\\home_trip_2005_clip02.mp4", wedding = deep + L"\\home_wedding_2011_clip28.mp4";
    MakeFileWithContent(trip, 6002, 3);
    MakeFileWithContent(wedding, 6001, 4);
    MakeFileWithContent(f.tree / L"trip copy.mp4", 6002, 3);
    ASSERT_EQ(ShellPathForm(trip), ShellPathForm(wedding)) << "the platform made no shared short name";
    // Two names differing in case only, in one (case-sensitive) folder: CLIP.avi is a copy,
    // clip.avi is unique.
    const std::wstring twins = f.tree / L"twins";
    ASSERT_TRUE(MakeFolder(twins));
    MakeFileWithContent(twins + L"\\clip.avi", 7002, 6);
    MakeFileWithContent(f.tree / L"upper.tmp", 7003, 5);
    ASSERT_TRUE(MoveOnHost(f.tree / L"upper.tmp", twins, "CLIP.avi"));
    MakeFileWithContent(f.tree / L"twin copy.avi", 7003, 5);
    const std::vector<uint8_t> plainBytes = ReadFileBytes(plain), weddingBytes = ReadFileBytes(wedding),
                               twinBytes = ReadFileBytes(twins + L"\\clip.avi");
    f.expectedGroups = 3;
    RemoteProgram program;
    HWND window = f.Launch(program, 0);
    ASSERT_NE(window, nullptr);

    // To the recycle bin: no name the shell takes reaches the ticked file alone, so it stays
    // and the message says why.
    for (const auto& [size, path] : {std::pair{L"5,001", dotted}, std::pair{L"6,002", trip}}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(f.ShowGroup(program, window, size));
        const int row = f.RowOf(program, path);
        ASSERT_GE(row, 0);
        program.SetCheckState(f.list, row, 1);
        f.PressDelete();
        const std::wstring message = Answer(program, L"削除結果", IDOK);
        EXPECT_NE(message.find(L"ごみ箱に移せない"), std::wstring::npos) << message;
        EXPECT_NE(message.find(GetFileNamePart(path)), std::wstring::npos) << message;
        EXPECT_TRUE(Exists(path));
        EXPECT_EQ(program.GetItemCount(f.list), 2);
    }
    EXPECT_EQ(ReadFileBytes(plain), plainBytes);
    EXPECT_EQ(ReadFileBytes(wedding), weddingBytes);

    // For good (SHIFT held): through a handle that reaches the ticked file and no other.
    HoldShift(window);
    for (const auto& [size, path] : {std::pair{L"5,001", dotted}, std::pair{L"6,002", trip}}) {
        ASSERT_TRUE(f.ShowGroup(program, window, size));
        program.SetCheckState(f.list, f.RowOf(program, path), 1);
        f.PressDelete();
        for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
        EXPECT_EQ(program.GetItemCount(f.list), 1) << size;
    }
    Host(L"xdotool keyup shift");
    EXPECT_EQ(program.WaitForWindow(L"#32770", L"削除結果", 500), nullptr) << "nothing to report";
    EXPECT_FALSE(Exists(dotted));
    EXPECT_FALSE(Exists(trip));
    EXPECT_EQ(ReadFileBytes(plain), plainBytes) << "the movie the plain name reaches is untouched";
    EXPECT_EQ(ReadFileBytes(wedding), weddingBytes) << "the file the short name reaches is untouched";
    EXPECT_TRUE(Exists(f.tree / L"copy of clip.avi") && Exists(f.tree / L"trip copy.mp4"));

    // Case twins: the ticked CLIP.avi goes; its name then finds clip.avi, which neither makes
    // the delete a failure nor keeps the row for a second press.
    ASSERT_TRUE(f.ShowGroup(program, window, L"7,003"));
    const int upperRow = f.RowOf(program, twins + L"\\CLIP.avi");
    ASSERT_GE(upperRow, 0);
    program.SetCheckState(f.list, upperRow, 1);
    f.PressDelete();
    for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
    EXPECT_EQ(program.GetItemCount(f.list), 1);
    EXPECT_EQ(program.WaitForWindow(L"#32770", L"削除結果", 1000), nullptr) << "success reported as failure";
    EXPECT_EQ(NamesIn(twins), std::vector<std::wstring>{L"clip.avi"});
    EXPECT_EQ(ReadFileBytes(twins + L"\\clip.avi"), twinBytes);
    EXPECT_EQ(f.GroupCount(program, window, L"7,003"), L"1");
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

TEST(ResultDelete, FilesChangedSinceTheSearchAreComparedAgainOrKeptAndNamed)
{
    Fixture f;
    const std::wstring first = f.tree / L"first", second = f.tree / L"second";
    ASSERT_TRUE(MakeFolder(first) && MakeFolder(second));
    // Small files, which the search compared to their end.
    for (const wchar_t* stem : {L"a1.avi", L"a2.avi", L"a3.avi"}) MakeFileWithContent(second + L"\\" + stem, 6002, 2);
    for (const wchar_t* stem : {L"b1.avi", L"b2.avi", L"b3.avi"}) MakeFileWithContent(second + L"\\" + stem, 7003, 3);
    for (const wchar_t* stem : {L"c1.avi", L"c2.avi"}) MakeFileWithContent(second + L"\\" + stem, 8004, 4);
    for (const wchar_t* stem : {L"e1.avi", L"e2.avi"}) MakeFileWithContent(second + L"\\" + stem, 9005, 5);
    for (const wchar_t* stem : {L"d1.avi", L"d2.avi"}) MakeFileWithContent(second + L"\\" + stem, 8506, 6);
    // Larger than what the search compares: X first (its folder is searched first), then two
    // copies of Y, which differs from X in the last byte only.
    const std::wstring x = first + L"\\x.mkv";
    MakeFileWithContent(x, 3000000, 8);
    std::vector<uint8_t> y = ReadFileBytes(x);
    y.back() ^= 1;
    WriteFileBytes(second + L"\\y1.mkv", y);
    WriteFileBytes(second + L"\\y2.mkv", y);
    // P, then B (differs from P after 3 MB), then C (a copy of P), found in that order.
    const std::wstring third = f.tree / L"third";
    ASSERT_TRUE(MakeFolder(third));
    const std::wstring p = first + L"\\p.wmv", b = second + L"\\b.wmv", c = third + L"\\c.wmv";
    MakeFileWithContent(p, 4000000, 11);
    const std::vector<uint8_t> pBytes = ReadFileBytes(p);
    std::vector<uint8_t> bBytes = pBytes;
    for (size_t i = 3000000; i < bBytes.size(); ++i) bBytes[i] ^= 0x5A;
    WriteFileBytes(b, bBytes);
    WriteFileBytes(c, pBytes);
    f.expectedGroups = 7;
    RemoteProgram program;
    HWND window = f.Launch(program, 0, 1, {first, second, third});
    ASSERT_NE(window, nullptr);
    auto tick = [&](const wchar_t* size, std::vector<int> rows) {
        EXPECT_TRUE(f.ShowGroup(program, window, size)) << size;
        std::vector<std::wstring> paths;
        for (int row : rows) {
            program.SetCheckState(f.list, row, 1);
            paths.push_back(f.RowPath(program, row));
        }
        return paths;
    };
    auto flipped = [](std::vector<uint8_t> bytes) {
        for (uint8_t& byte : bytes) byte ^= 0x33;
        return bytes;
    };
    auto expectNamed = [](const std::wstring& message, const wchar_t* reason, const std::vector<std::wstring>& paths) {
        EXPECT_NE(message.find(reason), std::wstring::npos) << message;
        for (const std::wstring& path : paths) EXPECT_NE(message.find(GetFileNamePart(path)), std::wstring::npos) << message;
    };

    // The file that stays was deleted after the search: nothing ticked goes.
    std::vector<std::wstring> ticked = tick(L"6,002", {1, 2});
    const std::wstring keptA = f.RowPath(program, 0);
    ASSERT_TRUE(::DeleteFileW(keptA.c_str()));
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"残すファイルが見つからない", ticked);
    for (const std::wstring& path : ticked) EXPECT_EQ(ReadFileBytes(path).size(), 6002u);
    EXPECT_EQ(program.GetItemCount(f.list), 3);

    // A ticked file rewritten in place (same size): compared again, found different, kept;
    // its unchanged neighbour goes on the search's word.
    ticked = tick(L"7,003", {1, 2});
    const std::vector<uint8_t> rewritten = flipped(ReadFileBytes(ticked[1]));
    ASSERT_TRUE(WriteFileBytes(ticked[1], rewritten));
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"内容が一致しない", {ticked[1]});
    EXPECT_FALSE(Exists(ticked[0]));
    EXPECT_EQ(ReadFileBytes(ticked[1]), rewritten);
    EXPECT_EQ(program.GetItemCount(f.list), 2);

    // The file that stays overwritten (same size): the ticked copy is the last of its content.
    ticked = tick(L"8,004", {1});
    const std::vector<uint8_t> original = ReadFileBytes(ticked[0]);
    ASSERT_TRUE(WriteFileBytes(f.RowPath(program, 0), flipped(original)));
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"内容が一致しない", ticked);
    EXPECT_EQ(ReadFileBytes(ticked[0]), original);

    // The ticked file rewritten (same bytes), so compared again, while the file that stays is
    // held open by a program that lets no one read it: it cannot be checked, which is no
    // difference in content.
    ticked = tick(L"8,506", {1});
    ASSERT_TRUE(WriteFileBytes(ticked[0], ReadFileBytes(ticked[0])));
    {
        FileHandle holder(::CreateFileW(f.RowPath(program, 0).c_str(), GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        f.PressDelete();
        expectNamed(Answer(program, L"削除結果", IDOK), L"確かめられなかった", ticked);
    }
    EXPECT_EQ(ReadFileBytes(ticked[0]).size(), 8506u);

    // The ticked file replaced by another file of the same name (here even of the same
    // content): not the file the user ticked, so it stays.
    // (Made beside it first: a file made after the delete may get the freed file index.)
    ticked = tick(L"9,005", {1});
    MakeFileWithContent(second + L"\\replacement.tmp", 9005, 5);
    ASSERT_TRUE(::DeleteFileW(ticked[0].c_str()));
    ASSERT_TRUE(::MoveFileW((second + L"\\replacement.tmp").c_str(), ticked[0].c_str()));
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"置き換えられていた", ticked);
    EXPECT_TRUE(Exists(ticked[0]));

    // X, Y, Y: a Y found equal to the other Y is not thereby "compared to the end" with X.
    ASSERT_TRUE(f.ShowGroup(program, window, L"3,000,000"));
    ASSERT_EQ(f.RowPath(program, 0), x);
    const std::wstring y1 = f.RowPath(program, 1), y2 = f.RowPath(program, 2);
    {
        // Tick X and the first Y, keeping the second: the first Y is equal to it but held open
        // here, so it stays; X differs.
        FileHandle holder(::CreateFileW(y1.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        tick(L"3,000,000", {0, 1});
        f.PressDelete();
        const std::wstring message = Answer(program, L"削除結果", IDOK);
        expectNamed(message, L"内容が一致しない", {x});
        EXPECT_NE(message.find(L"使用中"), std::wstring::npos) << message;
        EXPECT_NE(program.GetItemText(f.list, 1, 0), L"100%") << "the share against the first file, not the kept one";
    }
    // Now both Ys, keeping X: each must be compared with X, and both stay.
    program.SetCheckState(f.list, 0, 0);
    program.SetCheckState(f.list, 2, 1);
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"内容が一致しない", {y1, y2});
    EXPECT_EQ(ReadFileBytes(y1), y);
    EXPECT_EQ(ReadFileBytes(y2), y);
    EXPECT_EQ(ReadFileBytes(x).size(), 3000000u);

    // P, B, C: C found equal to P (and held open, so it stays); then P goes, kept as C. What C
    // was known to share with P says nothing about B, now the first file: C is compared with
    // B before it may go, and stays, the last copy of P's content.
    ASSERT_TRUE(f.ShowGroup(program, window, L"4,000,000"));
    ASSERT_EQ(f.RowPath(program, 0), p);
    ASSERT_EQ(f.RowPath(program, 1), b);
    {
        FileHandle holder(::CreateFileW(c.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        tick(L"4,000,000", {2});
        f.PressDelete();
        EXPECT_NE(Answer(program, L"削除結果", IDOK).find(L"使用中"), std::wstring::npos);
    }
    program.SetCheckState(f.list, 2, 0);
    program.SetCheckState(f.list, 0, 1);
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"内容が一致しない", {b});
    EXPECT_FALSE(Exists(p));
    ASSERT_EQ(program.GetItemCount(f.list), 2);
    program.SetCheckState(f.list, 0, 0);
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    expectNamed(Answer(program, L"削除結果", IDOK), L"内容が一致しない", {c});
    EXPECT_EQ(ReadFileBytes(c), pBytes);
    EXPECT_EQ(ReadFileBytes(b), bBytes);
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

TEST(ResultDelete, AFileGrowingDuringTheCheckIsKeptAndACloseDuringTheCheckDeletesNothing)
{
    Fixture f;
    MakeSparseFiles(f.tree.Path(), {L"grow1.mp4", L"grow2.mp4"}, 6ull << 30, 7);
    MakeSparseFiles(f.tree.Path(), {L"close1.mp4", L"close2.mp4"}, 7ull << 30, 9);
    f.expectedGroups = 2;
    RemoteProgram program;
    HWND window = f.Launch(program, 0);
    ASSERT_NE(window, nullptr);

    // 38 bytes appended to the ticked file while it is compared: kept, and said why.
    ASSERT_TRUE(f.ShowGroup(program, window, L"6,442,450,944"));
    const std::wstring growing = f.RowPath(program, 1);
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    ASSERT_NE(program.WaitForWindow(L"#32770", L"ファイルの完全比較を行っています。", 20000), nullptr);
    {
        FileHandle file(::CreateFileW(growing.c_str(), FILE_APPEND_DATA, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.Get(), "thirty-eight bytes appended to a movie", 38, &written, nullptr));
    }
    const std::wstring message = Answer(program, L"削除結果", IDOK, 120000);
    EXPECT_NE(message.find(L"書き換えられた"), std::wstring::npos) << message;
    EXPECT_NE(message.find(GetFileNamePart(growing)), std::wstring::npos) << message;
    EXPECT_EQ(SizeOf(growing), (6ull << 30) + 38);
    EXPECT_EQ(program.GetItemCount(f.list), 2);

    // The main window closed (as "End task" asks) during the check: the check is cancelled,
    // nothing is deleted, no box is left, and the program ends.
    ASSERT_TRUE(f.ShowGroup(program, window, L"7,516,192,768"));
    program.SetCheckState(f.list, 1, 1);
    f.PressDelete();
    ASSERT_NE(program.WaitForWindow(L"#32770", L"ファイルの完全比較を行っています。", 20000), nullptr);
    EXPECT_EQ(program.CloseAndWait(window, 30000), 0u);
    EXPECT_EQ(SizeOf(f.tree / L"close1.mp4"), 7ull << 30);
    EXPECT_EQ(SizeOf(f.tree / L"close2.mp4"), 7ull << 30);
}

// Users keep a folder and one inside it in the list, both ticked: the search treats their
// union, so each copy stands in one group, once. Deleting in that group (without the check
// before deleting, where a second group of the same files could lose the last copy) leaves
// no row of a deleted file anywhere.
TEST(ResultDelete, FoldersNestedInTheListGiveEachCopyOnceAndADeleteLeavesNoRowBehind)
{
    Fixture f;
    const std::wstring tag = std::to_wstring(::GetTickCount64() % 100000000);
    MakeFolder(f.tree / L"sub");
    for (const wchar_t* stem : {L"sub\\s1-", L"sub\\s2-", L"sub\\s3-"}) MakeFileWithContent(f.tree / (stem + tag + L".avi"), 5005, 5);
    for (const wchar_t* stem : {L"top-", L"sub\\top copy-"}) MakeFileWithContent(f.tree / (stem + tag + L".avi"), 6006, 6);
    f.expectedGroups = 2;
    RemoteProgram program;
    HWND window = f.Launch(program, 0, 0, {f.tree / L"sub", f.tree.Path()});
    ASSERT_NE(window, nullptr);
    ::Sleep(1000);
    std::vector<std::vector<std::wstring>> rows = f.AllRows(program, window);
    ASSERT_EQ(rows.size(), 2u);
    std::set<std::wstring> seen;
    size_t count = 0;
    for (const auto& group : rows) {
        seen.insert(group.begin(), group.end());
        count += group.size();
    }
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(seen.size(), 5u) << "each file in one group, once";

    ASSERT_TRUE(f.ShowGroup(program, window, L"5,005"));
    ASSERT_EQ(program.GetItemCount(f.list), 3);
    const std::wstring kept = f.RowPath(program, 0), second = f.RowPath(program, 1), third = f.RowPath(program, 2);
    program.SetCheckState(f.list, 1, 1);
    program.SetCheckState(f.list, 2, 1);
    f.PressDelete();
    for (int i = 0; i < 200 && program.GetItemCount(f.list) != 1; ++i) ::Sleep(50);
    EXPECT_FALSE(Exists(second) || Exists(third));
    EXPECT_TRUE(Exists(kept)) << "the last copy stays";
    EXPECT_EQ(f.GroupCount(program, window, L"5,005"), L"1");
    for (const auto& group : f.AllRows(program, window)) {
        for (const std::wstring& path : group) EXPECT_TRUE(Exists(path)) << "a row of a deleted file: " << path;
    }
    ASSERT_TRUE(f.ShowGroup(program, window, L"5,005"));
    TakeScreenshot(L"result-delete-nested-folders");
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}

