#include "ui/main/MainWindow_CL.h"

#include <windowsx.h>

#include <algorithm>
#include <set>
#include <unordered_set>
#include <commctrl.h>
#include <shellapi.h>
#include <commdlg.h>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/OpenAddress.h"
#include "core/PathFunctions.h"
#include "core/TextFormat.h"
#include "core/UniqueHandle.h"
#include "engine/CompareTarget.h"
#include "engine/ListFile.h"
#include "engine/SimilarMatcher_CL.h"
#include "ui/main/TestAAA_CL.h"
#include "ui/settings/PropAppExtSetting_CL.h"
#include "ui/settings/PropAppSetting_CL.h"
#include "ui/settings/PropAppVersion_CL.h"
#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/FolderSelectDialog_CL.h"
#include "ui/toolkit/ListView_CL.h"
#include "ui/toolkit/PopupMenu_CL.h"
#include "ui/toolkit/ProgressBar_CL.h"
#include "ui/toolkit/PropertySheetHost.h"
#include "ui/toolkit/StaticText_CL.h"
#include "engine/ResultExport.h"
#include "engine/SelectionRule_CL.h"
#include "ui/toolkit/Tab_CL.h"
#include "update/UpdateCheck_CL.h"

namespace {

constexpr int kListWidth = 548, kListHeight = 308;
constexpr DWORD kListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES;
constexpr int kProgressMaximum = 1000;

const wchar_t kStartText[] = L"比較開始";
const wchar_t kCancelText[] = L"ｷｬﾝｾﾙ";
const wchar_t kNoticeTitle[] = L"お知らせ";

std::wstring SimilarProgressText(int done, int total)
{
    return L"類似チェック中 " + std::to_wstring(done) + L"/" + std::to_wstring(total);
}

}  // namespace

MainWindow_CL::MainWindow_CL(ApplicationData_CL& settings) : settings(settings), searchJob(*this, settings)
{
    SetClassName(L"MainWindowClass");
    SetWindowTitle(L"Quillmere");
    SetIcon(::LoadIconW(Instance(), MAKEINTRESOURCEW(107)));
}

MainWindow_CL::~MainWindow_CL()
{
    TheIniFile().SetWriteFailureReporter(nullptr);
    searchJob.Stop();
}

void MainWindow_CL::SetStartPath(const std::wstring& path)
{
    isFileListMode = true;
    listFilePath = path;
}

const std::vector<std::wstring>* MainWindow_CL::GetFileList() const
{
    return isFileListMode ? &fileList : nullptr;
}

void MainWindow_CL::OnCreate(CREATESTRUCTW*)
{
    ::SetWindowPos(hwnd, nullptr, 0, 0, 640, 720, SWP_NOMOVE | SWP_NOZORDER);

    startButton = factory.GetControl<Button_CL>(factory.AddButton(hwnd, kStartText, 0, 0));
    progressBar = factory.GetControl<ProgressBar_CL>(factory.AddProgressBar(hwnd, 0, 0, 200, 24, 0));
    CreateLists();

    tab = factory.GetControl<Tab_CL>(factory.AddTab(hwnd, 0, 0, 400, 100, 0));
    tab->ChangeExStyle(0, ~static_cast<DWORD>(WS_EX_CLIENTEDGE));
    tab->AddTab(isFileListMode ? L"比較対象ファイル" : L"比較対象フォルダ", -1, -1, 0);
    tab->AddTab(L"比較結果", -1, -1, 1);

    auto pane = std::make_unique<TestAAA_CL>(*this, settings);
    pane->Create(hwnd, factory.TakeNextId());
    resultPane = pane.get();
    factory.Adopt(std::move(pane));
    summary = factory.GetControl<StaticText_CL>(factory.AddStaticText(hwnd, L"", 0, 0));

    splitFrame.SetOwnerWindow(hwnd);
    splitFrame.SetFirstWindow(resultPane->GetHwnd());
    splitFrame.SetSecondWindow(tab->GetHwnd());
    splitFrame.SetPosition(kInitialLowerPaneHeight);

    folderListTip.Attach(hwnd, *folderList);
    groupListTip.Attach(hwnd, *groupList);
    FillFolderList();

    OnLayout();
    ShowTab(0);
    ::DragAcceptFiles(hwnd, TRUE);
    // A change that cannot be written is told once, from whichever thread wrote it.
    const HWND window = hwnd;
    TheIniFile().SetWriteFailureReporter([window](const std::wstring& reason) {
        auto text = std::make_unique<std::wstring>(reason);
        if (::PostMessageW(window, MSG_SETTINGS_UNSAVED, 0, reinterpret_cast<LPARAM>(text.get()))) text.release();
    });
    ::ShowWindow(hwnd, SW_SHOW);
}

void MainWindow_CL::CreateLists()
{
    folderList = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    folderList->Hide();
    folderList->SetExtendedStyle(kListExStyle | LVS_EX_CHECKBOXES);
    folderList->AddColumn(L"フォルダ", LVCFMT_LEFT, 640);
    folderList->SetCueText(L"右クリックまたはドラッグ＆ドロップでフォルダを追加");

    fileListView = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    fileListView->Hide();
    fileListView->SetExtendedStyle(kListExStyle);
    fileListView->AddColumn(L"ファイル", LVCFMT_LEFT, 640);
    if (isFileListMode) ReadListFile();

    groupList = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    groupList->Hide();
    groupList->SetExtendedStyle(kListExStyle);
    groupTable = std::make_unique<GroupTable_CL>(*groupList, searchJob.Scanner());
    groupTable->CreateColumns();
    // Before any search the list and its menu follow the option; then the search on show.
    findsSimilar = settings.findSimilar != 0;
    groupTable->ShowKind(findsSimilar);
}

