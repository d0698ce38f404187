#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "support/GuiTestSupport.h"
#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/Edit_CL.h"
#include "ui/toolkit/ListView_CL.h"
#include "ui/toolkit/MainWindowBase_CL.h"

namespace {

class PlainWindow : public MainWindowBase_CL {
public:
    explicit PlainWindow(int allowClose = 1) : allowClose(allowClose)
    {
        SetClassName(L"QuillmereTestWindow");
        SetWindowTitle(L"テスト");
        InitialiseGuiOnce();
    }
    int OnClose() override { return allowClose; }
    void OnCreate(CREATESTRUCTW*) override { created = true; }
    int allowClose;
    bool created = false;
};

// A control class of our own whose procedure records what it receives.
std::vector<UINT> recorded;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    recorded.push_back(message);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::vector<UINT> handlerSaw;
LRESULT SwallowSetText(HWND window, UINT message, WPARAM, LPARAM)
{
    handlerSaw.push_back(message);
    if (message == WM_SETTEXT) {
        reinterpret_cast<ControlBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA))->SetHandled(1);
        return TRUE;
    }
    return 0;
}

class RecordingControl : public ControlBase_CL {
public:
    RecordingControl() : ControlBase_CL(kStaticText) {}
    HWND Create(HWND parent, int controlId)
    {
        return CreateChild(L"QuillmereRecording", L"", 0, 0, parent, controlId, 0, 0, 50, 20);
    }
};

}  // namespace

TEST(ControlFactory, HandsOutIdentifiersInCreationOrderAndPlacesButtonPairs)
{
    PlainWindow window;
    ASSERT_NE(window.Create(), nullptr);
    ControlFactory_CL factory(0x1100);
    HWND parent = window.GetHwnd();
    int button = factory.AddButton(parent, L"比較開始", 0, 0);
    int list = factory.AddListView(parent, 0, 0, 100, 100, 0);
    int edit = factory.AddEdit(parent, 0, 0, 10, 3, Edit_CL::kMultiLine);
    int pair = factory.AddTwoButtons(parent, L"OK", L"キャンセル");
    int after = factory.AddStaticText(parent, L"後", 0, 0);

    EXPECT_EQ(factory.GetControl<ControlBase_CL>(button)->GetId(), 0x1100);
    EXPECT_EQ(::GetDlgCtrlID(factory.GetControl<ControlBase_CL>(list)->GetHwnd()), 0x1101);
    EXPECT_EQ(factory.GetControl<ControlBase_CL>(edit)->GetId(), 0x1102);
    EXPECT_EQ(factory.GetControl<ControlBase_CL>(after)->GetId(), 0x1105) << "the pair still takes two numbers";
    EXPECT_EQ(factory.GetControl<ControlBase_CL>(list)->GetKind(), ControlBase_CL::kListView);

    ControlBase_CL* first = factory.GetControl<ControlBase_CL>(pair);
    ControlBase_CL* second = factory.GetControl<ControlBase_CL>(pair + 1);
    EXPECT_EQ(::GetDlgCtrlID(first->GetHwnd()), 0x1000);
    EXPECT_EQ(::GetDlgCtrlID(second->GetHwnd()), 0x1002);
    RECT client;
    ::GetClientRect(parent, &client);
    RECT a = first->GetRect(), b = second->GetRect();
    EXPECT_EQ(b.left + b.right, client.right - 4);
    EXPECT_EQ(b.top + b.bottom, client.bottom - 4);
    EXPECT_EQ(a.left + a.right, b.left - 4);
    EXPECT_EQ(a.top + a.bottom, b.top + b.bottom);

    // Styles: -1 is the multi-line edit; anything else is what was asked plus a tab stop.
    DWORD multi = static_cast<DWORD>(::GetWindowLongPtrW(factory.GetControl<ControlBase_CL>(edit)->GetHwnd(), GWL_STYLE));
    EXPECT_TRUE(multi & ES_MULTILINE);
    EXPECT_TRUE(multi & WS_VSCROLL);
    int plainEdit = factory.AddEdit(parent, 0, 0, 10, 1, ES_NUMBER);
    DWORD plain = static_cast<DWORD>(::GetWindowLongPtrW(factory.GetControl<ControlBase_CL>(plainEdit)->GetHwnd(), GWL_STYLE));
    EXPECT_FALSE(plain & ES_MULTILINE);
    EXPECT_TRUE(plain & ES_NUMBER);
    EXPECT_TRUE(plain & WS_TABSTOP);
    ::DestroyWindow(parent);
}

