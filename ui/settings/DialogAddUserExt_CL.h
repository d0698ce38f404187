#pragma once
#include <string>

#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

class Button_CL;
class Edit_CL;

// The small dialog that asks for one extension to add to a list. OK is enabled only while
// the entry is an extension a file name can end with; Enter in the box acts as OK; the
// result has its leading dot.
class DialogAddUserExt_CL : public SubClassDialogBase_CL {
public:
    static constexpr int kMaxLength = 32;

    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // 1 when the user entered an extension, else 0.
    int Run(HWND owner) { return static_cast<int>(DoModal(owner)); }
    const std::wstring& GetResultExtension() const { return resultExtension; }

    // The entry with its leading dot, or empty when no file name can end with it: nothing
    // after the dot, only dots and spaces, a character that no file name holds, or a dot or
    // space at the end.
    static std::wstring NormalisedExtension(const std::wstring& text);

private:
    void Build(HWND window);
    std::wstring EditText() const;
    static LRESULT OnEditMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ControlFactory_CL factory{0x1100};
    Edit_CL* edit = nullptr;
    Button_CL* okButton = nullptr;
    std::wstring resultExtension;
};
