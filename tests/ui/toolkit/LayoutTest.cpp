#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "core/AppMessages.h"
#include "support/GuiTestSupport.h"
#include "support/TestFolder.h"
#include "ui/toolkit/HighDpiHelper_CL.h"
#include "ui/toolkit/ImageList_CL.h"
#include "ui/toolkit/MainWindowBase_CL.h"
#include "ui/toolkit/PopupMenu_CL.h"
#include "ui/toolkit/SplitFrame_CL.h"
#include "ui/toolkit/ToolBar_CL.h"

namespace {

class SplitOwner : public MainWindowBase_CL {
public:
    SplitOwner() : split(Split_CL::kHorizontal)
    {
        InitialiseGuiOnce();
        SetClassName(L"QuillmereSplitOwner");
    }
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        split.FrameProc(window, message, wParam, lParam);
        return MainWindowBase_CL::WindowProc(window, message, wParam, lParam);
    }
    SplitFrame_CL split;
};

// A 24-bit BMP file: `cells` cells of 16 x 16, magenta but for a black dot per cell.
std::vector<uint8_t> StripBitmap(int cells)
{
    return Bitmap24(cells * 16, 16, [](int x, int y) { return x % 16 == 8 && y == 8 ? RGB(0, 0, 0) : RGB(255, 0, 255); });
}

}  // namespace

TEST(SplitFrame, LaysOutTwoPanesAndClampsADragToOneMessage)
{
    SplitOwner owner;
    HWND window = owner.Create();
    ::SetWindowPos(window, nullptr, 0, 0, 400, 500, SWP_NOZORDER | SWP_NOMOVE);
    ::ShowWindow(window, SW_SHOW);
    HWND upper = ::CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_THICKFRAME, 0, 0, 1, 1, window, nullptr, nullptr, nullptr);
    HWND lower = ::CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 1, 1, window, nullptr, nullptr, nullptr);
    owner.split.SetOwnerWindow(window);
    owner.split.SetFirstWindow(upper);
    owner.split.SetSecondWindow(lower);
    EXPECT_FALSE(::GetWindowLongPtrW(upper, GWL_STYLE) & WS_THICKFRAME);

    RECT frame;
    ::GetClientRect(window, &frame);
    owner.split.Layout(frame);
    EXPECT_EQ(owner.split.GetPosition(), frame.bottom / 2) << "the first layout halves the frame";
    owner.split.SetPosition(120);
    owner.split.Layout(frame);
    RECT upperRect, lowerRect;
    ::GetWindowRect(upper, &upperRect);
    ::GetWindowRect(lower, &lowerRect);
    EXPECT_EQ(upperRect.bottom - upperRect.top, 120);
    EXPECT_EQ(lowerRect.top - upperRect.bottom, 2) << "the bar between them";
    EXPECT_EQ(lowerRect.bottom - lowerRect.top, frame.bottom - 122);

    MSG message;
    while (::PeekMessageW(&message, window, MSG_SPLIT_MOVED, MSG_SPLIT_MOVED, PM_REMOVE)) {}
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 121));
    EXPECT_TRUE(owner.split.IsDragging());
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, 5000));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(50, 5000));
    EXPECT_FALSE(owner.split.IsDragging());
    int minimum = ::GetSystemMetrics(SM_CYMINTRACK);
    ASSERT_TRUE(::PeekMessageW(&message, window, MSG_SPLIT_MOVED, MSG_SPLIT_MOVED, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(message.lParam, frame.bottom - minimum - 2);
    EXPECT_FALSE(::PeekMessageW(&message, window, MSG_SPLIT_MOVED, MSG_SPLIT_MOVED, PM_REMOVE)) << "exactly one";
    EXPECT_TRUE(::GetWindowLongPtrW(window, GWL_STYLE) & WS_CLIPCHILDREN) << "clipping restored";

    // Above the top it stops at the minimum tracking height.
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 121));
    ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, -300));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(50, static_cast<WORD>(-300)));
    ASSERT_TRUE(::PeekMessageW(&message, window, MSG_SPLIT_MOVED, MSG_SPLIT_MOVED, PM_REMOVE));
    EXPECT_EQ(message.lParam, minimum);

    // A press away from the bar starts nothing.
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 300));
    EXPECT_FALSE(owner.split.IsDragging());

    // A drag whose capture goes elsewhere (a menu, another window) is over: later plain
    // moves and releases move nothing.
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 121));
    ASSERT_TRUE(owner.split.IsDragging());
    HWND other = ::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ::SetCapture(other);
    EXPECT_FALSE(owner.split.IsDragging());
    EXPECT_TRUE(::GetWindowLongPtrW(window, GWL_STYLE) & WS_CLIPCHILDREN);
    ::ReleaseCapture();
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(50, 200));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(50, 200));
    EXPECT_FALSE(::PeekMessageW(&message, window, MSG_SPLIT_MOVED, MSG_SPLIT_MOVED, PM_REMOVE));
    ::DestroyWindow(other);
    ::DestroyWindow(window);
}

