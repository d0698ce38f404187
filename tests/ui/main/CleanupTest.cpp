// Cleaning up a real-sized result in the real quillmere.exe, driven from outside: the group
// list sorted by each column, the wasted space and the summary, the selection rules, the
// keyboard, the saved result, and the delete across groups.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "core/TextFormat.h"
#include "support/CliRunner.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

constexpr int kStartButton = 0x1100, kGroupList = 0x1104, kPane = 0x1106, kSummary = 0x1107;
constexpr int kPaneList = 0x1101;
constexpr UINT kKeepOldest = 0x3030, kKeepNewest = 0x3031, kKeepHighestFolder = 0x3032, kKeepShortestPath = 0x3033;
constexpr UINT kUntickAll = 0x3034, kSaveResult = 0x3036;
constexpr int kColumnWidths[] = {236, 64, 100, 64, 100, 64};
constexpr int kGroupCount = 64;

struct Member {
    std::wstring path;
    uint64_t writeTime = 0;
};
struct Group {
    std::wstring name;
    uint64_t size = 0;
    std::vector<Member> members;
};

bool SetWriteTime(const std::wstring& path, uint64_t time)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME when = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    const bool set = ::SetFileTime(file, nullptr, nullptr, &when);
    ::CloseHandle(file);
    return set;
}

// 64 groups over the listed folders a, b and c: sizes from 7 bytes to 300 MB (the large
// ones sparse), two to four copies, each copy one folder level deeper than the one before,
// and write times that put the oldest copy at a different place in each group.
std::vector<Group> MakeLibrary(const TestFolder& tree)
{
    const wchar_t* extensions[] = {L".avi", L".mp4", L".mkv", L".wmv"};
    const uint64_t hour = 36000000000ull, start = 133000000000000000ull;
    std::vector<Group> groups;
    for (int i = 0; i < kGroupCount; ++i) {
        Group group;
        group.name = std::wstring(L"clip") + (i < 10 ? L"0" : L"") + std::to_wstring(i) + extensions[i % 4];
        group.size = i < 20 ? 7 + i * 13 : i < 40 ? 5000 + i * 1111 : i < 62 ? 1000000 + i * 77777 : i == 62 ? 150000000 : 300000017;
        const int count = i % 11 == 0 ? 4 : i % 7 == 0 ? 3 : 2;
        for (int j = 0; j < count; ++j) {
            std::wstring folder = tree / std::wstring(1, L"abc"[(i + j) % 3]);
            for (int d = 0; d < j; ++d) folder += L"\\s";
            MakeFolder(folder);
            Member member{folder + L"\\" + group.name, start + ((j * 5 + i) % count) * hour + i * 7 * hour};
            if (group.size <= 1000000) {
                MakeFileWithContent(member.path, group.size, i);
            } else {
                MakeFileWithContent(member.path, 4096, i);
                SetFileLength(member.path, group.size);
            }
            SetWriteTime(member.path, member.writeTime);
            group.members.push_back(member);
        }
        groups.push_back(group);
    }
    return groups;
}

// A key pressed and let go over a window of the program, as the keyboard would send it.
void PressKey(HWND window, UINT key)
{
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(window, WM_KEYDOWN, key, scan | 1);
    ::PostMessageW(window, WM_KEYUP, key, scan | 1 | 0xC0000000);
}

std::wstring Text(HWND window)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

uint64_t Number(const std::wstring& text)
{
    uint64_t value = 0;
    for (wchar_t c : text)
        if (c >= L'0' && c <= L'9') value = value * 10 + (c - L'0');
    return value;
}

// One line of the saved CSV.
struct CsvRow {
    int group = 0;
    std::wstring path, writeTime, share;
    uint64_t size = 0;
    bool ticked = false;
};

std::vector<std::wstring> SplitCsvLine(const std::wstring& line)
{
    std::vector<std::wstring> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
            fields.back() += L'"';
            ++i;
        } else if (line[i] == L'"') {
            quoted = !quoted;
        } else if (line[i] == L',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += line[i];
        }
    }
    return fields;
}

std::vector<CsvRow> ReadCsv(const std::wstring& path, bool& hasBom)
{
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    hasBom = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    std::string text(bytes.begin() + (hasBom ? 3 : 0), bytes.end());
    std::wstring wide(::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()));
    std::vector<CsvRow> rows;
    std::wistringstream lines(wide);
    std::wstring line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        std::vector<std::wstring> f = SplitCsvLine(line);
        if (f.size() != 6) continue;
        rows.push_back(CsvRow{std::stoi(f[0]), f[1], f[3], f[4], Number(f[2]), f[5] == L"1"});
    }
    return rows;
}

