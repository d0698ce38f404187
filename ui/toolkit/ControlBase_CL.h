#pragma once
#include <windows.h>

#include <string>

#include "core/UniqueHandle.h"

// The base of every child-control wrapper: the window handle, its identifier, its font,
// and the subclassing that routes the control's messages to a handler first.
class ControlBase_CL {
public:
    enum Kind {
        kStaticText = 1,
        kButton = 2,
        kCheckBox = 3,
        kEdit = 4,
        kComboBox = 5,
        kMainWindow = 7,
        kListView = 10,
        kTab = 13,
        kGroupBox = 18,
        kProgressBar = 19,
    };
    using Handler = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
    static constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

    explicit ControlBase_CL(int kind);
    // Sees the message first once subclassed; setting `handled` keeps it from the control.
    virtual LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual ~ControlBase_CL();
    virtual void Resize(int width, int height, BOOL repaint);

    ControlBase_CL(const ControlBase_CL&) = delete;
    ControlBase_CL& operator=(const ControlBase_CL&) = delete;

    int GetKind() const { return kind; }
    int GetId() const { return id; }
    HWND GetHwnd() const { return hwnd; }
    void SetHandled(int value) { handled = value; }

    void Show() { ::ShowWindow(hwnd, SW_SHOW); }
    void Hide() { ::ShowWindow(hwnd, SW_HIDE); }
    void Enable(BOOL flag) { ::EnableWindow(hwnd, flag); }
    void SetText(const std::wstring& text) { ::SetWindowTextW(hwnd, text.c_str()); }
    int GetText(wchar_t* buffer, int maximum) const { return ::GetWindowTextW(hwnd, buffer, maximum); }
    std::wstring GetText() const;
    void SetId(int newId);
    RECT GetRect() const;  // left/top in the parent's client coordinates, right/bottom as width/height
    int GetWidth() const;
    int GetHeight() const;
    void Move(int x, int y, BOOL repaint);
    void MoveX(int x, BOOL repaint);
    void MoveY(int y, BOOL repaint);
    void SetSizeInChars(int columns, int rows, int extraWidth, int extraHeight);
    void SetFontScale(float scale, int weight);
    void ChangeStyle(DWORD add, DWORD keepMask);
    void ChangeExStyle(DWORD add, DWORD keepMask);
    void Subclass(Handler handler);
    void Unsubclass();

    // Text size in this wrapper's font, measured on the screen.
    SIZE MeasureText(const std::wstring& text) const;

protected:
    // Creates the child window with the wrapper as creation parameter and sets the font.
    HWND CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle, HWND parent,
                     int controlId, int x, int y, int width, int height, bool setFont = true);
    static HINSTANCE Instance();

    int kind;
    int id = 0;
    int handled = 0;
    WNDPROC originalProc = nullptr;
    Handler handler = nullptr;
    HWND hwnd = nullptr;
    HFONT font;
    GdiObject scaledFont;  // owns `font` once SetFontScale made one

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
