#include "ui/main/EasyProgress_CL.h"

#include <algorithm>

#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/HighDpiHelper_CL.h"
#include "ui/toolkit/ProgressBar_CL.h"

namespace {
constexpr int kCancelWidth = 48;
}

EasyProgress_CL::EasyProgress_CL(const std::wstring& title, bool cancellable) : title(title), cancellable(cancellable) {}

EasyProgress_CL::~EasyProgress_CL()
{
    Wait();
}

void EasyProgress_CL::Initialise(HWND window)
{
    SetTitle(title);
    HighDpiHelper_CL dpi;
    dpi.MoveWindowScaled(window, 0, 0, 480, 56, FALSE);
    ChangeStyle(0, ~static_cast<DWORD>(WS_SYSMENU | WS_MINIMIZEBOX));
    ::SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    RECT client;
    ::GetClientRect(window, &client);

    cancelButton = factory.GetControl<Button_CL>(factory.AddButton(window, L"キャンセル", 0, 0));
    int barWidth = client.right;
    if (cancellable) {
        // At least 48 pixels, and never narrower than its caption in the dialog's font.
        const int buttonWidth = std::max(kCancelWidth, static_cast<int>(cancelButton->GetWidth()));
        barWidth = client.right - buttonWidth;
        ::MoveWindow(cancelButton->GetHwnd(), barWidth, 0, buttonWidth, client.bottom, FALSE);
    } else {
        cancelButton->Hide();
    }
    progressBar = factory.GetControl<ProgressBar_CL>(factory.AddProgressBar(window, 0, 0, barWidth, client.bottom, 0));
    progressBar->SetRange(0, kProgressMaximum);
    progressBar->SetPos(progressValue);

    CenterOver(::GetParent(window), window, false);
    RECT frame;
    ::GetWindowRect(window, &frame);
    if (frame.top < 0) ::SetWindowPos(window, nullptr, frame.left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    // The work may have ended before this window existed: then it ends at once.
    dialogWindow = window;
    if (workEnded) ::PostMessageW(window, kWorkEnded, 0, 0);
}

INT_PTR EasyProgress_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        Initialise(window);
        SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);  // shows it
        return TRUE;
    case kWorkEnded:
        dialogWindow = nullptr;
        ::EndDialog(window, 0);
        return TRUE;
    case WM_CLOSE:
        // Never leave the work running behind a closed dialog: ask it to stop, and the
        // dialog ends with it.
        Cancel();
        return TRUE;
    case WM_COMMAND:
        if (cancelButton && reinterpret_cast<HWND>(lParam) == cancelButton->GetHwnd()) Cancel();
        return TRUE;  // Enter and Escape (IDOK, IDCANCEL) end nothing
    }
    return FALSE;
}

void EasyProgress_CL::SetProgress(int position)
{
    progressValue = position;
    if (dialogWindow && progressBar) progressBar->SetPos(position);
}

void EasyProgress_CL::OnFinished(int)
{
    workEnded = 1;
    if (HWND window = dialogWindow) ::PostMessageW(window, kWorkEnded, 0, 0);
}
