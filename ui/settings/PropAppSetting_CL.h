#pragma once
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/SubClassDialogBase_CL.h"

class ApplicationData_CL;
class CheckBox_CL;
class ComboBox_CL;
class Edit_CL;
class RowLayout_CL;

// The first page of the settings sheet: the number of preview frames, which kinds of file
// are compared, the message at the end of a comparison, the rules for deleting, and the
// search for similar movies with its threshold.
class PropAppSetting_CL : public SubClassDialogBase_CL {
public:
    explicit PropAppSetting_CL(ApplicationData_CL& settings) : settings(settings) {}
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Build(HWND window);
    void OnCommand(HWND from, UINT notification);
    void Apply();
    void BuildSimilarGroup(HWND window, RowLayout_CL& rows);
    // The threshold in the box, brought into 1..100.
    int ThresholdEntered() const;

    ApplicationData_CL& settings;
    ControlFactory_CL factory{0x1100};
    ComboBox_CL* previewCountCombo = nullptr;
    CheckBox_CL* compareMovieCheck = nullptr;
    CheckBox_CL* compareImageCheck = nullptr;
    CheckBox_CL* confirmDeleteCheck = nullptr;
    CheckBox_CL* completeMessageCheck = nullptr;
    CheckBox_CL* verifyBeforeDeleteCheck = nullptr;
    CheckBox_CL* findSimilarCheck = nullptr;
    Edit_CL* thresholdEdit = nullptr;
    bool isBuilt = false;
};