struct Fixture {
    Fixture() : redirect(documents.Path()) { MakeFolder(documents / L"Quillmere"); }

    HWND Launch(RemoteProgram& program)
    {
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                       L"[VERSION]\r\nnotify=1\r\n[APP_INFO]\r\ncomplete_msg=0\r\ndisp_erase_dialog=0\r\nverify_before_delete=1\r\n"
                       L"[CHECK_FOLDER]\r\ncount=3\r\nitem0=1|" + (tree / L"a") + L"\r\nitem1=1|" + (tree / L"b") +
                           L"\r\nitem2=1|" + (tree / L"c") + L"\r\n");
        EXPECT_TRUE(program.Start(L"quillmere.exe", L""));
        window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        if (!window) return nullptr;
        groupList = ::GetDlgItem(window, kGroupList);
        pane = ::GetDlgItem(window, kPane);
        paneList = ::GetDlgItem(pane, kPaneList);
        summary = ::GetDlgItem(window, kSummary);
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kStartButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, kStartButton)));
        // Finished: the button reads "比較開始" again and the summary is there.
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        ::Sleep(500);
        while (std::chrono::steady_clock::now() < end &&
               (Text(::GetDlgItem(window, kStartButton)) != L"比較開始" || Text(summary).empty()))
            ::Sleep(100);
        return window;
    }
    void Command(UINT id) const { ::SendMessageW(window, WM_COMMAND, id, 0); }
    void ClickHeader(int column) const
    {
        HWND header = ::FindWindowExW(groupList, nullptr, L"SysHeader32", nullptr);
        int x = 0;
        for (int c = 0; c < column; ++c) x += kColumnWidths[c];
        x += kColumnWidths[column] / 2;
        // Sent, so that the list is sorted when the click returns.
        ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 8));
        ::SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 8));
    }
    std::vector<std::wstring> Column(RemoteProgram& program, int column) const
    {
        std::vector<std::wstring> cells;
        for (int row = 0; row < program.GetItemCount(groupList); ++row) cells.push_back(program.GetItemText(groupList, row, column));
        return cells;
    }
    // The result saved through the program's own dialog, read back.
    std::vector<CsvRow> SaveAndRead(RemoteProgram& program, const std::wstring& name)
    {
        const std::wstring path = documents / name;
        ::PostMessageW(window, WM_COMMAND, kSaveResult, 0);
        HWND dialog = program.WaitForWindow(L"#32770", L"結果を保存", 20000);
        EXPECT_NE(dialog, nullptr) << "no save dialog";
        if (!dialog) return {};
        ::Sleep(300);
        // The name box (cmb13): an extended combo box, its combo box, and that one's edit.
        HWND edit = ::GetDlgItem(dialog, 0x47C);
        for (const wchar_t* inner : {L"ComboBox", L"Edit"})
            if (HWND child = ::FindWindowExW(edit, nullptr, inner, nullptr)) edit = child;
        ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 200 && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(50);
        ::Sleep(200);
        bool hasBom = false;
        std::vector<CsvRow> rows = ReadCsv(path, hasBom);
        EXPECT_TRUE(hasBom);
        return rows;
    }
    // The group row showing this file name, or -1.
    int RowOf(RemoteProgram& program, const std::wstring& name) const { return program.FindRow(groupList, name); }

    TestFolder documents, tree;
    DocumentsRedirect redirect;
    HWND window = nullptr, groupList = nullptr, pane = nullptr, paneList = nullptr, summary = nullptr;
};

std::wstring ExpectedSummary(const std::vector<Group>& groups)
{
    size_t files = 0;
    uint64_t wasted = 0;
    for (const Group& g : groups) {
        files += g.members.size();
        wasted += g.size * (g.members.size() - 1);
    }
    return std::to_wstring(groups.size()) + L" グループ / " + std::to_wstring(files) + L" ファイル / 重複分 " + FormatByteSize(wasted);
}

