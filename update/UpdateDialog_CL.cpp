#include "update/UpdateDialog_CL.h"

#include "ui/toolkit/HighDpiHelper_CL.h"

INT_PTR UpdateDialog_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetTitle(title);
        HighDpiHelper_CL dpi;
        ::SetWindowPos(window, nullptr, 0, 0, dpi.ScaleX(360), dpi.ScaleY(160), SWP_NOMOVE | SWP_NOZORDER);
        ChangeStyle(0, ~static_cast<DWORD>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        factory.AddStaticText(window, text, 8, 8);
        factory.AddTwoButtons(window, L"　サイトへ移動する　", L"後日通知する　");
        const HWND owner = ::GetWindow(window, GW_OWNER);
        CenterOver(owner, window, !owner || ::IsIconic(owner));
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == ControlFactory_CL::kFirstButtonId) ::EndDialog(window, 1);
        if (LOWORD(wParam) == ControlFactory_CL::kSecondButtonId) ::EndDialog(window, 2);
        return TRUE;
    }
    return SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
}
