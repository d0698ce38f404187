// Similar movies in the real quillmere.exe, driven from outside: with "似ている動画も探す" on,
// a movie's re-encodes are listed as a "類似" group after the exact group while the window
// stays free, the pane tells the copies apart by frame size, length and bit rate, and a
// delete in the similar group says the files differ and takes only the ticked file. The
// similar phase can be cancelled, and the window closed during it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartButton = 0x1100, kProgressBar = 0x1101, kGroupList = 0x1104, kPane = 0x1106, kSummary = 0x1107;
constexpr int kDeleteButton = 0x1100, kPaneList = 0x1101;  // the pane's own controls
constexpr int kKindColumn = 6;
constexpr int kShare = 0, kName = 1, kExtension = 2, kFrameSize = 4, kLength = 5, kBitRate = 6;
constexpr UINT kKeepBestPicture = 0x3037, kUntickAll = 0x3034, kDeleteEverywhere = 0x3035;

std::wstring TestMovie(const wchar_t* name)
{
    std::wstring bin = BinFolder();
    return bin.substr(0, bin.find_last_of(L'\\')) + L"\\test-movies\\" + name;
}

std::wstring Text(HWND window)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

// An edit box keeps its text to itself: only WM_GETTEXT reads it from another process.
std::wstring BoxText(HWND box)
{
    wchar_t text[64] = {};
    ::SendMessageW(box, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return text;
}

bool WaitUntil(const std::function<bool()>& done, int seconds)
{
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        ::Sleep(50);
    }
    return true;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Journey {
    // `laterMovies` go to a second folder, walked (and so listed) after the first.
    explicit Journey(std::initializer_list<const wchar_t*> movies = {}, std::initializer_list<const wchar_t*> laterMovies = {})
        : redirect(documents.Path()), hasLater(laterMovies.size() > 0)
    {
        MakeFolder(documents / L"Quillmere");
        for (const wchar_t* name : movies) EXPECT_TRUE(::CopyFileW(TestMovie(name).c_str(), (tree / name).c_str(), FALSE)) << name;
        for (const wchar_t* name : laterMovies)
            EXPECT_TRUE(::CopyFileW(TestMovie(name).c_str(), (later / name).c_str(), FALSE)) << name;
    }

    bool Launch(RemoteProgram& program, int confirmDelete = 1)
    {
        WriteUtf16File(documents / L"Quillmere\\Quillmere.ini",
                       L"[VERSION]\r\nnotify=1\r\n[APP_INFO]\r\ncomplete_msg=0\r\nfind_similar=1\r\ndisp_erase_dialog=" +
                           std::to_wstring(confirmDelete) + L"\r\n[CHECK_FOLDER]\r\ncount=" + (hasLater ? L"2" : L"1") +
                           L"\r\nitem0=1|" + tree.Path() + L"\r\n" + (hasLater ? L"item1=1|" + later.Path() + L"\r\n" : L""));
        if (!program.Start(L"quillmere.exe", L"")) return false;
        window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
        if (!window) return false;
        groups = ::GetDlgItem(window, kGroupList);
        bar = ::GetDlgItem(window, kProgressBar);
        button = ::GetDlgItem(window, kStartButton);
        pane = ::GetDlgItem(window, kPane);
        files = ::GetDlgItem(pane, kPaneList);
        return true;
    }
    void ClickStart() const
    {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kStartButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    bool IsCheckingSimilar() const { return Text(bar).starts_with(L"類似チェック中 "); }
    // How long the window takes to answer a message.
    int AnswerMs() const
    {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result)) return 30000;
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }
    int RowOfKind(RemoteProgram& program, const std::wstring& kind) const
    {
        for (int row = 0; row < program.GetItemCount(groups); ++row)
            if (program.GetItemText(groups, row, kKindColumn) == kind) return row;
        return -1;
    }
    int FileRow(RemoteProgram& program, const std::wstring& name) const
    {
        for (int row = 0; row < program.GetItemCount(files); ++row)
            if (program.GetItemText(files, row, kName) + program.GetItemText(files, row, kExtension) == name) return row;
        return -1;
    }

    TestFolder documents, tree, later;
    DocumentsRedirect redirect;
    bool hasLater = false;
    HWND window = nullptr, groups = nullptr, bar = nullptr, button = nullptr, pane = nullptr, files = nullptr;
};

}  // namespace

