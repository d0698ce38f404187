#pragma once
#include "ui/toolkit/ControlBase_CL.h"

// A report-style list view that always shows its selection.
class ListView_CL : public ControlBase_CL {
public:
    ListView_CL() : ControlBase_CL(kListView) {}
    HWND Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style);

    int GetItemCount() const;
    void DeleteAllItems();
    void DeleteItem(int item);
    int GetNextItem(int start, UINT flags) const;
    // 1 checked, 0 unchecked (the state image index less one).
    int GetCheckState(int item) const;
    void SetCheckState(int item, int checked);
    void SetExtendedStyle(DWORD style);
    // Columns are numbered from 0 in the order added.
    int AddColumn(const std::wstring& text, int format, int width);
    void SetItem(int item, int subItem, const std::wstring& text, int image);
    // Sub-item 0 inserts a new item at `item`; a later sub-item sets that cell. Gives the
    // index of the item.
    int PutCell(int item, int subItem, const std::wstring& text, int image, LPARAM parameter);
    std::wstring GetItemText(int item, int subItem) const;

private:
    int columnCount = 0;
};
