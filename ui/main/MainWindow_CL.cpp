#include "ui/main/MainWindow_CL.h"

#include <windowsx.h>
#include <commctrl.h>
#include <shellapi.h>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/OpenAddress.h"
#include "core/PathFunctions.h"
#include "core/TextFormat.h"
#include "engine/ListFile.h"
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
#include "ui/toolkit/Tab_CL.h"

namespace {

constexpr int kListWidth = 548, kListHeight = 308;
constexpr DWORD kListExStyle = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES;
constexpr int kProgressMaximum = 1000;

const wchar_t kStartText[] = L"比較開始";
const wchar_t kCancelText[] = L"ｷｬﾝｾﾙ";
const wchar_t kNoticeTitle[] = L"お知らせ";

}  // namespace

MainWindow_CL::MainWindow_CL(ApplicationData_CL& settings) : settings(settings), searchJob(*this, settings)
{
    SetClassName(L"MainWindowClass");
    SetWindowTitle(L"Quillmere");
    SetIcon(::LoadIconW(Instance(), MAKEINTRESOURCEW(107)));
}

MainWindow_CL::~MainWindow_CL()
{
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
    ::ShowWindow(hwnd, SW_SHOW);
}

void MainWindow_CL::CreateLists()
{
    folderList = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    folderList->Hide();
    folderList->SetExtendedStyle(kListExStyle | LVS_EX_CHECKBOXES);
    folderList->AddColumn(L"フォルダ", LVCFMT_LEFT, 640);

    fileListView = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    fileListView->Hide();
    fileListView->SetExtendedStyle(kListExStyle);
    fileListView->AddColumn(L"ファイル", LVCFMT_LEFT, 640);
    if (isFileListMode) ReadListFile();

    groupList = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, kListWidth, kListHeight, 0));
    groupList->Hide();
    groupList->SetExtendedStyle(kListExStyle);
    groupList->AddColumn(L"ファイル名", LVCFMT_LEFT, 300);
    groupList->AddColumn(L"拡張子", LVCFMT_LEFT, 64);
    groupList->AddColumn(L"ファイルサイズ", LVCFMT_RIGHT, 100);
    groupList->AddColumn(L"重複数", LVCFMT_RIGHT, 64);
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
    folderList->DeleteAllItems();
    const auto& folders = settings.GetCheckFolders();
    for (size_t i = 0; i < folders.size(); ++i) {
        int row = folderList->PutCell(static_cast<int>(i), 0, folders[i].path, -1, 0);
        folderList->SetCheckState(row, folders[i].isChecked);
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

    const int buttonWidth = startButton->GetWidth(), buttonHeight = startButton->GetHeight();
    const int buttonX = width - buttonWidth, buttonY = height - buttonHeight;
    startButton->Move(buttonX, buttonY, TRUE);
    const int barY = buttonY + (buttonHeight - progressBar->GetHeight()) / 2;
    ::MoveWindow(progressBar->GetHwnd(), 1, barY, buttonX - 1 - 2, 22, TRUE);
    progressBar->SetRange(0, kProgressMaximum);

    RECT panes = {0, 0, width, height - buttonHeight};
    splitFrame.Layout(panes);
    RECT area = tab->GetDisplayArea(splitFrame.GetSecondRect(), 0);
    for (ListView_CL* list : {folderList, fileListView, groupList})
        ::MoveWindow(list->GetHwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
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
        return;
    }
    groupList->DeleteAllItems();
    resultPane->ShowGroup(nullptr, -1);
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
    if (group.empty()) return;
    const CompareFileEntry& base = *group.front();
    std::wstring name = GetFileNamePart(base.path);
    int row = groupList->PutCell(groupList->GetItemCount(), 0, name, -1, 0);
    groupList->PutCell(row, 1, GetExtension(name), -1, 0);
    groupList->PutCell(row, 2, FormatWithThousands(base.size), -1, 0);
    groupList->PutCell(row, 3, std::to_wstring(group.size()), -1, 0);
}

void MainWindow_CL::OnSearchFinished()
{
    ::SendMessageW(hwnd, MSG_COMPARE_FINISHED, 0, 0);
}

void MainWindow_CL::OnCompareFinished()
{
    if (!closeAfterSearch) {
        if (settings.isCancelRequested)
            ::MessageBoxW(hwnd, L"比較をキャンセルしました。", kNoticeTitle, MB_OK | MB_ICONINFORMATION);
        else if (settings.showCompleteMessage)
            ::MessageBoxW(hwnd, L"比較が完了しました。", kNoticeTitle, MB_OK | MB_ICONINFORMATION);
    }
    SetIdle();
    if (closeAfterSearch) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

int MainWindow_CL::OnClose()
{
    // The worker reports to this window by sent messages: let it finish (cancelled) while
    // the window still lives, then close.
    if (settings.isSearching) {
        settings.isCancelRequested = 1;
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

void MainWindow_CL::UpdateGroup(int index)
{
    std::vector<DuplicateGroup>& groups = searchJob.Scanner().Groups();
    CriticalSection_CL::Guard guard(searchJob.Scanner().GroupsLock());
    if (index < 0 || index >= static_cast<int>(groups.size())) return;
    groupList->PutCell(index, 3, std::to_wstring(groups[index].size()), -1, 0);
    if (groups[index].empty()) {
        groups.erase(groups.begin() + index);
        groupList->DeleteItem(index);
    }
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
    UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) AddFolder(path);
    }
    ::DragFinish(drop);
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
            resultPane->ShowGroup(&searchJob.Scanner(), selected);
        }
    }
    return 0;
}

LRESULT MainWindow_CL::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (startButton && reinterpret_cast<HWND>(lParam) == startButton->GetHwnd() && HIWORD(wParam) == BN_CLICKED)
            StartOrCancel();
        else if (LOWORD(wParam) >= ID_FIRST_COMMAND && LOWORD(wParam) <= ID_LAST_COMMAND)
            OnCommand(LOWORD(wParam));
        break;
    case WM_NOTIFY:
        if (tab) OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
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