TEST(SimilarMoviesJourney, ReencodesAreListedAsSimilarWithTheirTraitsAndOnlyTheTickedOneIsDeleted)
{
    // scenes.mp4 and its byte copy, its MPEG-4 re-encode at 224x126, its VP9 encode with the
    // first 2 s cut; broken.avi is no movie. Listed after them: other.mp4, another movie of
    // the same length, and two of grey steps, so the similar group forms while those are
    // still being looked at.
    Journey j({L"scenes.mp4", L"scenes-small.avi", L"scenes-cut.webm", L"broken.avi"}, {L"other.mp4", L"steps.mkv", L"steps.webm"});
    ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes.mp4").c_str(), (j.tree / L"scenes-copy.mp4").c_str(), FALSE));
    RemoteProgram program;
    ASSERT_TRUE(j.Launch(program));
    const auto start = Clock::now();
    j.ClickStart();

    // The exact group first; then the movies are looked at with the count on the bar, while
    // the window answers at once and a group can be selected and previewed.
    ASSERT_TRUE(WaitUntil([&] { return j.IsCheckingSimilar(); }, 60)) << testing::PrintToString(Text(j.bar));
    const auto similarStart = Clock::now();
    TakeScreenshot(L"similar-progress");
    EXPECT_EQ(Text(j.button), L"ｷｬﾝｾﾙ");
    ASSERT_EQ(program.GetItemCount(j.groups), 1);
    EXPECT_EQ(program.GetItemText(j.groups, 0, kKindColumn), L"同一");
    program.SelectRow(j.groups, 0);
    int slowestAnswerMs = 0, checks = 0;
    std::wstring lastProgress, progressWhenGrouped;
    while (j.IsCheckingSimilar() && Clock::now() - similarStart < std::chrono::seconds(240)) {
        const std::wstring progress = Text(j.bar);
        if (progress.starts_with(L"類似チェック中 ")) lastProgress = progress;
        if (progressWhenGrouped.empty() && j.RowOfKind(program, L"類似") >= 0) progressWhenGrouped = progress;
        slowestAnswerMs = std::max(slowestAnswerMs, j.AnswerMs());
        ++checks;
        ::Sleep(100);
    }
    const double similarSeconds = std::chrono::duration<double>(Clock::now() - similarStart).count();
    EXPECT_FALSE(j.IsCheckingSimilar()) << "the similar phase did not end";
    EXPECT_LT(slowestAnswerMs, 3000) << "the window was held up by the similar phase";
    EXPECT_EQ(program.GetItemCount(j.files), 2) << "the exact group's files, listed during the phase";
    const std::string count(lastProgress.begin() + lastProgress.find(L' ') + 1, lastProgress.end());  // digits and '/'
    ASSERT_TRUE(WaitUntil([&] { return Text(j.button) == L"比較開始"; }, 20));
    std::printf("similar phase %.1f s (search %.1f s in all), last count seen %s, slowest answer %d ms over %d checks\n",
                similarSeconds, std::chrono::duration<double>(Clock::now() - start).count(), count.c_str(),
                slowestAnswerMs, checks);
    EXPECT_TRUE(lastProgress.ends_with(L"/7")) << "eight movies, one of them a byte copy, not looked at";
    // The similar group was listed as soon as it formed, before the last movies were looked at.
    ASSERT_TRUE(progressWhenGrouped.starts_with(L"類似チェック中 ")) << testing::PrintToString(progressWhenGrouped);
    EXPECT_LT(std::stoi(progressWhenGrouped.substr(7)), 7) << testing::PrintToString(progressWhenGrouped);
    EXPECT_EQ(Text(j.bar), L"類似チェック: 読めない動画 1");

    // The similar group after the exact one; the byte copy is not repeated in it.
    ASSERT_EQ(program.GetItemCount(j.groups), 2);
    EXPECT_EQ(program.GetItemText(j.groups, 0, kKindColumn), L"同一");
    EXPECT_EQ(program.GetItemText(j.groups, 1, kKindColumn), L"類似");
    EXPECT_TRUE(Text(::GetDlgItem(j.window, kSummary)).starts_with(L"2 グループ / 4 ファイル")) << "the first file counted once";
    EXPECT_EQ(program.GetItemText(j.groups, 1, 3), L"3");
    const std::wstring exactBase = program.GetItemText(j.groups, 0, 0);
    EXPECT_EQ(program.GetItemText(j.groups, 1, 0), exactBase) << "the exact group takes part through its first file";

    // The pane: "類似 NN%", frame size, length and bit rate of each movie.
    program.SelectRow(j.groups, 1);
    ASSERT_TRUE(WaitUntil([&] { return program.GetItemCount(j.files) == 3; }, 10));
    const int small = j.FileRow(program, L"scenes-small.avi"), cut = j.FileRow(program, L"scenes-cut.webm");
    ASSERT_GE(small, 1);
    ASSERT_GE(cut, 1);
    EXPECT_EQ(program.GetItemText(j.files, 0, kShare), L"類似 100%");
    for (int row : {small, cut}) {
        const std::wstring share = program.GetItemText(j.files, row, kShare);
        EXPECT_TRUE(share.starts_with(L"類似 ") && share.ends_with(L"%")) << testing::PrintToString(share);
        EXPECT_GE(std::stoi(share.substr(3)), 70) << testing::PrintToString(share);
        EXPECT_TRUE(program.GetItemText(j.files, row, kBitRate).ends_with(L" kbps"));
    }
    EXPECT_EQ(program.GetItemText(j.files, 0, kFrameSize), L"320x180");
    EXPECT_EQ(program.GetItemText(j.files, 0, kLength), L"0:15");
    EXPECT_EQ(program.GetItemText(j.files, small, kFrameSize), L"224x126");
    EXPECT_EQ(program.GetItemText(j.files, cut, kLength), L"0:13");
    EXPECT_EQ(program.GetItemText(j.files, 0, 3), j.tree.Path()) << "the folder keeps its column";
    ::Sleep(1500);  // the first file's frames
    TakeScreenshot(L"similar-group");
    program.SelectRow(j.groups, 0);
    ::Sleep(500);
    TakeScreenshot(L"similar-group-list");  // the similar group's row in its own colour
    program.SelectRow(j.groups, 1);
    ASSERT_TRUE(WaitUntil([&] { return program.GetItemCount(j.files) == 3 && j.FileRow(program, L"scenes-small.avi") == small; }, 10));

    // "画質が最も高いものを残す" ticks the smaller picture, and never the file the exact group keeps.
    ::SendMessageW(j.window, WM_COMMAND, kKeepBestPicture, 0);
    EXPECT_EQ(program.GetCheckState(j.files, small), 1);
    EXPECT_EQ(program.GetCheckState(j.files, 0), 0);
    ::SendMessageW(j.window, WM_COMMAND, kUntickAll, 0);

    // The first file stands in both groups: ticked, it is one file to the question.
    program.SetCheckState(j.files, 0, 1);
    ::PostMessageW(j.window, WM_COMMAND, kDeleteEverywhere, 0);
    HWND everywhere = program.WaitForWindow(L"#32770", L"削除の確認", 20000);
    ASSERT_NE(everywhere, nullptr);
    const std::wstring counted = RemoteProgram::MessageText(everywhere);
    EXPECT_TRUE(counted.starts_with(L"チェックした 1 個のファイル（")) << testing::PrintToString(counted);
    ::PostMessageW(everywhere, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(everywhere); }, 10));
    EXPECT_TRUE(Exists(j.tree / exactBase));
    ::SendMessageW(j.window, WM_COMMAND, kUntickAll, 0);

    // Delete the re-encode alone: the question says plainly that the files differ.
    program.SetCheckState(j.files, small, 1);
    ::PostMessageW(j.pane, WM_COMMAND, MAKEWPARAM(kDeleteButton, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(j.pane, kDeleteButton)));
    HWND question = program.WaitForWindow(L"#32770", L"削除の確認", 20000);
    ASSERT_NE(question, nullptr);
    const std::wstring asked = RemoteProgram::MessageText(question);
    EXPECT_NE(asked.find(L"同一ではなく"), std::wstring::npos) << testing::PrintToString(asked);
    TakeScreenshot(L"similar-delete-question");
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Exists(j.tree / L"scenes-small.avi"); }, 30));
    for (const wchar_t* name : {L"scenes.mp4", L"scenes-copy.mp4", L"scenes-cut.webm"}) EXPECT_TRUE(Exists(j.tree / name)) << name;
    EXPECT_TRUE(Exists(j.later / L"other.mp4"));
    ASSERT_TRUE(WaitUntil([&] { return program.GetItemCount(j.files) == 2; }, 10));
    EXPECT_EQ(j.FileRow(program, L"scenes-small.avi"), -1);
    EXPECT_EQ(program.GetItemText(j.groups, j.RowOfKind(program, L"類似"), 3), L"2");
    EXPECT_EQ(program.GetItemText(j.groups, j.RowOfKind(program, L"同一"), 3), L"2");

    // Now the first file, which stands in the exact group too, keeping the VP9 encode: it
    // leaves both groups; its byte copy, alone now, is no group any more.
    program.SetCheckState(j.files, 0, 1);
    ::PostMessageW(j.pane, WM_COMMAND, MAKEWPARAM(kDeleteButton, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(j.pane, kDeleteButton)));
    question = program.WaitForWindow(L"#32770", L"削除の確認", 20000);
    ASSERT_NE(question, nullptr);
    ::PostMessageW(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Exists(j.tree / exactBase); }, 30));
    ASSERT_TRUE(WaitUntil([&] { return program.GetItemCount(j.groups) == 1; }, 10));
    EXPECT_EQ(program.GetItemText(j.groups, 0, kKindColumn), L"類似");
    EXPECT_EQ(program.GetItemText(j.groups, 0, 3), L"1");
    ASSERT_EQ(program.GetItemCount(j.files), 1);
    EXPECT_EQ(program.GetItemText(j.files, 0, kName) + program.GetItemText(j.files, 0, kExtension), L"scenes-cut.webm");
    EXPECT_EQ(program.GetItemText(j.files, 0, kShare), L"類似 100%") << "scored as the group's first file now";
    EXPECT_EQ(Exists(j.tree / L"scenes.mp4") + Exists(j.tree / L"scenes-copy.mp4"), 1);
    EXPECT_TRUE(Exists(j.tree / L"scenes-cut.webm"));
    EXPECT_EQ(program.CloseAndWait(j.window, 30000), 0u);
}

