#pragma once
#include <windows.h>

#include <memory>
#include <string>

// A dialog (or property page) run on a template built in memory: an empty 320 x 240
// dialog-unit frame whose controls the derived class creates at WM_INITDIALOG.
class SubClassDialogBase_CL {
public:
    static constexpr size_t kTemplateBytes = 1024;
    static constexpr short kTemplateWidth = 320, kTemplateHeight = 240;

    explicit SubClassDialogBase_CL(HWND* handleOut = nullptr) : handleOut(handleOut) {}
    virtual ~SubClassDialogBase_CL();
    virtual INT_PTR DoModal(HWND owner);
    // The base ends the dialog with 0 on WM_CLOSE and shows it at WM_INITDIALOG.
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    SubClassDialogBase_CL(const SubClassDialogBase_CL&) = delete;
    SubClassDialogBase_CL& operator=(const SubClassDialogBase_CL&) = delete;

    HWND GetHwnd() const { return hwnd; }
    void SetTitle(const std::wstring& text) { ::SetWindowTextW(hwnd, text.c_str()); }
    void ChangeStyle(DWORD add, DWORD keepMask);
    // Centres the dialog's client area over the reference window, or over the screen when
    // the reference is minimised or `useScreen` is set. The size is kept.
    static void CenterOver(HWND reference, HWND dialog, bool useScreen);

    struct PageArea {
        RECT rect;        // the sheet's tab display area, moved to the origin
        int width, height;
        int cellWidth, cellHeight;  // of the full-width letter W, the pages' layout unit
    };
    PageArea GetPageArea() const;

    // The template, rebuilt for every use.
    const DLGTEMPLATE* BuildTemplate();
    // The modal procedure and the property-page procedure shared by every dialog object.
    static INT_PTR CALLBACK ModalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void SetHandleOut(HWND* out) { handleOut = out; }

protected:
    HWND hwnd = nullptr;
    HWND parent = nullptr;
    HDC dc = nullptr;
    std::unique_ptr<uint8_t[]> dialogTemplate;
    HFONT dialogFont = nullptr;
    HWND* handleOut;
    DWORD templateStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

private:
    static INT_PTR Dispatch(SubClassDialogBase_CL* self, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise(HWND window, HWND handleForOwner);
};