void MainWindow_CL::ReadListFile()
{
    fileList = ::ReadListFile(listFilePath);
    // Each line becomes the new first row, so the list shows the file bottom up.
    for (const std::wstring& path : fileList) fileListView->PutCell(0, 0, path, -1, 0);
}

void MainWindow_CL::FillFolderList()
{
    isFillingFolders = true;
    folderListTip.Reset();
    // A visible list repaints after every row otherwise (seconds for a few dozen under Wine).
    // WM_SETREDRAW also sets and clears WS_VISIBLE, so a hidden list is left alone.
    const HWND list = folderList->GetHwnd();
    const bool isVisible = ::IsWindowVisible(list) != FALSE;
    if (isVisible) ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    folderList->DeleteAllItems();
    const auto& folders = settings.GetCheckFolders();
    for (size_t i = 0; i < folders.size(); ++i) {
        int row = folderList->PutCell(static_cast<int>(i), 0, folders[i].path, -1, 0);
        folderList->SetCheckState(row, folders[i].isChecked);
    }
    if (isVisible) {
        ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(list, nullptr, TRUE);
    }
    isFillingFolders = false;
}

void MainWindow_CL::OnLayout()
{
    if (!startButton) return;
    RECT client;
    ::GetClientRect(hwnd, &client);
    const int width = client.right, height = client.bottom;
    splitFrame.SetPosition(height - lowerPaneHeight);

    LayoutBottomRow(width, height);
    RECT panes = {0, 0, width, height - startButton->GetHeight()};
    splitFrame.Layout(panes);
    RECT area = tab->GetDisplayArea(splitFrame.GetSecondRect(), 0);
    for (ListView_CL* list : {folderList, fileListView, groupList})
        ::MoveWindow(list->GetHwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void MainWindow_CL::LayoutBottomRow(int width, int height)
{
    const int buttonWidth = startButton->GetWidth(), buttonHeight = startButton->GetHeight();
    const int buttonX = width - buttonWidth, buttonY = height - buttonHeight;
    startButton->Move(buttonX, buttonY, TRUE);
    // The summary sits between the bar and the button, as wide as its text (at most half the row).
    const std::wstring text = summary ? summary->GetText() : std::wstring();
    const SIZE textSize = text.empty() ? SIZE{0, 0} : summary->MeasureText(text);
    const int summaryWidth = text.empty() ? 0 : std::min<int>(textSize.cx + 8, buttonX / 2);
    const int barY = buttonY + (buttonHeight - progressBar->GetHeight()) / 2;
    const int barWidth = buttonX - 1 - 2 - summaryWidth;
    ::MoveWindow(progressBar->GetHwnd(), 1, barY, barWidth, 22, TRUE);
    progressBar->SetRange(0, kProgressMaximum);
    if (summary)
        ::MoveWindow(summary->GetHwnd(), 1 + barWidth + 6, buttonY + (buttonHeight - textSize.cy) / 2, summaryWidth - 6,
                     textSize.cy, TRUE);
}

void MainWindow_CL::ShowTab(int index)
{
    tab->SetCurSel(index);
    if (index == 0) {
        (isFileListMode ? fileListView : folderList)->Show();
        groupList->Hide();
        resultPane->ShowGroup(nullptr, -1);
    } else {
        folderList->Hide();
        fileListView->Hide();
        groupList->Show();
    }
}

void MainWindow_CL::SetBusy()
{
    progressBar->SetPos(0);
    startButton->SetText(kCancelText);
    settings.isSearching = 1;
}

void MainWindow_CL::SetIdle()
{
    progressBar->SetPos(0);
    startButton->SetText(kStartText);
    startButton->Enable(TRUE);
    settings.isSearching = 0;
    settings.isCancelRequested = 0;
}

void MainWindow_CL::StartOrCancel()
{
    TheLog().Write(L"比較開始(start)");
    if (settings.isSearching) {
        startButton->Enable(FALSE);
        settings.isCancelRequested = 1;
        similarSearch.Cancel();
        return;
    }
    progressBar->SetOverlayText(L"");
    findsSimilar = settings.findSimilar != 0;
    similarThreshold = ApplicationData_CL::ValidSimilarThreshold(settings.similarThreshold);
    fingerprints.clear();
    outOfSimilarGroups.clear();
    groupTable->Clear();
    // The list is emptied: the "種類" column follows the option from this search on.
    groupTable->ShowKind(findsSimilar);
    resultPane->ShowGroup(nullptr, -1);
    summary->SetText(L"");
    SetBusy();
    ShowTab(1);
    searchJob.StartSearch();
    TheLog().Write(L"比較開始(end)");
}

void MainWindow_CL::SetSearchProgress(int value)
{
    progressBar->SetPos(value);  // a message sent to the main thread's control
}

void MainWindow_CL::AddGroup(const DuplicateGroup& group)
{
    // The list is the main thread's: it places the group (the scanner's last one) there.
    if (!group.empty()) ::SendMessageW(hwnd, MSG_GROUP_FOUND, 0, 0);
}

void MainWindow_CL::OnGroupFound()
{
    groupTable->AddLastGroup();
    UpdateSummary();
}

void MainWindow_CL::UpdateSummary()
{
    size_t groupCount = 0, fileCount = 0, tickedCount = 0;
    uint64_t wasted = 0, tickedBytes = 0;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        // An exact group's first file may stand in a similar group too: it is one file.
        std::unordered_set<const CompareFileEntry*> similarMembers;
        for (const DuplicateGroup& group : searchJob.Scanner().Groups())
            if (group.isSimilar) similarMembers.insert(group.begin(), group.end());
        for (const DuplicateGroup& group : searchJob.Scanner().Groups()) {
            if (group.empty()) continue;
            ++groupCount;
            wasted += WastedBytes(group);
            for (const CompareFileEntry* entry : group) {
                if (!group.isSimilar && similarMembers.count(entry)) continue;
                ++fileCount;
                tickedCount += entry->isTicked;
                tickedBytes += entry->isTicked ? entry->size : 0;
            }
        }
    }
    std::wstring text;
    if (groupCount > 0) {
        text = std::to_wstring(groupCount) + L" グループ / " + std::to_wstring(fileCount) + L" ファイル / 重複分 " +
               FormatByteSize(wasted);
        if (tickedCount > 0)
            text += L" / チェック " + std::to_wstring(tickedCount) + L" ファイル (" + FormatByteSize(tickedBytes) + L")";
    }
    if (text == summary->GetText()) return;
    summary->SetText(text);
    OnLayout();
}

void MainWindow_CL::OnSearchFinished()
{
    ::SendMessageW(hwnd, MSG_COMPARE_FINISHED, 0, 0);
}

void MainWindow_CL::OnCompareFinished()
{
    // The similar movies come after the exact groups, unless the search was cancelled or the
    // window is closing; the search ends for the user when they are found.
    if (findsSimilar && !settings.isCancelRequested && !closeAfterSearch && StartSimilarPhase()) return;
    EndSearch();
}

bool MainWindow_CL::StartSimilarPhase()
{
    // The search worker has ended its work: the entries are the window's to read.
    std::vector<CompareFileEntry*> movies;
    for (CompareFileEntry& file : searchJob.Scanner().Files())
        if (IsEnabledMovie(file, settings)) movies.push_back(&file);
    if (movies.size() < 2) return false;
    std::vector<DuplicateGroup> exactGroups;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        exactGroups = searchJob.Scanner().Groups();
    }
    const std::wstring cachePath = settings.dataFolder.empty() ? std::wstring() : settings.dataFolder + L"\\fingerprints.cache";
    progressBar->SetPos(0);
    progressBar->SetOverlayText(SimilarProgressText(0, static_cast<int>(movies.size())));
    TheLog().Write(L"類似チェック開始 : 動画 %d, しきい値 %d%%", static_cast<int>(movies.size()), similarThreshold);
    similarSearch.Start(hwnd, MSG_SIMILAR_NEWS, std::move(movies), std::move(exactGroups), similarThreshold, cachePath);
    return true;
}

