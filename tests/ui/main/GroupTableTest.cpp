// The group list's rows over the scanner's groups, in a list view of the test process.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "engine/FirstFileCompare_CL.h"
#include "support/GuiTestSupport.h"
#include "ui/main/GroupTable_CL.h"
#include "ui/toolkit/ListView_CL.h"

TEST(GroupTable, AGroupThatGrowsOrShrinksKeepsTheSortedListInOrderAndItsSelection)
{
    InProcessGui gui;
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    ListView_CL list;
    ASSERT_NE(list.Create(parent, 7, 0, 0, 400, 300, 0), nullptr);
    FirstFileCompare_CL scanner;
    GroupTable_CL table(list, scanner);
    table.CreateColumns();
    std::vector<CompareFileEntry> files(12);
    for (size_t i = 0; i < files.size(); ++i) {
        files[i].path = L"C:\\f" + std::to_wstring(i) + L".avi";
        files[i].size = 1000;
    }
    auto add = [&](std::initializer_list<size_t> members) {
        DuplicateGroup group;
        for (size_t member : members) group.push_back(&files[member]);
        scanner.Groups().push_back(group);
        table.AddLastGroup();
    };
    add({0, 1});
    add({2, 3, 4});
    add({5, 6});
    table.SortBy(3);  // by the number of files, fewest first; equal ones in the order found
    ASSERT_EQ(table.GroupsInRowOrder(), (std::vector<int>{0, 2, 1}));
    ListView_SetItemState(list.GetHwnd(), table.RowOfGroup(0), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

    // Group 0 grows past the others: its row moves to the end, still selected, and a group
    // found after it is put in its place by the rows' order.
    scanner.Groups()[0].push_back(&files[7]);
    scanner.Groups()[0].push_back(&files[8]);
    table.RefreshGroup(0);
    EXPECT_EQ(table.GroupsInRowOrder(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(list.GetItemText(table.RowOfGroup(0), 3), L"4");
    EXPECT_EQ(table.GroupOfRow(list.GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED)), 0);
    add({9, 10, 11});
    EXPECT_EQ(table.GroupsInRowOrder(), (std::vector<int>{2, 1, 3, 0}));

    // Shrunk by a delete, the group goes back before the others; reversed, the order follows.
    scanner.Groups()[0].resize(2);
    table.RefreshGroup(0);
    EXPECT_EQ(table.GroupsInRowOrder(), (std::vector<int>{0, 2, 1, 3}));
    EXPECT_EQ(table.GroupOfRow(list.GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED)), 0);
    table.SortBy(3);
    scanner.Groups()[2].push_back(&files[7]);
    scanner.Groups()[2].push_back(&files[8]);
    table.RefreshGroup(2);
    EXPECT_EQ(table.GroupsInRowOrder(), (std::vector<int>{2, 1, 3, 0}));
    ::DestroyWindow(parent);
}
