#pragma once
#include <windows.h>

#include <string>

#include "core/EasyThreadBase_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

class Button_CL;
class ProgressBar_CL;

// A small modal dialog that shows the progress of one piece of work running on its own
// thread, with an optional cancel button. The subclass gives the work (Run); the dialog
// ends by itself when the work has ended, even when that happened before the dialog
// window existed. It has no close box, and Enter and Escape do not end it.
class EasyProgress_CL : public SubClassDialogBase_CL, public EasyThreadBase_CL {
public:
    static constexpr int kFirstControlId = 0x1100;
    static constexpr int kProgressMaximum = 2000;
    static constexpr UINT kWorkEnded = WM_APP + 0x21;

    EasyProgress_CL(const std::wstring& title, bool cancellable);
    ~EasyProgress_CL() override;

    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // 0..2000; from any thread. Dropped while the dialog does not exist.
    virtual void SetProgress(int position);

    // Ends the dialog (through its own thread): the work is over.
    void OnFinished(int isCanceled) override;

private:
    void Initialise(HWND window);

    ControlFactory_CL factory{kFirstControlId};
    ProgressBar_CL* progressBar = nullptr;
    Button_CL* cancelButton = nullptr;
    std::wstring title;
    bool cancellable;
    volatile LONG progressValue = 0;
    volatile LONG workEnded = 0;
    HWND volatile dialogWindow = nullptr;
};