TEST(Controls, ButtonsGrowWithTheirCaptionInTheirFont)
{
    PlainWindow window;
    window.Create();
    Button_CL narrow, wide, scaled;
    narrow.Create(window.GetHwnd(), 1, L"OK", 0, 0);
    wide.Create(window.GetHwnd(), 2, L"比較対象フォルダの追加", 0, 0);
    SIZE text = wide.MeasureText(L"比較対象フォルダの追加");
    EXPECT_EQ(wide.GetWidth(), text.cx + 8);
    EXPECT_EQ(wide.GetHeight(), text.cy + 8);
    EXPECT_GT(wide.GetWidth(), narrow.GetWidth());
    EXPECT_GT(text.cx, 100) << "Japanese text is measured with a real font";
    scaled.SetFontScale(2.0f, FW_BOLD);
    scaled.Create(window.GetHwnd(), 3, L"OK", 0, 0);
    EXPECT_GT(scaled.GetHeight(), narrow.GetHeight());
    ::DestroyWindow(window.GetHwnd());
}

TEST(Controls, ListViewCellsColumnsAndCheckStates)
{
    PlainWindow window;
    window.Create();
    ListView_CL list;
    list.Create(window.GetHwnd(), 7, 0, 0, 300, 200, 0);
    list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    EXPECT_EQ(list.AddColumn(L"ファイル名", LVCFMT_LEFT, 100), 0);
    EXPECT_EQ(list.AddColumn(L"重複数", LVCFMT_RIGHT, 50), 1);
    EXPECT_EQ(list.PutCell(0, 0, L"a.avi", 0, 42), 0);
    list.PutCell(0, 1, L"3", 0, 0);
    EXPECT_EQ(list.PutCell(1, 0, L"b.avi", 0, 0), 1);
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(0, 1), L"3");
    list.SetCheckState(1, 1);
    EXPECT_EQ(list.GetCheckState(0), 0);
    EXPECT_EQ(list.GetCheckState(1), 1);
    list.DeleteItem(0);
    EXPECT_EQ(list.GetItemText(0, 0), L"b.avi");
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
    ::DestroyWindow(window.GetHwnd());
}

TEST(Controls, SubclassHandlerSeesMessagesFirstAndDestroyRestoresTheProcedure)
{
    PlainWindow window;
    window.Create();
    WNDCLASSEXW recordingClass = {sizeof(recordingClass)};
    recordingClass.lpfnWndProc = RecordingProc;
    recordingClass.hInstance = ::GetModuleHandleW(nullptr);
    recordingClass.lpszClassName = L"QuillmereRecording";
    ::RegisterClassExW(&recordingClass);

    RecordingControl control;
    control.Create(window.GetHwnd(), 9);
    control.Subclass(&SwallowSetText);
    recorded.clear();
    handlerSaw.clear();
    ::SetWindowTextW(control.GetHwnd(), L"kept from the control");
    ::SendMessageW(control.GetHwnd(), WM_USER + 5, 0, 0);
    EXPECT_EQ(handlerSaw, (std::vector<UINT>{WM_SETTEXT, WM_USER + 5}));
    EXPECT_EQ(recorded, std::vector<UINT>{WM_USER + 5}) << "handled messages never reach the control";

    recorded.clear();
    ::DestroyWindow(control.GetHwnd());
    bool sawDestroy = false, sawNcDestroy = false;
    for (UINT m : recorded) {
        sawDestroy |= m == WM_DESTROY;
        sawNcDestroy |= m == WM_NCDESTROY;
    }
    EXPECT_FALSE(sawDestroy);
    EXPECT_TRUE(sawNcDestroy) << "the original procedure is back after WM_DESTROY";
    ::DestroyWindow(window.GetHwnd());
}

TEST(MainWindowBase, OnCloseDecidesAndDestroyPostsQuitWithZero)
{
    PlainWindow refusing(0);
    HWND window = refusing.Create();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(refusing.created);
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(window));

    PlainWindow closing(1);
    HWND other = closing.Create();
    MSG message;
    while (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    ::SendMessageW(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(other));
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    ::DestroyWindow(window);
    while (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
}