// Which member of a group (in the saved order) a rule keeps: the first of those that tie.
size_t ExpectedKept(const std::vector<CsvRow>& members, UINT rule, const std::map<std::wstring, uint64_t>& times,
                    const std::wstring& tree)
{
    auto key = [&](const CsvRow& row) -> int64_t {
        switch (rule) {
        case kKeepOldest: return static_cast<int64_t>(times.at(row.path));
        case kKeepNewest: return -static_cast<int64_t>(times.at(row.path));
        case kKeepHighestFolder: return row.path[tree.size() + 1];  // a, b or c
        default: return static_cast<int64_t>(row.path.size());
        }
    };
    size_t kept = 0;
    for (size_t i = 1; i < members.size(); ++i)
        if (key(members[i]) < key(members[kept])) kept = i;
    return kept;
}

}  // namespace

TEST(Cleanup, SortingWastedSpaceSelectionRulesKeyboardAndTheSavedResult)
{
    Fixture f;
    const std::vector<Group> library = MakeLibrary(f.tree);
    std::map<std::wstring, uint64_t> times;
    std::map<uint64_t, const Group*> bySize;
    for (const Group& g : library) {
        bySize[g.size] = &g;
        for (const Member& m : g.members) times[m.path] = m.writeTime;
    }
    RemoteProgram program;
    ASSERT_NE(f.Launch(program), nullptr);
    ASSERT_EQ(program.GetItemCount(f.groupList), kGroupCount)
        << RunCli(L"find --all-files --no-cache \"" + (f.tree / L"a") + L"\"").out.substr(0, 2000) << " "
        << testing::PrintToString(BytesAsWide(ReadFileBytes(f.documents / L"Quillmere\\log.txt")).substr(0, 3000));

    // The summary and 重複分, against the tree.
    EXPECT_EQ(Text(f.summary), ExpectedSummary(library));
    for (int row = 0; row < kGroupCount; ++row) {
        const uint64_t size = Number(program.GetItemText(f.groupList, row, 2));
        ASSERT_TRUE(bySize.count(size)) << size;
        const Group& g = *bySize[size];
        EXPECT_EQ(program.GetItemText(f.groupList, row, 0), g.name);
        EXPECT_EQ(Number(program.GetItemText(f.groupList, row, 3)), g.members.size());
        EXPECT_EQ(program.GetItemText(f.groupList, row, 4), FormatWithThousands(g.size * (g.members.size() - 1)));
        EXPECT_EQ(program.GetItemText(f.groupList, row, 5), L"0");
    }

    // Each column both ways, the selected group staying selected.
    program.SelectRow(f.groupList, f.RowOf(program, L"clip42.mkv"));
    ::Sleep(300);
    for (int column = 0; column < 6; ++column) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(testing::Message() << "column " << column << (ascending ? " ascending" : " descending"));
            f.ClickHeader(column);
            const std::vector<std::wstring> cells = f.Column(program, column);
            for (size_t i = 1; i < cells.size(); ++i) {
                const bool numeric = column >= 2;
                const bool inOrder = numeric ? (ascending ? Number(cells[i - 1]) <= Number(cells[i]) : Number(cells[i - 1]) >= Number(cells[i]))
                                             : (ascending ? cells[i - 1] <= cells[i] : cells[i - 1] >= cells[i]);
                EXPECT_TRUE(inOrder) << "row " << i << ": " << testing::PrintToString(cells[i - 1]) << " then "
                                     << testing::PrintToString(cells[i]);
            }
            const int selected = static_cast<int>(::SendMessageW(f.groupList, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
            EXPECT_EQ(program.GetItemText(f.groupList, selected, 0), L"clip42.mkv");
        }
    }
    // Sorted by 重複分, largest first, for the picture.
    f.ClickHeader(4);
    f.ClickHeader(4);
    EXPECT_EQ(program.GetItemText(f.groupList, 0, 0), L"clip63.wmv");
    program.SelectRow(f.groupList, 0);
    ::SetWindowPos(f.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::Sleep(300);
    TakeScreenshot(L"cleanup-sorted-with-summary");

    // Every rule ticks all files but the expected one in every group; the saved result and
    // the lists agree.
    size_t fileCount = 0;
    for (const Group& g : library) fileCount += g.members.size();
    for (UINT rule : {kKeepOldest, kKeepNewest, kKeepHighestFolder, kKeepShortestPath}) {
        SCOPED_TRACE(testing::Message() << "rule " << std::hex << rule);
        f.Command(rule);
        const std::vector<CsvRow> rows = f.SaveAndRead(program, L"rule" + std::to_wstring(rule) + L".csv");
        ASSERT_EQ(rows.size(), fileCount);
        size_t ticked = 0;
        for (int number = 1; number <= kGroupCount; ++number) {
            std::vector<CsvRow> members;
            for (const CsvRow& row : rows)
                if (row.group == number) members.push_back(row);
            ASSERT_GE(members.size(), 2u);
            const size_t kept = ExpectedKept(members, rule, times, f.tree.Path());
            for (size_t i = 0; i < members.size(); ++i) {
                EXPECT_EQ(members[i].ticked, i != kept) << members[i].path;
                ticked += members[i].ticked;
            }
            // The group number is the row: its size, count and ticks as the list shows them.
            const int row = number - 1;
            EXPECT_EQ(Number(program.GetItemText(f.groupList, row, 2)), members[0].size);
            EXPECT_EQ(Number(program.GetItemText(f.groupList, row, 3)), members.size());
            EXPECT_EQ(Number(program.GetItemText(f.groupList, row, 5)), members.size() - 1);
        }
        EXPECT_EQ(ticked, fileCount - kGroupCount);
        EXPECT_NE(Text(f.summary).find(L" / チェック " + std::to_wstring(ticked) + L" ファイル"), std::wstring::npos) << Text(f.summary);

        // A shown group's rows: the same files, shares and ticks as saved.
        const int row = f.RowOf(program, L"clip22.mkv");
        program.SelectRow(f.groupList, row);
        ::Sleep(300);
        std::vector<CsvRow> members;
        for (const CsvRow& saved : rows)
            if (saved.group == row + 1) members.push_back(saved);
        ASSERT_EQ(program.GetItemCount(f.paneList), static_cast<int>(members.size()));
        for (size_t i = 0; i < members.size(); ++i) {
            const int r = static_cast<int>(i);
            EXPECT_EQ(program.GetItemText(f.paneList, r, 3) + L"\\" + program.GetItemText(f.paneList, r, 1) +
                          program.GetItemText(f.paneList, r, 2), members[i].path);
            EXPECT_EQ(program.GetItemText(f.paneList, r, 0), members[i].share);
            EXPECT_EQ(program.GetCheckState(f.paneList, r) == 1, members[i].ticked);
            EXPECT_EQ(members[i].writeTime.size(), 19u);
        }
    }

    f.Command(kUntickAll);
    for (const std::wstring& cell : f.Column(program, 5)) EXPECT_EQ(cell, L"0");
    EXPECT_EQ(Text(f.summary), ExpectedSummary(library));

    // The keyboard: the menu key opens the group list's menu; into the rules, the first one.
    PressKey(f.groupList, VK_APPS);
    HWND menu = program.WaitForWindow(L"#32768", L"", 10000);
    ASSERT_NE(menu, nullptr) << "no menu";
    PressKey(menu, VK_DOWN);
    PressKey(menu, VK_RIGHT);
    ::Sleep(500);
    TakeScreenshot(L"cleanup-selection-menu");
    PressKey(menu, VK_RETURN);
    for (int i = 0; i < 100 && Number(f.Column(program, 5)[0]) == 0; ++i) ::Sleep(50);
    for (int row = 0; row < kGroupCount; ++row)
        EXPECT_EQ(Number(program.GetItemText(f.groupList, row, 5)), Number(program.GetItemText(f.groupList, row, 3)) - 1);

    // Shift+F10 reaches the list as a keyboard context menu: the menu, closed with Escape.
    ::PostMessageW(f.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(f.groupList), -1);
    menu = program.WaitForWindow(L"#32768", L"", 10000);
    ASSERT_NE(menu, nullptr) << "no menu for Shift+F10";
    PressKey(menu, VK_ESCAPE);
    for (int i = 0; i < 100 && program.WaitForWindow(L"#32768", L"", 10); ++i) ::Sleep(50);

    // Space in the pane's list ticks the focused file (here the group's first, kept by the
    // rule); the group's チェック follows, and the tick stays with the file.
    const int row = f.RowOf(program, L"clip05.mp4");
    program.SelectRow(f.groupList, row);
    ::Sleep(300);
    ASSERT_EQ(program.GetCheckState(f.paneList, 0), 0);
    PressKey(f.paneList, VK_SPACE);
    for (int i = 0; i < 100 && program.GetCheckState(f.paneList, 0) != 1; ++i) ::Sleep(50);
    EXPECT_EQ(program.GetCheckState(f.paneList, 0), 1);
    EXPECT_EQ(program.GetItemText(f.groupList, f.RowOf(program, L"clip05.mp4"), 5), L"2");
    program.SelectRow(f.groupList, f.RowOf(program, L"clip06.mkv"));
    ::Sleep(300);
    program.SelectRow(f.groupList, f.RowOf(program, L"clip05.mp4"));
    ::Sleep(300);
    EXPECT_EQ(program.GetCheckState(f.paneList, 0), 1);
    EXPECT_EQ(program.GetCheckState(f.paneList, 1), 1);

    // Enter plays the focused movie: here without the player, which the program says.
    PressKey(f.paneList, VK_RETURN);
    HWND box = program.WaitForWindow(L"#32770", L"お知らせ", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(RemoteProgram::MessageText(box), L"再生するには「Brisklet」が必要です。");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ::Sleep(300);

    // Delete in the pane's list presses "削除": the ticked files of that group go (here every
    // one, after the question that protects the last copy).
    PressKey(f.paneList, VK_DELETE);
    HWND question = program.WaitForWindow(L"#32770", L"削除の確認", 20000);
    ASSERT_NE(question, nullptr);
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    for (int i = 0; i < 200 && f.RowOf(program, L"clip05.mp4") >= 0; ++i) ::Sleep(50);
    EXPECT_EQ(f.RowOf(program, L"clip05.mp4"), -1);
    for (const Member& m : bySize[library[5].size]->members) EXPECT_EQ(::GetFileAttributesW(m.path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(program.GetItemCount(f.groupList), kGroupCount - 1);
    EXPECT_EQ(Text(f.summary).rfind(L"63 グループ / ", 0), 0u) << Text(f.summary);
    EXPECT_EQ(program.CloseAndWait(f.window, 20000), 0u);
}

namespace {

// Size, first and last 64 KiB: enough to see a kept file changed, quick on the sparse ones.
std::vector<uint8_t> Fingerprint(const std::wstring& path)
{
    std::vector<uint8_t> print;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return print;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file, &size);
    print.resize(8);
    memcpy(print.data(), &size.QuadPart, 8);
    for (LONGLONG at : {0LL, std::max(0LL, size.QuadPart - 65536)}) {
        std::vector<uint8_t> block(65536);
        DWORD read = 0;
        LARGE_INTEGER position;
        position.QuadPart = at;
        ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
        ::ReadFile(file, block.data(), 65536, &read, nullptr);
        print.insert(print.end(), block.begin(), block.begin() + read);
    }
    ::CloseHandle(file);
    return print;
}

// The original paths (relative to the folder named `leaf`) of what Wine's recycle bin
// holds from that folder.
std::set<std::wstring> TrashedFrom(const std::wstring& leaf)
{
    wchar_t data[1024] = {};
    ::GetEnvironmentVariableW(L"XDG_DATA_HOME", data, 1024);
    std::wstring info = std::wstring(L"Z:") + data + L"/Trash/info";
    std::replace(info.begin(), info.end(), L'/', L'\\');
    std::set<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((info + L"\\*.trashinfo").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
        std::vector<uint8_t> bytes = ReadFileBytes(info + L"\\" + entry.cFileName);
        std::string text(bytes.begin(), bytes.end()), decoded;
        const size_t at = text.find("Path=");
        if (at == std::string::npos) continue;
        for (size_t i = at + 5; i < text.size() && text[i] != '\n'; ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += text[i];
            }
        }
        std::wstring path(::MultiByteToWideChar(CP_UTF8, 0, decoded.c_str(), -1, nullptr, 0), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, decoded.c_str(), -1, path.data(), static_cast<int>(path.size()));
        path.resize(wcslen(path.c_str()));
        const size_t place = path.find(L"/" + leaf + L"/");
        if (place == std::wstring::npos) continue;
        std::wstring relative = path.substr(place + leaf.size() + 2);
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        found.insert(relative);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return found;
}

std::wstring Answer(RemoteProgram& program, const std::wstring& title, int button, int& actions)
{
    HWND box = program.WaitForWindow(L"#32770", title, 60000);
    if (!box) return L"(no box)";
    std::wstring text = RemoteProgram::MessageText(box);
    ::PostMessageW(box, WM_COMMAND, button, 0);
    ++actions;
    for (int i = 0; i < 200 && ::IsWindow(box); ++i) ::Sleep(10);
    return text;
}

}  // namespace

TEST(Cleanup, KeepTheHighestFolderAndDeleteAcrossGroupsInUnderTenActions)
{
    Fixture f;
    const std::vector<Group> library = MakeLibrary(f.tree);
    std::map<std::wstring, std::vector<uint8_t>> prints;
    for (const Group& g : library)
        for (const Member& m : g.members) prints[m.path] = Fingerprint(m.path);
    const std::wstring leaf = f.tree.Path().substr(f.tree.Path().find_last_of(L'\\') + 1);
    RemoteProgram program;
    ASSERT_NE(f.Launch(program), nullptr);
    ASSERT_EQ(program.GetItemCount(f.groupList), kGroupCount);

    // Ticked by the rule, then deleted with Delete in the group list; the check of the
    // large copies is cancelled half-way: nothing is deleted.
    f.Command(kKeepHighestFolder);
    int ignored = 0;
    PressKey(f.groupList, VK_DELETE);
    const std::wstring question = Answer(program, L"削除の確認", IDOK, ignored);
    EXPECT_EQ(question.rfind(L"チェックした 85 個のファイル（", 0), 0u) << testing::PrintToString(question);
    HWND progress = program.WaitForWindow(L"#32770", L"ファイルの完全比較を行っています。", 30000);
    ASSERT_NE(progress, nullptr);
    ::Sleep(300);
    ::PostMessageW(progress, WM_COMMAND, MAKEWPARAM(0x1100, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(progress, 0x1100)));
    EXPECT_EQ(Answer(program, L"削除結果", IDOK, ignored), L"削除前の比較をキャンセルしたため、ファイルは削除していません。");
    for (const auto& [path, print] : prints) EXPECT_EQ(Fingerprint(path), print) << path;
    EXPECT_EQ(program.GetItemCount(f.groupList), kGroupCount);
    f.Command(kUntickAll);

    // The cleanup as a user does it, counted from the finished search: the menu key, into
    // "自動でチェック", down to the third rule, chosen; Delete; OK; OK.
    int actions = 0;
    PressKey(f.groupList, VK_APPS), ++actions;
    HWND menu = program.WaitForWindow(L"#32768", L"", 10000);
    ASSERT_NE(menu, nullptr);
    for (UINT key : {VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}) PressKey(menu, key), ++actions;
    for (int i = 0; i < 100 && f.Column(program, 5)[0] == L"0"; ++i) ::Sleep(50);
    const std::vector<CsvRow> saved = f.SaveAndRead(program, L"before-delete.csv");
    std::set<std::wstring> ticked, kept;
    std::map<int, wchar_t> highest;  // the highest listed folder (a, b, c) of each group
    const size_t letter = f.tree.Path().size() + 1;
    for (const CsvRow& row : saved) highest[row.group] = std::min(highest.count(row.group) ? highest[row.group] : L'z', row.path[letter]);
    for (const CsvRow& row : saved) {
        (row.ticked ? ticked : kept).insert(row.path);
        if (!row.ticked) EXPECT_EQ(row.path[letter], highest[row.group]) << "kept in the highest folder: " << row.path;
    }
    ASSERT_EQ(ticked.size(), 85u);
    ASSERT_EQ(kept.size(), static_cast<size_t>(kGroupCount));
    PressKey(f.groupList, VK_DELETE), ++actions;
    EXPECT_NE(Answer(program, L"削除の確認", IDOK, actions), L"(no box)");
    const std::wstring result = Answer(program, L"削除結果", IDOK, actions);
    EXPECT_EQ(result.rfind(L"85 個のファイル（", 0), 0u) << testing::PrintToString(result);
    EXPECT_NE(result.find(L"ごみ箱に移しました。"), std::wstring::npos);
    std::printf("user actions from the finished search to an empty result: %d\n", actions);
    EXPECT_LT(actions, 10);

    // An empty result; exactly the ticked files in the recycle bin, every kept one as it was.
    for (int i = 0; i < 100 && program.GetItemCount(f.groupList) > 0; ++i) ::Sleep(50);
    EXPECT_EQ(program.GetItemCount(f.groupList), 0);
    EXPECT_EQ(Text(f.summary), L"");
    for (const std::wstring& path : kept) EXPECT_EQ(Fingerprint(path), prints[path]) << path;
    for (const std::wstring& path : ticked) EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    std::set<std::wstring> expected;
    for (const std::wstring& path : ticked) expected.insert(path.substr(f.tree.Path().size() + 1));
    EXPECT_EQ(TrashedFrom(leaf), expected);
    EXPECT_EQ(program.CloseAndWait(f.window, 20000), 0u);
}