void MainWindow_CL::OnSimilarNews()
{
    if (!similarSearch.IsRunning()) return;  // the end was taken already
    BackgroundSimilarSearch_CL::News news = similarSearch.TakeNews();
    for (auto& [file, print] : news.prints) {
        // The search's threads read only the path, size and times: these fields are the window's.
        file->frameWidth = print.width;
        file->frameHeight = print.height;
        file->duration = print.duration;
        fingerprints[file] = std::move(print);
    }
    if (!news.prints.empty()) resultPane->ShowMovieTraits();
    for (const SimilarGroup& group : news.groups) AddSimilarGroup(group);
    if (!news.isFinished) {
        progressBar->SetPos(news.total > 0 ? static_cast<int>(int64_t(news.done) * kProgressMaximum / news.total) : 0);
        progressBar->SetOverlayText(SimilarProgressText(news.done, news.total));
        return;
    }
    similarSearch.Wait();
    // Movies that could not be decoded are in no similar group: the bar says how many.
    const bool toldUndecodable = !news.isCanceled && news.undecodable > 0;
    progressBar->SetOverlayText(toldUndecodable ? L"類似チェック: 読めない動画 " + std::to_wstring(news.undecodable) : L"");
    EndSearch();
}

void MainWindow_CL::AddSimilarGroup(const SimilarGroup& found)
{
    // A group is told again each time it grows. Similar groups share no movie, so the one
    // listed that holds any of its movies is it (its first file may have been deleted since).
    int index = -1;
    DuplicateGroup group;
    group.isSimilar = true;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        const std::vector<DuplicateGroup>& groups = searchJob.Scanner().Groups();
        for (size_t g = 0; g < groups.size() && index < 0; ++g)
            if (groups[g].isSimilar && std::find_first_of(groups[g].begin(), groups[g].end(), found.files.begin(),
                                                          found.files.end()) != groups[g].end())
                index = static_cast<int>(g);
        if (index >= 0) group = groups[index];
    }
    const size_t listed = group.size();
    for (size_t i = 0; i < found.files.size() && i < found.scores.size(); ++i) {
        if (std::find(group.begin(), group.end(), found.files[i]) != group.end()) continue;
        if (outOfSimilarGroups.count(found.files[i])) continue;  // taken out after a rescore
        // The pane may have deleted a file while the movies were looked at.
        if (::GetFileAttributesW(LongPathForm(found.files[i]->path).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        found.files[i]->similarity = found.scores[i];
        group.push_back(found.files[i]);
    }
    if (group.size() == listed) return;
    const bool isShown = index >= 0 && resultPane->GetShownGroup() == index;
    if (group.front() != found.files.front()) RescoreSimilarGroup(group, isShown);
    if (index < 0 && group.size() < 2) return;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        if (index >= 0)
            searchJob.Scanner().Groups()[index] = group;
        else
            searchJob.Scanner().Groups().push_back(group);
    }
    if (index >= 0)
        groupTable->RefreshGroup(index);
    else
        groupTable->AddLastGroup();
    if (isShown) resultPane->ShowGrownGroup();
    UpdateSummary();
}