TEST(SimilarMoviesJourney, TheSimilarPhaseCancelsWithTheButtonAndAClosingWindowStopsIt)
{
    Journey j({L"scenes.mp4", L"scenes-small.avi", L"scenes-cut.webm", L"other.mp4", L"steps.mkv", L"steps.webm"});
    ASSERT_TRUE(::CopyFileW(TestMovie(L"scenes.mp4").c_str(), (j.tree / L"scenes-copy.mp4").c_str(), FALSE));
    RemoteProgram program;
    ASSERT_TRUE(j.Launch(program));
    j.ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return j.IsCheckingSimilar(); }, 60));
    // The settings sheet is open when the phase ends (cancelled): the notice comes above the
    // sheet, owned by it, not behind it.
    ::PostMessageW(j.window, WM_COMMAND, 0x3021, 0);  // アプリ設定
    HWND sheet = program.WaitForWindow(L"#32770", L"アプリ設定", 10000);
    ASSERT_NE(sheet, nullptr);
    ::Sleep(300);
    j.ClickStart();  // now "ｷｬﾝｾﾙ"
    HWND notice = program.WaitForWindow(L"#32770", L"お知らせ", 60000);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(::GetWindow(notice, GW_OWNER), sheet);
    TakeScreenshot(L"similar-cancel-notice-over-settings");
    EXPECT_EQ(TakeNotice(program), L"比較をキャンセルしました。");
    ::PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(sheet); }, 10));
    EXPECT_TRUE(WaitForText(j.button, L"比較開始", 20000)) << "idle once the notice is closed";
    EXPECT_FALSE(j.IsCheckingSimilar());
    EXPECT_EQ(program.GetItemCount(j.groups), 1) << "the exact group stays; no similar group from a cancelled phase";
    // No fingerprint came: the preview of the exact group tells its files' frame size and
    // length, for both copies.
    program.SelectRow(j.groups, 0);
    EXPECT_TRUE(WaitUntil([&] { return program.GetItemText(j.files, 1, kFrameSize) == L"320x180"; }, 30));
    for (int row : {0, 1}) {
        EXPECT_EQ(program.GetItemText(j.files, row, kFrameSize), L"320x180");
        EXPECT_EQ(program.GetItemText(j.files, row, kLength), L"0:15");
        EXPECT_EQ(program.GetItemText(j.files, row, kShare), row == 0 ? L"---" : L"100%");
    }

    // Again, and the window closed while the movies are looked at: it goes, promptly.
    j.ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return j.IsCheckingSimilar(); }, 60));
    const auto closing = Clock::now();
    EXPECT_EQ(program.CloseAndWait(j.window, 60000), 0u);
    EXPECT_FALSE(program.IsRunning());
    std::printf("closed during the similar phase in %d ms\n",
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - closing).count()));
}

