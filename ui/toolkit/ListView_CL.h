#pragma once
#include <windows.h>
#include <commctrl.h>

#include "ui/toolkit/ControlBase_CL.h"

// A report-style list view that always shows its selection.
class ListView_CL : public ControlBase_CL {
public:
    enum SortArrow { kNoArrow, kAscending, kDescending };

    ListView_CL() : ControlBase_CL(kListView) {}
    HWND Create(HWND parent, int controlId, int x, int y, int width, int height, DWORD style);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

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
    void DeleteLastColumn();
    int GetColumnCount() const { return columnCount; }
    void SetItem(int item, int subItem, const std::wstring& text, int image);
    // Sub-item 0 inserts a new item at `item`; a later sub-item sets that cell. Gives the
    // index of the item.
    int PutCell(int item, int subItem, const std::wstring& text, int image, LPARAM parameter);
    std::wstring GetItemText(int item, int subItem) const;
    LPARAM GetItemParam(int item) const;
    void SetItemParam(int item, LPARAM parameter);
    // The item whose parameter is `parameter`, or -1.
    int FindItemByParam(LPARAM parameter) const;
    // Reorders the items; `compare` gets the two items' parameters and `context`.
    void SortItems(PFNLVCOMPARE compare, LPARAM context);
    // The header's arrow on one column (every other column loses its arrow).
    void SetSortArrow(int column, SortArrow arrow);
    // Where a menu for the focused item opens, in screen coordinates: below that item, or
    // at the list's top-left corner when no item has the focus.
    POINT MenuPointForFocusedItem() const;
    // A text the list draws centred in itself while it has no items (a hint on what to do).
    void SetCueText(const std::wstring& text);

private:
    void DrawCueText();

    int columnCount = 0;
    std::wstring cueText;
};