void MainWindow_CL::RescoreSimilarGroup(DuplicateGroup& group, bool keepMembers)
{
    const DuplicateGroup before = group;
    SimilarMatcher_CL::Rescore(
        group,
        [&](const CompareFileEntry* file) {
            const auto print = fingerprints.find(file);
            return print != fingerprints.end() ? &print->second : nullptr;
        },
        similarThreshold, keepMembers);
    // The search still tells the group as it found it: a member taken out must not come back.
    for (const CompareFileEntry* file : before)
        if (std::find(group.begin(), group.end(), file) == group.end()) outOfSimilarGroups.insert(file);
}

HWND MainWindow_CL::NoticeOwner() const
{
    // A notice that comes of itself (the end of a search, a failed write) while the settings
    // sheet or another dialog of the window is open belongs above that dialog: owned by the
    // window, it could open behind it, with the dialog waiting for an answer it cannot see.
    return ::GetLastActivePopup(hwnd);
}

void MainWindow_CL::EndSearch()
{
    if (!closeAfterSearch) {
        if (settings.isCancelRequested)
            ::MessageBoxW(NoticeOwner(), L"比較をキャンセルしました。", kNoticeTitle, MB_OK | MB_ICONINFORMATION);
        else if (settings.showCompleteMessage)
            ::MessageBoxW(NoticeOwner(), L"比較が完了しました。", kNoticeTitle, MB_OK | MB_ICONINFORMATION);
    }
    SetIdle();
    UpdateSummary();
    if (closeAfterSearch) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

int MainWindow_CL::OnClose()
{
    // The worker reports to this window by sent messages: let it finish (cancelled) while
    // the window still lives, then close.
    if (settings.isSearching) {
        settings.isCancelRequested = 1;
        similarSearch.Cancel();
        closeAfterSearch = true;
        return 0;
    }
    // A comparison or deletion of the pane must not go on behind a window that is gone: it
    // is cancelled where it has not started, waited for where it has, and the window closes
    // once it is over.
    if (resultPane->IsBusy()) {
        closeAfterPaneAction = true;
        resultPane->StopBusyWork();
        return 0;
    }
    resultPane->StopDecoding();
    return 1;
}

void MainWindow_CL::OnPaneActionEnded()
{
    if (closeAfterPaneAction) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

void MainWindow_CL::UpdateGroups(const std::vector<FileDelete_CL::GroupOutcome>& outcomes)
{
    if (outcomes.empty()) return;
    const int shownGroup = outcomes.front().groupIndex;
    std::vector<int> indexes;
    for (const FileDelete_CL::GroupOutcome& outcome : outcomes) indexes.push_back(outcome.groupIndex);
    // Highest index first: taking a group out moves only the ones after it.
    std::sort(indexes.rbegin(), indexes.rend());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        std::vector<DuplicateGroup>& groups = searchJob.Scanner().Groups();
        for (int index : indexes) {
            if (index < 0 || index >= static_cast<int>(groups.size())) continue;
            RescoreSimilarGroup(groups[index], index == shownGroup);
            // The group deleted from stays while it holds a file; another that lost a file with
            // it stays while it still holds a copy.
            if (groups[index].size() < (index == shownGroup ? 1u : 2u))
                groupTable->EraseGroup(index);
            else
                groupTable->RefreshGroup(index);
        }
    }
    if (indexes.size() > 1) {
        // Other groups changed or went: the pane's group is found again by its row.
        const int selected = groupList->GetNextItem(-1, LVNI_SELECTED);
        resultPane->ShowGroup(selected >= 0 ? &searchJob.Scanner() : nullptr, groupTable->GroupOfRow(selected));
    }
    UpdateSummary();
}

void MainWindow_CL::OnTicksChanged(int index)
{
    groupTable->RefreshGroup(index);
    UpdateSummary();
}

void MainWindow_CL::AddFolder(const std::wstring& path)
{
    settings.AddCheckFolder(CheckFolderEntry{1, path});
    FillFolderList();
}

void MainWindow_CL::OnFolderCheckChanged(const NMLISTVIEW& change)
{
    // Only a change of the check box itself says anything about a check mark: rows that
    // are deleted, selected or focused raise item changes too.
    if (!(change.uChanged & LVIF_STATE) || !((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK)) return;
    const int row = change.iItem;
    const int checked = static_cast<int>((change.uNewState & LVIS_STATEIMAGEMASK) >> 12) - 1;
    const auto& folders = settings.GetCheckFolders();
    if (row < 0 || row >= static_cast<int>(folders.size()) || checked < 0 || checked == folders[row].isChecked) return;
    settings.SetCheckFolderChecked(row, checked);
    // Another instance may have changed the list meanwhile: show what is stored now, once
    // the list view has finished with this click.
    if (!FolderListShows(settings.GetCheckFolders())) ::PostMessageW(hwnd, MSG_REFILL_FOLDERS, 0, 0);
}

bool MainWindow_CL::FolderListShows(const std::vector<CheckFolderEntry>& folders) const
{
    if (folderList->GetItemCount() != static_cast<int>(folders.size())) return false;
    for (size_t i = 0; i < folders.size(); ++i) {
        const int row = static_cast<int>(i);
        if (folderList->GetItemText(row, 0) != folders[i].path || folderList->GetCheckState(row) != folders[i].isChecked)
            return false;
    }
    return true;
}

void MainWindow_CL::OnDropFiles(HDROP drop)
{
    // All the dropped folders in one change: one write, and the list filled once.
    std::vector<CheckFolderEntry> folders;
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            folders.push_back(CheckFolderEntry{1, path});
    }
    ::DragFinish(drop);
    if (folders.empty()) return;
    settings.AddCheckFolders(folders);
    FillFolderList();
}

void MainWindow_CL::OnSettingsUnsaved(LPARAM lParam)
{
    std::unique_ptr<std::wstring> reason(reinterpret_cast<std::wstring*>(lParam));
    const std::wstring text = L"設定を保存できません。\r\n変更はこのまま使いますが、終了すると失われます。\r\n\r\n理由 : " +
                              *reason + L"\r\n" + TheIniFile().GetFileName();
    ::MessageBoxW(NoticeOwner(), text.c_str(), kNoticeTitle, MB_OK | MB_ICONWARNING);
}

void MainWindow_CL::CheckForUpdate(const std::wstring& title, const std::wstring& version)
{
    updateTitle = title;
    currentVersion = version;
    UpdateCheck_CL::StartForWindow(TheIniFile(), hwnd, MSG_UPDATE_ANSWER);
}

void MainWindow_CL::OnUpdateAnswer(LPARAM lParam)
{
    std::unique_ptr<UpdateAnswer> answer(reinterpret_cast<UpdateAnswer*>(lParam));
    HWND owner = NoticeOwner();
    UpdateCheck_CL(TheIniFile(), &owner).Answer(*answer, updateTitle, currentVersion, owner);
}

void MainWindow_CL::OnCommand(UINT command)
{
    switch (command) {
    case ID_ADD_FOLDER: {
        std::wstring folder;
        if (FolderSelectDialog_CL().Select(hwnd, L"重複チェックを行いたいフォルダを選択してください", folder)) AddFolder(folder);
        break;
    }
    case ID_REMOVE_FOLDER:
        if (settings.selectedItemIndex < 0) break;
        settings.RemoveCheckFolder(settings.selectedItemIndex);
        FillFolderList();
        break;
    case ID_APP_MENU:
        ShowAppMenu();
        break;
    case ID_APP_SETTING:
        ShowSettingsSheet();
        break;
    case ID_SUPPORT_SITE:
        OpenAddress(kSupportSiteAddress, 0);
        break;
    case ID_TICK_KEEP_OLDEST:
    case ID_TICK_KEEP_NEWEST:
    case ID_TICK_KEEP_HIGHEST_FOLDER:
    case ID_TICK_KEEP_SHORTEST_PATH:
    case ID_TICK_KEEP_BEST_PICTURE:
        ApplySelectionRule(command);
        break;
    case ID_UNTICK_ALL:
        UntickAll();
        break;
    case ID_SAVE_RESULT:
        SaveResult();
        break;
    case ID_DELETE_TICKED_EVERYWHERE:
        DeleteTickedEverywhere();
        break;
    }
}

void MainWindow_CL::DeleteTickedEverywhere()
{
    if (settings.isSearching || resultPane->IsBusy()) return;
    const bool forGood = TestAAA_CL::IsShiftHeld();  // as it is at the moment of the command
    std::vector<FileDelete_CL::GroupTicks> ticks;
    std::map<int, DuplicateGroup> before;
    std::wstring wholeGroups;
    std::set<const CompareFileEntry*> tickedFiles;  // a file ticked in two groups is one file
    size_t wholeCount = 0, similarCount = 0;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        const std::vector<DuplicateGroup>& groups = searchJob.Scanner().Groups();
        for (int index : groupTable->GroupsInRowOrder()) {
            const DuplicateGroup& group = groups[index];
            FileDelete_CL::GroupTicks part;
            part.groupIndex = index;
            for (int row = static_cast<int>(group.size()) - 1; row >= 0; --row) {
                if (group[row]->isTicked)
                    part.tickedRows.push_back(row);
                else
                    part.keptRow = row;  // ends as the first row that stays
            }
            if (part.tickedRows.empty()) continue;
            if (part.keptRow < 0) {
                ++wholeCount;
                wholeGroups += L"\r\n" + GetFileNamePart(group.front()->path);
                continue;
            }
            for (int row : part.tickedRows) tickedFiles.insert(group[row]);
            similarCount += group.isSimilar;
            before[index] = group;
            ticks.push_back(part);
        }
    }
    const std::wstring wholeText =
        wholeGroups.empty() ? std::wstring()
                            : L"次のグループはすべてのファイルにチェックがついているため、削除しません。"
                              L"1つは残すか、グループを選んで「削除」してください。" + wholeGroups;
    if (ticks.empty()) {
        if (!wholeText.empty()) ::MessageBoxW(hwnd, wholeText.c_str(), L"削除結果", MB_OK | MB_ICONWARNING);
        return;
    }
    uint64_t bytes = 0;
    for (const CompareFileEntry* entry : tickedFiles) bytes += entry->size;
    std::wstring question = L"チェックした " + std::to_wstring(tickedFiles.size()) + L" 個のファイル（" + FormatByteSize(bytes) +
                            L"）を削除します。\r\n" +
                            (forGood ? L"ごみ箱には移さず、完全に削除します。" : L"ファイルはごみ箱に移します。");
    if (similarCount > 0)
        question += L"\r\n\r\n「類似」の " + std::to_wstring(similarCount) +
                    L" グループのファイルは同一ではなく、内容の似ている別のファイルです。";
    if (wholeCount > 0)
        question += L"\r\n\r\nすべてのファイルにチェックがついている " + std::to_wstring(wholeCount) + L" グループは削除しません。";
    if (::MessageBoxW(hwnd, question.c_str(), L"削除の確認", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return;
    resultPane->DeleteInGroups(searchJob.Scanner(), ticks, forGood,
                               [&](const std::vector<FileDelete_CL::GroupOutcome>& outcomes) {
                                   std::wstring lead = TakeInDeletion(outcomes, before, forGood);
                                   if (!wholeText.empty()) lead += L"\r\n\r\n" + wholeText;
                                   return lead;
                               });
}

std::wstring MainWindow_CL::TakeInDeletion(const std::vector<FileDelete_CL::GroupOutcome>& outcomes,
                                           const std::map<int, DuplicateGroup>& before, bool forGood)
{
    std::set<const CompareFileEntry*> gone;  // a file may have left two groups
    std::vector<int> touched;
    for (const FileDelete_CL::GroupOutcome& outcome : outcomes) {
        touched.push_back(outcome.groupIndex);
        // A group that only lost a file with another is counted there.
        const auto found = before.find(outcome.groupIndex);
        if (found == before.end()) continue;
        for (int row : outcome.goneRows) gone.insert(found->second[row]);
    }
    // Highest index first: taking a group out moves only the ones after it.
    std::sort(touched.rbegin(), touched.rend());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        for (int index : touched) {
            RescoreSimilarGroup(searchJob.Scanner().Groups()[index]);
            // A group with one file left has no copy any more.
            if (searchJob.Scanner().Groups()[index].size() < 2)
                groupTable->EraseGroup(index);
            else
                groupTable->RefreshGroup(index);
        }
    }
    const int selected = groupList->GetNextItem(-1, LVNI_SELECTED);
    resultPane->ShowGroup(selected >= 0 ? &searchJob.Scanner() : nullptr, groupTable->GroupOfRow(selected));
    UpdateSummary();
    const size_t goneCount = gone.size();
    uint64_t goneBytes = 0;
    for (const CompareFileEntry* entry : gone) goneBytes += entry->size;
    if (goneCount == 0) return L"ファイルは削除していません。";
    return std::to_wstring(goneCount) + L" 個のファイル（" + FormatByteSize(goneBytes) + L"）を" +
           (forGood ? L"完全に削除しました。" : L"ごみ箱に移しました。");
}

std::vector<UINT> MainWindow_CL::DisabledGroupCommands()
{
    const UINT all[] = {ID_TICK_KEEP_OLDEST, ID_TICK_KEEP_NEWEST, ID_TICK_KEEP_HIGHEST_FOLDER, ID_TICK_KEEP_SHORTEST_PATH,
                        ID_TICK_KEEP_BEST_PICTURE, ID_UNTICK_ALL, ID_DELETE_TICKED_EVERYWHERE, ID_SAVE_RESULT};
    // No result to act on, or one still growing or being deleted from.
    if (settings.isSearching || resultPane->IsBusy() || groupList->GetItemCount() == 0)
        return std::vector<UINT>(std::begin(all), std::end(all));
    bool anyTicked = false;
    CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
    for (const DuplicateGroup& group : searchJob.Scanner().Groups())
        for (const CompareFileEntry* entry : group) anyTicked = anyTicked || entry->isTicked;
    if (!anyTicked) return {ID_UNTICK_ALL, ID_DELETE_TICKED_EVERYWHERE};
    return {};
}

void MainWindow_CL::ShowGroupMenu(const POINT* at)
{
    std::vector<PopupMenu_CL::Command> commands = {
        {PopupMenu_CL::kSubmenuStart, L"自動でチェック", PopupMenu_CL::kNoImage},
        {ID_TICK_KEEP_OLDEST, L"更新日時が最も古いファイルを残す", PopupMenu_CL::kNoImage},
        {ID_TICK_KEEP_NEWEST, L"更新日時が最も新しいファイルを残す", PopupMenu_CL::kNoImage},
        {ID_TICK_KEEP_HIGHEST_FOLDER, L"比較対象フォルダで上にあるフォルダのファイルを残す", PopupMenu_CL::kNoImage},
        {ID_TICK_KEEP_SHORTEST_PATH, L"パスが最も短いファイルを残す", PopupMenu_CL::kNoImage},
        {ID_TICK_KEEP_BEST_PICTURE, L"画質が最も高いものを残す", PopupMenu_CL::kNoImage},
        {PopupMenu_CL::kSubmenuEnd},
        {ID_UNTICK_ALL, L"チェックをすべて外す", PopupMenu_CL::kNoImage},
        {},
        {ID_DELETE_TICKED_EVERYWHERE, L"チェックしたファイルをすべて削除", 7},
        {},
        {ID_SAVE_RESULT, L"結果を保存...", PopupMenu_CL::kNoImage}};
    // The picture of a movie is learnt by the similar search: its rule comes with a result
    // that search made, whatever the option says now.
    if (!findsSimilar)
        std::erase_if(commands, [](const PopupMenu_CL::Command& item) { return item.command == ID_TICK_KEEP_BEST_PICTURE; });
    PopupMenu_CL::ShowCommands(hwnd, settings.programFolder + L"\\menu_image.bmp", commands, DisabledGroupCommands(), at);
}

void MainWindow_CL::ApplySelectionRule(UINT command)
{
    if (settings.isSearching) return;
    static const std::pair<UINT, SelectionRule_CL::Rule> kRules[] = {
        {ID_TICK_KEEP_OLDEST, SelectionRule_CL::kKeepOldest},
        {ID_TICK_KEEP_NEWEST, SelectionRule_CL::kKeepNewest},
        {ID_TICK_KEEP_HIGHEST_FOLDER, SelectionRule_CL::kKeepHighestFolder},
        {ID_TICK_KEEP_SHORTEST_PATH, SelectionRule_CL::kKeepShortestPath},
        {ID_TICK_KEEP_BEST_PICTURE, SelectionRule_CL::kKeepHighestQuality}};
    std::vector<std::wstring> folders;
    for (const CheckFolderEntry& folder : settings.GetCheckFolders()) folders.push_back(folder.path);
    for (const auto& [id, rule] : kRules) {
        if (id != command) continue;
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        SelectionRule_CL::Apply(searchJob.Scanner().Groups(), rule, folders);
    }
    groupTable->RefreshAll();
    resultPane->ShowTicks();
    UpdateSummary();
}

void MainWindow_CL::UntickAll()
{
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        SelectionRule_CL::ClearAll(searchJob.Scanner().Groups());
    }
    groupTable->RefreshAll();
    resultPane->ShowTicks();
    UpdateSummary();
}

