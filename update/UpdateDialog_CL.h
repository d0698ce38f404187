#pragma once
#include <string>

#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

// The notice of a newer version: its text and two buttons, "go to the site" (ends the
// dialog with 1) and "remind me later" (2); closing it gives 0.
class UpdateDialog_CL : public SubClassDialogBase_CL {
public:
    UpdateDialog_CL(const std::wstring& title, const std::wstring& text) : title(title), text(text) {}
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::wstring title;
    std::wstring text;
    ControlFactory_CL factory{0x1100};
};
