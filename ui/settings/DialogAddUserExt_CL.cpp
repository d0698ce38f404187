#include "ui/settings/DialogAddUserExt_CL.h"

#include <algorithm>

#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/Edit_CL.h"
#include "ui/toolkit/StaticText_CL.h"

std::wstring DialogAddUserExt_CL::NormalisedExtension(const std::wstring& text)
{
    const std::wstring extension = !text.empty() && text[0] == L'.' ? text : L"." + text;
    const std::wstring name = extension.substr(1);
    if (name.empty() || name.find_first_not_of(L". ") == std::wstring::npos) return std::wstring();
    if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return std::wstring();
    if (name.back() == L'.' || name.back() == L' ') return std::wstring();
    for (wchar_t c : name)
        if (c < 0x20) return std::wstring();
    return extension;
}

std::wstring DialogAddUserExt_CL::EditText() const
{
    wchar_t text[256] = {};
    ::GetWindowTextW(edit->GetHwnd(), text, 256);
    return text;
}

void DialogAddUserExt_CL::Build(HWND window)
{
    SetTitle(L"拡張子の追加");
    auto* prompt = factory.GetControl<StaticText_CL>(factory.AddStaticText(window, L"拡張子を入力してください。", 8, 8));
    edit = factory.GetControl<Edit_CL>(factory.AddEdit(window, 8, 0, 20, 1, ES_AUTOHSCROLL | WS_BORDER));
    edit->Move(8, prompt->GetRect().top + prompt->GetHeight() + 6, FALSE);
    edit->LimitText(kMaxLength);
    edit->Subclass(&OnEditMessage);
    const int first = factory.AddTwoButtons(window, L"　　設定　　", L"　キャンセル　");
    okButton = factory.GetControl<Button_CL>(first);
    auto* cancel = factory.GetControl<Button_CL>(first + 1);

    // Wide enough for the box and the buttons, tall enough for the three rows.
    const RECT editRect = edit->GetRect();
    const int width = std::max<int>(editRect.left + editRect.right, okButton->GetWidth() + cancel->GetWidth() + 4) + 16;
    const int height = editRect.top + editRect.bottom + 12 + okButton->GetHeight() + 8;
    RECT frame = {0, 0, width, height};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
    ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    factory.PlaceButtonPair(window, first, 0);
    okButton->Enable(FALSE);
    CenterOver(::GetParent(window), window, false);
    ::SetFocus(edit->GetHwnd());
}

LRESULT DialogAddUserExt_CL::OnEditMessage(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CHAR && wParam == 13) {
        ::SendMessageW(::GetParent(window), WM_COMMAND, ControlFactory_CL::kFirstButtonId, 0);
        auto* self = reinterpret_cast<ControlBase_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) self->SetHandled(1);  // no beep for the Enter
    }
    return 0;
}

INT_PTR DialogAddUserExt_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        Build(window);
        SubClassDialogBase_CL::DialogProc(window, message, wParam, lParam);
        return FALSE;  // the focus is on the box
    case WM_COMMAND:
        if (edit && reinterpret_cast<HWND>(lParam) == edit->GetHwnd() && HIWORD(wParam) == EN_CHANGE) {
            okButton->Enable(!NormalisedExtension(EditText()).empty());
        } else if (LOWORD(wParam) == ControlFactory_CL::kFirstButtonId || LOWORD(wParam) == IDOK) {
            resultExtension = NormalisedExtension(EditText());
            if (!resultExtension.empty()) ::EndDialog(window, 1);
        } else if (LOWORD(wParam) == ControlFactory_CL::kSecondButtonId || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(window, 0);
        }
        return TRUE;
    case WM_CLOSE:
        ::EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}
