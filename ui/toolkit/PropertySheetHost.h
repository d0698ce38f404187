#pragma once
#include <windows.h>
#include <prsht.h>

#include <string>
#include <vector>

class SubClassDialogBase_CL;

// A modal property sheet whose pages are in-memory dialog objects. The sheet centres
// itself over its parent each time it is shown.
class PropertySheetHost {
public:
    explicit PropertySheetHost(HWND* ownerHandle) : ownerHandle(ownerHandle) {}
    void AddPage(SubClassDialogBase_CL& page, const std::wstring& title);
    INT_PTR Show(HWND parentWindow, const std::wstring& caption);

private:
    struct PageRecord {
        SubClassDialogBase_CL* page;
        std::wstring title;
    };
    static int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
    static LRESULT CALLBACK SheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<PageRecord> pages;
    HWND* ownerHandle;
};