void MainWindow_CL::SaveResult()
{
    if (settings.isSearching || groupList->GetItemCount() == 0) return;
    wchar_t path[MAX_PATH * 4] = L"比較結果.csv";
    OPENFILENAMEW dialog = {sizeof(dialog)};
    dialog.hwndOwner = hwnd;
    dialog.lpstrFilter = L"CSV ファイル (*.csv)\0*.csv\0すべてのファイル (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH * 4;
    dialog.lpstrTitle = L"結果を保存";
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetSaveFileNameW(&dialog)) return;

    std::string csv;
    {
        CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
        std::vector<const DuplicateGroup*> groups;
        for (int index : groupTable->GroupsInRowOrder()) groups.push_back(&searchJob.Scanner().Groups()[index]);
        csv = ResultCsv(groups);
    }
    // Written beside the target first, so that a failed write leaves an older file whole.
    const std::wstring target = path, temporary = target + L".tmp";
    bool saved = false;
    {
        FileHandle file(::CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        saved = file && ::WriteFile(file.Get(), csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) &&
                written == csv.size();
    }
    saved = saved && ::MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(target).c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!saved) {
        TheLog().Write(L"結果の保存エラー = %lu : %s", ::GetLastError(), target.c_str());
        ::DeleteFileW(LongPathForm(temporary).c_str());
        ::MessageBoxW(hwnd, L"結果を保存できませんでした。", kNoticeTitle, MB_OK | MB_ICONWARNING);
    }
}

