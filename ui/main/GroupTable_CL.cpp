#include "ui/main/GroupTable_CL.h"

#include <shlwapi.h>

#include <algorithm>

#include "core/PathFunctions.h"
#include "core/TextFormat.h"
#include "engine/FirstFileCompare_CL.h"
#include "engine/ResultExport.h"

namespace {

template <typename T>
int Order(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

std::wstring NameOf(const DuplicateGroup& group)
{
    return GetFileNamePart(group.front()->path);
}

size_t TickedCount(const DuplicateGroup& group)
{
    return static_cast<size_t>(std::count_if(group.begin(), group.end(), [](const CompareFileEntry* e) { return e->isTicked; }));
}

constexpr size_t kKindColumn = 6;

const std::vector<GroupTable_CL::Column> kColumns = {
    {L"ファイル名", LVCFMT_LEFT, 236, [](const DuplicateGroup& g) { return NameOf(g); },
     // As the shell orders names: "clip 2" before "clip 10", case aside.
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return ::StrCmpLogicalW(NameOf(a).c_str(), NameOf(b).c_str()); }},
    {L"拡張子", LVCFMT_LEFT, 64, [](const DuplicateGroup& g) { return GetExtension(NameOf(g)); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) {
         const std::wstring x = GetExtension(NameOf(a)), y = GetExtension(NameOf(b));
         return ::CompareStringOrdinal(x.c_str(), -1, y.c_str(), -1, TRUE) - CSTR_EQUAL;
     }},
    {L"ファイルサイズ", LVCFMT_RIGHT, 100, [](const DuplicateGroup& g) { return FormatWithThousands(g.front()->size); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return Order(a.front()->size, b.front()->size); }},
    {L"重複数", LVCFMT_RIGHT, 64, [](const DuplicateGroup& g) { return std::to_wstring(g.size()); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return Order(a.size(), b.size()); }},
    {L"重複分", LVCFMT_RIGHT, 100, [](const DuplicateGroup& g) { return FormatWithThousands(WastedBytes(g)); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return Order(WastedBytes(a), WastedBytes(b)); }},
    {L"チェック", LVCFMT_RIGHT, 64, [](const DuplicateGroup& g) { return std::to_wstring(TickedCount(g)); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return Order(TickedCount(a), TickedCount(b)); }},
    // Last, so that every earlier column keeps its place for anyone who reads the list (kKindColumn).
    {L"種類", LVCFMT_LEFT, 48, [](const DuplicateGroup& g) { return std::wstring(g.isSimilar ? L"類似" : L"同一"); },
     [](const DuplicateGroup& a, const DuplicateGroup& b) { return Order(a.isSimilar, b.isSimilar); }},
};

}  // namespace

GroupTable_CL::GroupTable_CL(ListView_CL& list, FirstFileCompare_CL& scanner) : list(list), scanner(scanner) {}

const std::vector<GroupTable_CL::Column>& GroupTable_CL::Columns()
{
    return kColumns;
}

void GroupTable_CL::CreateColumns()
{
    for (size_t c = 0; c < kKindColumn; ++c) list.AddColumn(kColumns[c].title, kColumns[c].format, kColumns[c].width);
}

void GroupTable_CL::ShowKind(bool isShown)
{
    const bool isThere = list.GetColumnCount() > static_cast<int>(kKindColumn);
    if (isShown == isThere) return;
    if (isShown) {
        const Column& kind = kColumns[kKindColumn];
        list.AddColumn(kind.title, kind.format, kind.width);
        RefreshAll();
        return;
    }
    if (sortColumn == static_cast<int>(kKindColumn)) {
        sortColumn = -1;
        isAscending = true;
    }
    list.DeleteLastColumn();
}

void GroupTable_CL::FillRow(int row, const DuplicateGroup& group)
{
    for (int c = 1; c < list.GetColumnCount(); ++c) list.SetItem(row, c, kColumns[c].text(group), -1);
    list.SetItem(row, 0, kColumns[0].text(group), -1);
}

bool GroupTable_CL::Before(int a, int b) const
{
    const std::vector<DuplicateGroup>& groups = scanner.Groups();
    int order = sortColumn < 0 ? 0 : kColumns[sortColumn].compare(groups[a], groups[b]);
    if (!isAscending) order = -order;
    return order != 0 ? order < 0 : a < b;  // equal rows stay in the order they were found
}

