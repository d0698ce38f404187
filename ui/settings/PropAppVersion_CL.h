#pragma once
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

class ApplicationData_CL;
class Button_CL;
class CheckBox_CL;

// The last page of the settings sheet: the version, two ways to the support site, and the
// option to go without update notices.
class PropAppVersion_CL : public SubClassDialogBase_CL {
public:
    explicit PropAppVersion_CL(ApplicationData_CL& settings) : settings(settings) {}
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Build(HWND window);

    ApplicationData_CL& settings;
    ControlFactory_CL factory{0x1100};
    CheckBox_CL* noNotifyCheck = nullptr;
    Button_CL* iconButton = nullptr;
    Button_CL* supportButton = nullptr;
};
