// The result pane inside the test process, for what cannot be reached from outside: its
// arithmetic, and frames that arrive for a request the user has already left.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "decode/MovieDecodoRequestItem_CL.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"
#include "ui/main/MainWindow_CL.h"
#include "ui/main/TestAAA_CL.h"

namespace {

constexpr int kStartButton = 0x1100, kGroupList = 0x1104, kPane = 0x1106, kPaneList = 0x1101;

void ExpectRect(const RECT& r, int left, int top, int right, int bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

int CountOf(const std::wstring& text, const std::wstring& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

void Select(HWND list, int row)
{
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

uint32_t CanvasPixel(const TestAAA_CL& pane, int x, int y)
{
    auto* canvas = static_cast<Gdiplus::Bitmap*>(pane.GetFrames().GetDisplayImage());
    Gdiplus::Color colour;
    if (!canvas || canvas->GetPixel(x, y, &colour) != Gdiplus::Ok) return 0xFFFFFFFF;
    return colour.GetValue() & 0xFFFFFF;
}

void PostFrame(HWND pane, int key, int frameNumber, Gdiplus::Color colour)
{
    auto result = new MovieDecodoRequestItem_CL();
    result->requestKey = key;
    result->frameNumber = frameNumber;
    result->image = std::make_unique<Gdiplus::Bitmap>(32, 24, PixelFormat32bppRGB);
    Gdiplus::Graphics(result->image.get()).Clear(colour);
    ::PostMessageW(pane, MSG_DECODE_RESULT, 1, reinterpret_cast<LPARAM>(result));
}

}  // namespace

TEST(ResultPaneInProcess, FitsPicturesAndFillsTheColumns)
{
    ExpectRect(TestAAA_CL::FitCentred(640, 400, 100, 100), 270, 150, 370, 250);
    ExpectRect(TestAAA_CL::FitCentred(640, 400, 1280, 720), 0, 20, 640, 380);
    ExpectRect(TestAAA_CL::FitCentred(640, 400, 400, 1600), 270, 0, 370, 400);
    ExpectRect(TestAAA_CL::FitCentred(640, 400, 4096, 3072), 53, 0, 586, 400);

    CompareFileEntry entry;
    entry.size = 1000;
    entry.comparedBytes = 999;
    EXPECT_EQ(TestAAA_CL::ComparedShareText(entry, false), L"99%");
    EXPECT_EQ(TestAAA_CL::ComparedShareText(entry, true), L"---");
    entry.size = 0;
    entry.comparedBytes = 0;
    EXPECT_EQ(TestAAA_CL::ComparedShareText(entry, false), L"0%");
    entry.size = 8000000000;
    entry.comparedBytes = 4000000000;
    EXPECT_EQ(TestAAA_CL::ComparedShareText(entry, false), L"50%") << "sizes past 4 GiB";

    std::wstring name, extension, folder;
    TestAAA_CL::SplitPathForRow(L"C:\\a\\b.tar.gz", name, extension, folder);
    EXPECT_EQ(name, L"b.tar");
    EXPECT_EQ(extension, L".gz");
    EXPECT_EQ(folder, L"C:\\a");
    TestAAA_CL::SplitPathForRow(L"D:\\old.copies\\clip", name, extension, folder);
    EXPECT_EQ(name, L"clip");
    EXPECT_EQ(extension, L"") << "a dot in a folder name is no extension";
    EXPECT_EQ(folder, L"D:\\old.copies");
}

TEST(ResultPaneInProcess, FramesOfALeftRequestAreNeverDrawn)
{
    InProcessGui gui;
    TestFolder data, tree;
    std::wstring bin = BinFolder();
    std::wstring movie = bin.substr(0, bin.find_last_of(L'\\')) + L"\\test-movies\\steps.mp4";
    for (const wchar_t* name : {L"a.mp4", L"b.mp4"}) ::CopyFileW(movie.c_str(), (tree / name).c_str(), FALSE);
    ApplicationData_CL settings;
    settings.LoadFromFolder(data.Path());
    settings.programFolder = bin;
    settings.showCompleteMessage = 0;
    settings.AddCheckFolder({1, tree.Path()});
    {
        MainWindow_CL window(settings);
        HWND hwnd = window.Create();
        ASSERT_NE(hwnd, nullptr);
        HWND paneWindow = ::GetDlgItem(hwnd, kPane);
        auto& pane = *static_cast<TestAAA_CL*>(reinterpret_cast<ControlBase_CL*>(::GetWindowLongPtrW(paneWindow, GWLP_USERDATA)));
        EXPECT_EQ(pane.GetShownKind(), TestAAA_CL::kNeither);

        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kStartButton, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, kStartButton)));
        PumpMessages(20000, [&] { return ListView_GetItemCount(::GetDlgItem(hwnd, kGroupList)) == 1 && !settings.isSearching; });
        ASSERT_EQ(ListView_GetItemCount(::GetDlgItem(hwnd, kGroupList)), 1);

        // One group selection shows the group once and requests its first movie once.
        Select(::GetDlgItem(hwnd, kGroupList), 0);
        const std::wstring log = BytesAsWide(ReadFileBytes(data / L"log.txt"));
        EXPECT_EQ(CountOf(log, L"アイテム選択(0)"), 1);
        EXPECT_EQ(CountOf(log, L"デコード開始"), 1);
        EXPECT_EQ(pane.GetShownKind(), TestAAA_CL::kMovie);
        const int firstKey = pane.GetRequestKey();

        Select(::GetDlgItem(paneWindow, kPaneList), 1);
        EXPECT_EQ(pane.GetShownRow(), 1);
        EXPECT_EQ(pane.GetRequestKey(), firstKey + 1);
        PumpMessages(3000);  // the second movie's frames arrive

        // Frame 2 sits in cell 1 of the 4 x 4 grid: (1024..2047, 0..767).
        PostFrame(paneWindow, firstKey, 2, Gdiplus::Color(255, 255, 0, 255));
        PumpMessages(200);
        EXPECT_NE(CanvasPixel(pane, 1536, 384), 0xFF00FFu) << "a frame of the request left behind";
        PostFrame(paneWindow, pane.GetRequestKey(), 2, Gdiplus::Color(255, 255, 0, 255));
        PumpMessages(200);
        EXPECT_EQ(CanvasPixel(pane, 1536, 384), 0xFF00FFu) << "a frame of the current request";

        // With no movie shown (here: no group), even the current key's first frame would
        // replace the application image with a new canvas: it is dropped instead.
        pane.ShowGroup(nullptr, -1);
        PostFrame(paneWindow, pane.GetRequestKey(), 1, Gdiplus::Color(255, 0, 255, 0));
        PumpMessages(200);
        EXPECT_EQ(pane.GetShownKind(), TestAAA_CL::kNeither);
        ASSERT_NE(pane.GetFrames().GetDisplayImage(), nullptr);
        EXPECT_NE(pane.GetFrames().GetDisplayImage()->GetWidth(), 4096u) << "still the application image";
        ::DestroyWindow(hwnd);
        PumpMessages(50);
    }
}