void GroupTable_CL::AddLastGroup()
{
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    const std::vector<DuplicateGroup>& groups = scanner.Groups();
    if (groups.empty() || groups.back().empty()) return;
    const int index = static_cast<int>(groups.size()) - 1;
    // The first row that should come after the new group.
    int low = 0, high = list.GetItemCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (Before(static_cast<int>(list.GetItemParam(middle)), index))
            low = middle + 1;
        else
            high = middle;
    }
    const int row = list.PutCell(low, 0, kColumns[0].text(groups[index]), -1, index);
    FillRow(row, groups[index]);
}

void GroupTable_CL::RefreshGroup(int groupIndex)
{
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    const int row = RowOfGroup(groupIndex);
    if (row < 0 || groupIndex >= static_cast<int>(scanner.Groups().size())) return;
    FillRow(row, scanner.Groups()[groupIndex]);
    // A group that grew or shrank may belong elsewhere now, and AddLastGroup's search needs
    // the rows in order. Sorting (rather than taking the row out and putting it back) keeps
    // its selection and focus without telling the window of a change.
    const bool isInPlace = (row == 0 || Before(GroupOfRow(row - 1), groupIndex)) &&
                           (row + 1 == list.GetItemCount() || Before(groupIndex, GroupOfRow(row + 1)));
    if (!isInPlace) list.SortItems(&CompareRows, reinterpret_cast<LPARAM>(this));
}

void GroupTable_CL::RefreshAll()
{
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    const std::vector<DuplicateGroup>& groups = scanner.Groups();
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const int index = GroupOfRow(row);
        if (index >= 0 && index < static_cast<int>(groups.size())) FillRow(row, groups[index]);
    }
}

void GroupTable_CL::EraseGroup(int groupIndex)
{
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    std::vector<DuplicateGroup>& groups = scanner.Groups();
    if (groupIndex < 0 || groupIndex >= static_cast<int>(groups.size())) return;
    groups.erase(groups.begin() + groupIndex);
    const int row = RowOfGroup(groupIndex);
    if (row >= 0) list.DeleteItem(row);
    for (int r = 0; r < list.GetItemCount(); ++r) {
        const LPARAM index = list.GetItemParam(r);
        if (index > groupIndex) list.SetItemParam(r, index - 1);
    }
}

void GroupTable_CL::Clear()
{
    list.DeleteAllItems();
}

int CALLBACK GroupTable_CL::CompareRows(LPARAM a, LPARAM b, LPARAM table)
{
    const auto* self = reinterpret_cast<const GroupTable_CL*>(table);
    if (a == b) return 0;
    return self->Before(static_cast<int>(a), static_cast<int>(b)) ? -1 : 1;
}

void GroupTable_CL::SortBy(int column)
{
    if (column < 0 || column >= list.GetColumnCount()) return;
    isAscending = column == sortColumn ? !isAscending : true;
    sortColumn = column;
    {
        CriticalSection_CL::Guard guard(scanner.GroupsLock());
        list.SortItems(&CompareRows, reinterpret_cast<LPARAM>(this));
    }
    list.SetSortArrow(sortColumn, isAscending ? ListView_CL::kAscending : ListView_CL::kDescending);
    // The selected group stays selected; keep it in sight.
    const int selected = list.GetNextItem(-1, LVNI_SELECTED);
    if (selected >= 0) ::SendMessageW(list.GetHwnd(), LVM_ENSUREVISIBLE, selected, FALSE);
}

LRESULT GroupTable_CL::DrawRow(NMLVCUSTOMDRAW& draw) const
{
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    const int index = static_cast<int>(draw.nmcd.lItemlParam);
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    const std::vector<DuplicateGroup>& groups = scanner.Groups();
    if (index >= 0 && index < static_cast<int>(groups.size()) && groups[index].isSimilar) draw.clrText = RGB(0, 80, 170);
    return CDRF_DODEFAULT;
}

int GroupTable_CL::GroupOfRow(int row) const
{
    if (row < 0 || row >= list.GetItemCount()) return -1;
    return static_cast<int>(list.GetItemParam(row));
}

int GroupTable_CL::RowOfGroup(int groupIndex) const
{
    return groupIndex < 0 ? -1 : list.FindItemByParam(groupIndex);
}

std::vector<int> GroupTable_CL::GroupsInRowOrder() const
{
    std::vector<int> order;
    for (int row = 0; row < list.GetItemCount(); ++row) order.push_back(GroupOfRow(row));
    return order;
}