void MainWindow_CL::ShowSettingsSheet()
{
    PropAppSetting_CL application(settings);
    PropAppExtSetting_CL movies(settings.movieExtInfo, L"比較の対象とする拡張子");
    PropAppExtSetting_CL pictures(settings.pictureExtInfo, L"比較の対象とする拡張子");
    PropAppVersion_CL version(settings);
    HWND sheetWindow = nullptr;  // the pages publish the sheet's handle here
    PropertySheetHost sheet(&sheetWindow);
    sheet.AddPage(application, L"アプリ設定");
    sheet.AddPage(movies, L"動画拡張子");
    sheet.AddPage(pictures, L"静止画拡張子");
    sheet.AddPage(version, L"バージョン情報");
    sheet.Show(hwnd, L"アプリ設定");
}

void MainWindow_CL::ShowFolderMenu()
{
    settings.selectedItemIndex = folderList->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED);
    std::vector<UINT> disabled;
    if (settings.selectedItemIndex == -1) disabled.push_back(ID_REMOVE_FOLDER);
    PopupMenu_CL::ShowCommands(hwnd, settings.programFolder + L"\\menu_image.bmp",
                               {{ID_ADD_FOLDER, L"比較対象フォルダの追加", 2}, {}, {ID_REMOVE_FOLDER, L"比較対象フォルダの削除", 3}},
                               disabled);
}