TEST(SimilarMoviesJourney, TheOptionAndItsThresholdAreSavedAndABadThresholdIsBroughtIntoRange)
{
    constexpr int kFindSimilar = 0x1108, kThreshold = 0x110A, kApply = 0x3021;
    Journey j;
    RemoteProgram program;
    WriteUtf16File(j.documents / L"Quillmere\\Quillmere.ini", L"[VERSION]\r\nnotify=1\r\n[APP_INFO]\r\nsimilar_threshold=500\r\n");
    ASSERT_TRUE(program.Start(L"quillmere.exe", L""));
    HWND window = program.WaitForWindow(L"MainWindowClass", L"Quillmere", 20000);
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, 0x3021, 0);  // アプリ設定
    HWND sheet = program.WaitForWindow(L"#32770", L"アプリ設定", 10000);
    ASSERT_NE(sheet, nullptr);
    ::Sleep(300);
    HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    HWND check = ::GetDlgItem(page, kFindSimilar), threshold = ::GetDlgItem(page, kThreshold);
    EXPECT_EQ(Text(check), L"似ている動画も探す");
    EXPECT_EQ(::SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "off unless asked for";
    EXPECT_EQ(BoxText(threshold), L"70") << "a threshold outside 1..100 in the file is the default";
    EXPECT_FALSE(::IsWindowEnabled(threshold));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sheet, kApply)));
    TakeScreenshot(L"settings-similar-option");

    auto applyWith = [&](const wchar_t* text) {
        ::SendMessageW(threshold, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(kThreshold, EN_CHANGE), reinterpret_cast<LPARAM>(threshold));
        ::SendMessageW(::GetDlgItem(sheet, kApply), BM_CLICK, 0, 0);
        ::Sleep(200);
        return BytesAsWide(ReadFileBytes(j.documents / L"Quillmere\\Quillmere.ini"));
    };
    ::SendMessageW(check, BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowEnabled(threshold));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(sheet, kApply)));
    std::wstring ini = applyWith(L"85");
    EXPECT_NE(ini.find(L"find_similar=1\r\n"), std::wstring::npos);
    EXPECT_NE(ini.find(L"similar_threshold=85\r\n"), std::wstring::npos);
    ini = applyWith(L"250");
    EXPECT_NE(ini.find(L"similar_threshold=100\r\n"), std::wstring::npos);
    EXPECT_EQ(BoxText(threshold), L"100") << "the box shows what was kept";
    ini = applyWith(L"0");
    EXPECT_NE(ini.find(L"similar_threshold=1\r\n"), std::wstring::npos);
    ini = applyWith(L"");
    EXPECT_NE(ini.find(L"similar_threshold=1\r\n"), std::wstring::npos) << "an empty box keeps the value";
    ::PostMessageW(sheet, WM_COMMAND, IDOK, 0);
    ::Sleep(300);
    EXPECT_EQ(program.CloseAndWait(window, 10000), 0u);
}