TEST(HighDpi, ScalesOnlyForProcessesThatAreNotDpiAware)
{
    EXPECT_EQ(HighDpiHelper_CL(0, 144, 144).ScaleX(360), 540);
    EXPECT_EQ(HighDpiHelper_CL(0, 144, 120).ScaleY(96), 120);
    EXPECT_EQ(HighDpiHelper_CL(1, 144, 144).ScaleX(360), 360);

    HighDpiHelper_CL probed;
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(probed.ScaleX(360), probed.IsScaling() ? ::MulDiv(360, dpi, 96) : 360);
}

TEST(ImageList, LoadsStripCellsWithMagentaTransparent)
{
    InitialiseGuiOnce();
    TestFolder folder;
    WriteFileBytes(folder / L"strip.bmp", StripBitmap(10));
    ImageList_CL strip;
    ASSERT_EQ(strip.LoadStrip(folder / L"strip.bmp", 16), 1);
    EXPECT_EQ(strip.GetCount(), 10);
    EXPECT_EQ(strip.GetImageSize().cx, 16);

    // Drawn on white, magenta disappears and the dot stays.
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP target = ::CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = ::SelectObject(memory, target);
    RECT all = {0, 0, 16, 16};
    ::FillRect(memory, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(strip.GetHandle(), 3, memory, 0, 0, ILD_NORMAL);
    EXPECT_EQ(::GetPixel(memory, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(memory, 8, 7), RGB(0, 0, 0));
    ::SelectObject(memory, old);
    ::DeleteObject(target);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    ImageList_CL missing;
    EXPECT_EQ(missing.LoadStrip(folder / L"none.bmp", 16), 0);
    EXPECT_EQ(missing.GetHandle(), nullptr);
}

TEST(PopupMenu, MeasuresTheTextBeforeTheTabAndRoomForImages)
{
    SplitOwner owner;
    HWND window = owner.Create();
    TestFolder folder;
    WriteFileBytes(folder / L"menu.bmp", StripBitmap(3));

    auto measure = [&](PopupMenu_CL& menu, UINT command) {
        MEASUREITEMSTRUCT item = {};
        item.CtlType = ODT_MENU;
        item.itemID = command;
        item.itemData = reinterpret_cast<ULONG_PTR>(&menu);
        EXPECT_TRUE(PopupMenu_CL::DrawMenuItem(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item)));
        return item;
    };
    auto textSize = [&](const wchar_t* text) {
        HDC dc = ::GetDC(window);
        HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
        SIZE size;
        ::GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(window, dc);
        return size;
    };

    PopupMenu_CL plain;
    plain.CreatePopup();
    plain.AddItem(0x3000, L"比較対象フォルダの追加", 2);
    plain.AddItem(0x3001, L"削除\tDel", PopupMenu_CL::kNoImage);
    plain.AddSeparator();
    SIZE add = textSize(L"比較対象フォルダの追加"), remove = textSize(L"削除");
    MEASUREITEMSTRUCT first = measure(plain, 0x3000), second = measure(plain, 0x3001);
    EXPECT_EQ(first.itemWidth, UINT(add.cx + 48));
    EXPECT_EQ(first.itemHeight, UINT(add.cy + 1));
    EXPECT_EQ(second.itemWidth, UINT(remove.cx + 48)) << "only the text before the tab counts";
    EXPECT_EQ(::GetMenuItemCount(plain.GetHandle()), 3);

    PopupMenu_CL withImages;
    withImages.CreatePopup();
    withImages.LoadImageStrip(folder / L"menu.bmp");
    ASSERT_NE(withImages.GetImageStrip(), nullptr);
    withImages.AddItem(0x3000, L"比較対象フォルダの追加", 2);
    MEASUREITEMSTRUCT imaged = measure(withImages, 0x3000);
    EXPECT_EQ(imaged.itemWidth, UINT(add.cx + 48 + 24 + 4));
    EXPECT_EQ(imaged.itemHeight, std::max<UINT>(add.cy + 1, 16 + 1));

    MEASUREITEMSTRUCT notMenu = {};
    notMenu.CtlType = ODT_LISTBOX;
    EXPECT_FALSE(PopupMenu_CL::DrawMenuItem(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&notMenu)));
    ::DestroyWindow(window);
}

TEST(ToolBar, ButtonsWithTextGetOneToolTipEach)
{
    SplitOwner owner;
    HWND window = owner.Create();
    ToolBar_CL toolbar;
    ASSERT_NE(toolbar.Create(window, WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, 77), nullptr);
    TBBUTTON button = {};
    button.iBitmap = 0;
    button.idCommand = 0x3010;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON;
    toolbar.AddButton(button, L"削除");
    toolbar.AddSeparator(8);
    button.idCommand = 0x3011;
    toolbar.AddButton(button, L"再生");
    EXPECT_EQ(toolbar.GetButtonCount(), 3);
    EXPECT_EQ(toolbar.GetToolTips().GetToolCount(), 2);
    ::DestroyWindow(window);
}
