#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/DuplicateGroup.h"
#include "ui/toolkit/ListView_CL.h"

class FirstFileCompare_CL;

// The group list's rows over the scanner's groups: one row per group, its columns from a
// table, sorted by the column the user clicked (a second click reverses). Each row keeps
// its group's index in the scanner's list as its parameter, so rows may stand in any
// order; when a group is taken out, the rows of the later groups follow the shift.
//
// Main thread only. Every access to the groups holds the scanner's GroupsLock().
class GroupTable_CL {
public:
    struct Column {
        const wchar_t* title;
        int format;
        int width;
        std::wstring (*text)(const DuplicateGroup& group);
        // Below 0, 0 or above 0 as `a` sorts before, with or after `b` in ascending order.
        int (*compare)(const DuplicateGroup& a, const DuplicateGroup& b);
    };

    GroupTable_CL(ListView_CL& list, FirstFileCompare_CL& scanner);

    // The columns of the exact search; "種類" joins them through ShowKind.
    void CreateColumns();
    static const std::vector<Column>& Columns();
    // Whether the "種類" column (exact or similar) is there: only while the list may hold
    // similar groups, so that without them the list is as it always was.
    void ShowKind(bool isShown);

    // The group that arrived last (the scanner's last one) gets its row, at its sorted place.
    void AddLastGroup();
    // The group's row shows it as it is now, at its sorted place.
    void RefreshGroup(int groupIndex);
    void RefreshAll();
    // Takes the group out of the scanner's list and its row out of the list.
    void EraseGroup(int groupIndex);
    void Clear();
    // A click on a column's header.
    void SortBy(int column);
    // The list's custom draw: a similar group's row in its own colour, so it stands out
    // from the exact groups even while the "種類" column is scrolled out of sight.
    LRESULT DrawRow(NMLVCUSTOMDRAW& draw) const;

    int GroupOfRow(int row) const;
    int RowOfGroup(int groupIndex) const;
    // The groups' indexes in the order of the rows.
    std::vector<int> GroupsInRowOrder() const;

private:
    void FillRow(int row, const DuplicateGroup& group);
    // Whether group `a` comes before group `b` in the list's current order.
    bool Before(int a, int b) const;
    static int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM table);

    ListView_CL& list;
    FirstFileCompare_CL& scanner;
    int sortColumn = -1;
    bool isAscending = true;
};