void MainWindow_CL::ShowAppMenu()
{
    PopupMenu_CL::ShowCommands(hwnd, settings.programFolder + L"\\menu_image.bmp",
                               {{ID_APP_SETTING, L"アプリ設定", 5}, {}, {ID_SUPPORT_SITE, L"サポートサイトへ", 4}}, {});
}

LRESULT MainWindow_CL::OnNotify(const NMHDR& header)
{
    if (header.hwndFrom == tab->GetHwnd() && header.code == TCN_SELCHANGE) {
        ShowTab(tab->GetCurSel());
    } else if (header.hwndFrom == folderList->GetHwnd()) {
        if (header.code == NM_RCLICK) ShowFolderMenu();
        if (header.code == LVN_ITEMCHANGED && !isFillingFolders)
            OnFolderCheckChanged(reinterpret_cast<const NMLISTVIEW&>(header));
    } else if (header.hwndFrom == groupList->GetHwnd() && header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        int selected = groupList->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED);
        settings.selectedItemIndex = selected;
        // One selection raises several changes (focus, selection): show the group once, when
        // its row becomes the selected one.
        const UINT selection = LVIS_SELECTED | LVIS_FOCUSED;
        if (selected >= 0 && change.iItem == selected && ((change.uNewState ^ change.uOldState) & selection)) {
            TheLog().Write(L"アイテム選択(%d)", selected);
            resultPane->ShowGroup(&searchJob.Scanner(), groupTable->GroupOfRow(selected));
        }
    } else if (header.hwndFrom == groupList->GetHwnd()) {
        if (header.code == NM_CUSTOMDRAW) return groupTable->DrawRow(reinterpret_cast<NMLVCUSTOMDRAW&>(const_cast<NMHDR&>(header)));
        if (header.code == LVN_COLUMNCLICK) groupTable->SortBy(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
        if (header.code == NM_RCLICK) ShowGroupMenu(nullptr);
        if (header.code == LVN_KEYDOWN) OnGroupListKey(reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey);
    }
    return 0;
}

void MainWindow_CL::OnGroupListKey(WORD key)
{
    if (key == VK_APPS) {
        const POINT at = groupList->MenuPointForFocusedItem();
        ShowGroupMenu(&at);
    } else if (key == VK_DELETE) {
        DeleteTickedEverywhere();
    }
}

LRESULT MainWindow_CL::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CONTEXTMENU:
        // From the keyboard (Shift+F10); a click comes as the list's NM_RCLICK.
        if (groupList && reinterpret_cast<HWND>(wParam) == groupList->GetHwnd() && lParam == -1) {
            const POINT at = groupList->MenuPointForFocusedItem();
            ShowGroupMenu(&at);
            return 0;
        }
        break;
    case MSG_GROUP_FOUND:
        OnGroupFound();
        return 0;
    case WM_COMMAND:
        if (startButton && reinterpret_cast<HWND>(lParam) == startButton->GetHwnd() && HIWORD(wParam) == BN_CLICKED)
            StartOrCancel();
        else if (LOWORD(wParam) >= ID_FIRST_COMMAND && LOWORD(wParam) <= ID_LAST_COMMAND)
            OnCommand(LOWORD(wParam));
        break;
    case WM_NOTIFY:
        if (tab) {
            const LRESULT result = OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            if (result != 0) return result;
        }
        break;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case MSG_COMPARE_FINISHED:
        OnCompareFinished();
        return 0;
    case MSG_REFILL_FOLDERS:
        FillFolderList();
        return 0;
    case MSG_UPDATE_ANSWER:
        OnUpdateAnswer(lParam);
        return 0;
    case MSG_SETTINGS_UNSAVED:
        OnSettingsUnsaved(lParam);
        return 0;
    case MSG_SIMILAR_NEWS:
        OnSimilarNews();
        return 0;
    case MSG_SPLIT_MOVED: {
        RECT client;
        ::GetClientRect(window, &client);
        lowerPaneHeight = client.bottom - static_cast<int>(lParam);
        OnLayout();
        return 0;
    }
    case WM_SIZE:
        if (wParam == SIZE_RESTORED) settings.isMaximised = 0;
        if (wParam == SIZE_MAXIMIZED) settings.isMaximised = 1;
        OnLayout();
        break;
    }
    // The size change is laid out above, with the bottom row left free.
    if (message != WM_SIZE) splitFrame.FrameProc(window, message, wParam, lParam);
    if (PopupMenu_CL::DrawMenuItem(window, message, wParam, lParam)) return TRUE;
    return MainWindowBase_CL::WindowProc(window, message, wParam, lParam);
}
