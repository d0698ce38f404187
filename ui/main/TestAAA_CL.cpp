#include "ui/main/TestAAA_CL.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "core/AppMessages.h"
#include "core/ApplicationData_CL.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/ShellExecuteHook.h"
#include "core/TextFormat.h"
#include "core/UniqueHandle.h"
#include "decode/DShowMovieHelper_CL.h"
#include "engine/FileIdentity.h"
#include "engine/FirstFileCompare_CL.h"
#include "ui/main/FileDelete_CL.h"
#include "engine/ResultExport.h"
#include "ui/main/MainWindow_CL.h"
#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/ListView_CL.h"
#include "ui/toolkit/PopupMenu_CL.h"

namespace {

constexpr DWORD kListExStyle = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES;
const wchar_t kCompareText[] = L"ファイルの完全比較を行う";
const wchar_t kOpenFolderText[] = L"このファイルのあるフォルダを開く";
const wchar_t kPlayText[] = L"Briskletで再生する";
const wchar_t kDeleteText[] = L"チェックをつけたファイルを削除する";

}  // namespace


TestAAA_CL::TestAAA_CL(MainWindow_CL& mainWindow, ApplicationData_CL& settings)
    : mainWindow(mainWindow), settings(settings)
{
}

TestAAA_CL::~TestAAA_CL()
{
    StopDecoding();
}

HWND TestAAA_CL::Create(HWND parent, int controlId)
{
    decodeThread.SetErrorImagePath(settings.programFolder + L"\\decode_err_image.jpg");
    decodeThread.Start();

    // SS_NOTIFY: a plain static lets mouse messages through to its parent.
    CreateChild(L"Static", L"", SS_NOTIFY, 0, parent, controlId, 0, 0, 100, 100, false);

    deleteButton = factory.GetControl<Button_CL>(factory.AddButton(hwnd, L"削除", 0, 0));
    deleteButton->Resize(64, 20, TRUE);
    deleteButton->Enable(FALSE);

    resultList = factory.GetControl<ListView_CL>(factory.AddListView(hwnd, 0, 0, 480, 200, LVS_SINGLESEL));
    resultList->SetFontScale(1.0f, FW_NORMAL);
    resultList->SetExtendedStyle(kListExStyle);
    resultList->AddColumn(L"比較量", LVCFMT_LEFT, 64);
    resultList->AddColumn(L"ファイル名", LVCFMT_LEFT, 300);
    resultList->AddColumn(L"拡張子", LVCFMT_LEFT, 64);
    resultList->AddColumn(L"フォルダ", LVCFMT_LEFT, 400);
    // After the folder, as seen and as read: the columns the list always had stay where
    // they were.
    resultList->AddColumn(L"解像度", LVCFMT_RIGHT, 72);
    resultList->AddColumn(L"長さ", LVCFMT_RIGHT, 56);
    resultList->AddColumn(L"ビットレート", LVCFMT_RIGHT, 88);

    listTip.Attach(hwnd, *resultList);
    Subclass(nullptr);  // OnMessage sees the pane's messages first

    decoder.Attach(&decodeThread, hwnd);
    ShowFile(-1);
    return hwnd;
}

RECT TestAAA_CL::FitCentred(int areaWidth, int areaHeight, int imageWidth, int imageHeight)
{
    int64_t width = imageWidth, height = imageHeight;
    if (areaWidth < width) {
        height = height * areaWidth / width;
        width = areaWidth;
    }
    if (areaHeight < height) {
        width = width * areaHeight / height;
        height = areaHeight;
    }
    const int x = static_cast<int>((areaWidth - width) / 2), y = static_cast<int>((areaHeight - height) / 2);
    return RECT{x, y, x + static_cast<int>(width), y + static_cast<int>(height)};
}

std::wstring TestAAA_CL::ComparedShareText(const CompareFileEntry& entry, bool isGroupBase)
{
    return ::ComparedShareText(entry, isGroupBase);
}

void TestAAA_CL::MovieTraitsForRow(const CompareFileEntry& entry, std::wstring& frameSize, std::wstring& length,
                                   std::wstring& bitRate)
{
    const bool known = entry.frameWidth > 0 && entry.frameHeight > 0;
    frameSize = known ? std::to_wstring(entry.frameWidth) + L"x" + std::to_wstring(entry.frameHeight) : std::wstring();
    length = entry.duration > 0 ? FormatMovieLength(entry.duration) : std::wstring();
    bitRate = FormatBitRate(entry.size, entry.duration);
}

void TestAAA_CL::SplitPathForRow(const std::wstring& path, std::wstring& name, std::wstring& extension,
                                 std::wstring& folder)
{
    // The extension is the file name's: a dot in a folder name is no extension.
    const std::wstring fileName = GetFileNamePart(path);
    name = RemoveExtension(fileName);
    extension = GetExtension(fileName);
    folder = GetDirectoryPart(path);
}

DuplicateGroup TestAAA_CL::CurrentGroup() const
{
    if (!groupSource || groupIndex < 0) return {};
    CriticalSection_CL::Guard guard(groupSource->GroupsLock());
    const std::vector<DuplicateGroup>& groups = groupSource->Groups();
    return groupIndex < static_cast<int>(groups.size()) ? groups[groupIndex] : DuplicateGroup{};
}

void TestAAA_CL::ShowGroup(FirstFileCompare_CL* source, int index)
{
    groupSource = index >= 0 ? source : nullptr;
    groupIndex = groupSource ? index : -1;
    shownRow = -1;
    TheLog().Write(L"DeleteAllItems");
    resultList->DeleteAllItems();
    TheLog().Write(L"UpdateList");
    UpdateList();
    TheLog().Write(L"UpdateList0");
    ShowFile(0);
    // The first file is the one previewed: show it selected (already shown, so no restart).
    if (resultList->GetItemCount() > 0) {
        LVITEMW state = {};
        state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(resultList->GetHwnd(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
}

void TestAAA_CL::UpdateList()
{
    TheLog().Write(L"UpdateList(start)");
    listTip.Reset();
    isFillingList = true;
    resultList->DeleteAllItems();
    const DuplicateGroup group = CurrentGroup();
    isSimilarShown = group.isSimilar;
    if (group.isSimilar) {
        // "類似 100%" is wider than a share: the column grows to show it (and never shrinks
        // below what the user made it).
        const int needed = resultList->MeasureText(L"類似 100%").cx + 36;  // the check box and margins
        const HWND list = resultList->GetHwnd();
        if (ListView_GetColumnWidth(list, 0) < needed) ListView_SetColumnWidth(list, 0, needed);
    }
    for (size_t i = 0; i < group.size(); ++i) {
        const int row = static_cast<int>(i);
        FillRow(row, *group[row], true);
        if (group[i]->isTicked) resultList->SetCheckState(row, 1);
    }
    isFillingList = false;
    UpdateDeleteButton();
    TheLog().Write(L"UpdateList(end)");
}

void TestAAA_CL::ShowGrownGroup()
{
    const DuplicateGroup group = CurrentGroup();
    isFillingList = true;
    for (int row = resultList->GetItemCount(); row < static_cast<int>(group.size()); ++row) {
        FillRow(row, *group[row], true);
        if (group[row]->isTicked) resultList->SetCheckState(row, 1);
    }
    isFillingList = false;
    ShowMovieTraits();  // the first file's score, when the group was scored anew
    UpdateDeleteButton();
}

void TestAAA_CL::FillRow(int row, const CompareFileEntry& entry, bool isNewRow)
{
    std::wstring name, extension, folder, frameSize, length, bitRate;
    SplitPathForRow(entry.path, name, extension, folder);
    MovieTraitsForRow(entry, frameSize, length, bitRate);
    const std::wstring texts[] = {ShareText(entry, row == 0, isSimilarShown), name, extension, folder, frameSize, length, bitRate};
    for (int column = 0; column < static_cast<int>(std::size(texts)); ++column) {
        if (isNewRow)
            resultList->PutCell(row, column, texts[column], -1, 0);
        else
            resultList->SetItem(row, column, texts[column], -1);
    }
}

void TestAAA_CL::ShowMovieTraits()
{
    const DuplicateGroup group = CurrentGroup();
    for (int row = 0; row < resultList->GetItemCount() && row < static_cast<int>(group.size()); ++row)
        FillRow(row, *group[row], false);
}

void TestAAA_CL::LearnMovieTraits(const MovieDecodoRequestItem_CL& frame)
{
    if (frame.isErrorImage || !frame.image || frame.duration <= 0) return;
    const DuplicateGroup group = CurrentGroup();
    if (shownRow < 0 || shownRow >= static_cast<int>(group.size()) || group[shownRow]->path != frame.moviePath) return;
    if (group[shownRow]->frameWidth > 0) return;
    // The copies of an exact group hold the same bytes: one preview tells for all of them.
    for (size_t i = 0; i < group.size(); ++i) {
        if (group.isSimilar && static_cast<int>(i) != shownRow) continue;
        if (group[i]->frameWidth > 0) continue;
        group[i]->frameWidth = static_cast<int32_t>(frame.image->GetWidth());
        group[i]->frameHeight = static_cast<int32_t>(frame.image->GetHeight());
        group[i]->duration = frame.duration;
    }
    ShowMovieTraits();
}

void TestAAA_CL::ShowTicks()
{
    const DuplicateGroup group = CurrentGroup();
    isFillingList = true;
    for (int row = 0; row < resultList->GetItemCount() && row < static_cast<int>(group.size()); ++row)
        resultList->SetCheckState(row, group[row]->isTicked);
    isFillingList = false;
    UpdateDeleteButton();
}

void TestAAA_CL::OnRowChanged(const NMLISTVIEW& change)
{
    const bool isCheckChange = (change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK);
    if (isFillingList || !isCheckChange || change.iItem < 0) return;
    const DuplicateGroup group = CurrentGroup();
    if (change.iItem >= static_cast<int>(group.size())) return;
    const bool ticked = resultList->GetCheckState(change.iItem) == 1;
    if (group[change.iItem]->isTicked == ticked) return;
    group[change.iItem]->isTicked = ticked;
    mainWindow.OnTicksChanged(groupIndex);
}

int TestAAA_CL::KindOf(const std::wstring& path) const
{
    const std::wstring extension = GetExtension(GetFileNamePart(path), true);
    ExtEntry found;
    if (settings.movieExtInfo.Find(extension, found)) return kMovie;
    if (settings.pictureExtInfo.Find(extension, found)) return kStillImage;
    return kNeither;
}

bool TestAAA_CL::CancelDecoding(DWORD waitMs)
{
    deferredMovie.clear();
    ::KillTimer(hwnd, kDeferredRequestTimer);
    decoder.CancelAllRequests();
    const ULONGLONG end = ::GetTickCount64() + waitMs;
    while (decodeThread.IsCancelPending()) {
        if (::GetTickCount64() >= end) {
            TheLog().Write(L"デコードキャンセル待ちタイムアウト");
            return false;
        }
        ::Sleep(10);
    }
    return true;
}

void TestAAA_CL::ShowFile(int row)
{
    if (row != shownRow) {
        const DuplicateGroup group = CurrentGroup();
        const bool hasFile = row >= 0 && row < static_cast<int>(group.size());
        shownKind = hasFile ? KindOf(group[row]->path) : kNeither;
        shownPath = hasFile ? group[row]->path : std::wstring();
        pictureLoader.Cancel();
        if (shownKind != kMovie) {
            // Frames still on their way belong to a movie no longer shown.
            CancelDecoding(kCancelWaitMs);
            if (shownKind == kStillImage) {
                RequestPicture(shownPath);
            } else {
                frames.SetImage(FrameInfo_CL::LoadPicture(settings.programFolder + L"\\app_image.png"));
            }
        } else {
            RequestMovie(shownPath);
        }
        shownRow = row;
    }
    ::InvalidateRect(hwnd, nullptr, FALSE);
}

void TestAAA_CL::RequestMovie(const std::wstring& path)
{
    TheLog().Write(L"デコードキャンセル");
    TheLog().Write(L"ASyncCancelDecodeAllFrame(start)");
    const bool acknowledged = CancelDecoding(kCancelWaitMs);
    TheLog().Write(L"ASyncCancelDecodeAllFrame(end)");
    const int side = settings.PreviewGridSide();
    requestKey = DShowMovieFrameDecodeThread_CL::FollowingRequestId(requestKey);
    // A decode thread still busy with the last movie is left to finish it: the request goes
    // out once the cancel has been carried out, and the window answers meanwhile.
    if (!acknowledged || !SendMovieRequest(path)) {
        deferredMovie = path;
        ::SetTimer(hwnd, kDeferredRequestTimer, kDeferredRequestPollMs, nullptr);
    }
    TheLog().Write(L"SetWidthCount()");
    frames.CreateFrameBitmap();
    frames.SetWidthCount(side);
    TheLog().Write(L"ReplaseFrameBitmap(start)");
    TheLog().Write(L"ReplaseFrameBitmap(end)");
}

bool TestAAA_CL::SendMovieRequest(const std::wstring& path)
{
    const int side = settings.PreviewGridSide();
    const std::vector<int64_t> frameTimes(static_cast<size_t>(side * side), DShowMovieFrameDecode_CL::kNextEvenPoint);
    TheLog().Write(L"デコード開始");
    TheLog().Write(L"ASyncMovieFileDecodeRequest(start)");
    const int id = decoder.RequestMovieFrames(path, frameTimes, requestKey, 0);
    requestedMovie = path;
    TheLog().Write(L"ASyncMovieFileDecodeRequest(end)");
    return id != -1;
}

void TestAAA_CL::SendDeferredRequest()
{
    if (decodeThread.IsCancelPending()) return;
    ::KillTimer(hwnd, kDeferredRequestTimer);
    const std::wstring path = std::move(deferredMovie);
    deferredMovie.clear();
    if (!path.empty() && !SendMovieRequest(path)) {
        deferredMovie = path;
        ::SetTimer(hwnd, kDeferredRequestTimer, kDeferredRequestPollMs, nullptr);
    }
}

void TestAAA_CL::RequestPicture(const std::wstring& path)
{
    // Decoded on the loader's thread, to the size it can be shown at: black until it comes.
    frames.SetImage(nullptr);
    pictureKey = DShowMovieFrameDecodeThread_CL::FollowingRequestId(pictureKey);
    int width, height;
    FrameInfo_CL::LargestShownSize(width, height);
    pictureLoader.Request(hwnd, path, pictureKey, width, height);
}

void TestAAA_CL::OnPictureLoaded(std::unique_ptr<PictureLoader_CL::Result> result)
{
    if (result->key != pictureKey || shownKind != kStillImage) return;
    std::unique_ptr<Gdiplus::Image> image = std::move(result->image);
    if (result->isTooLarge) image = FrameInfo_CL::LoadPicture(settings.programFolder + L"\\decode_err_image.jpg");
    if (image) TheLog().Write(L"画像表示(%dx%d)", image->GetWidth(), image->GetHeight());
    frames.SetImage(std::move(image));
    ::InvalidateRect(hwnd, nullptr, FALSE);
}

void TestAAA_CL::OnDecodeResult(std::unique_ptr<MovieDecodoRequestItem_CL> result)
{
    TheLog().Write(L"デコード完了(%d)", result->requestKey);
    // Frames of a superseded request, or arriving after a picture was selected, are dropped.
    if (result->requestKey != requestKey || shownKind != kMovie) return;
    if (result->frameNumber == 1) {
        frames.ClearFrames();
        TheLog().Write(L"CreateFrameBitmap");
        frames.CreateFrameBitmap();
    }
    LearnMovieTraits(*result);
    frames.SetFrame(result->frameNumber - 1, std::move(result->image));
    TheLog().Write(L"再描画");
    ::InvalidateRect(hwnd, nullptr, FALSE);
}

void TestAAA_CL::StopDecoding()
{
    pictureLoader.Stop(kCancelWaitMs);
    if (!decodeThread.IsThreadRunning()) return;
    CancelDecoding(kCancelWaitMs);
    decodeThread.Stop();
    ReleasePostedResults();
}

void TestAAA_CL::ReleasePostedResults()
{
    // Results posted before the decode thread stopped would never be drawn: free them now.
    MSG message;
    for (UINT kind : {MSG_DECODE_RESULT, MSG_PICTURE_LOADED}) {
        while (hwnd && ::PeekMessageW(&message, hwnd, kind, kind, PM_REMOVE)) {
            if (message.message == WM_QUIT) {  // Wine hands it out whatever the filter: put it back
                ::PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (kind == MSG_DECODE_RESULT) delete reinterpret_cast<MovieDecodoRequestItem_CL*>(message.lParam);
            else delete reinterpret_cast<PictureLoader_CL::Result*>(message.lParam);
        }
    }
}

bool TestAAA_CL::AnyRowChecked() const
{
    for (int row = 0; row < resultList->GetItemCount(); ++row)
        if (resultList->GetCheckState(row) == 1) return true;
    return false;
}

void TestAAA_CL::UpdateDeleteButton()
{
    deleteButton->Enable(AnyRowChecked());
}

std::vector<UINT> TestAAA_CL::DisabledCommands() const
{
    std::vector<UINT> disabled;
    const int row = settings.selectedItemIndex;
    if (row < 1) disabled.push_back(ID_ALL_COMPARE);
    if (row == -1) disabled.insert(disabled.end(), {ID_OPEN_FOLDER, ID_PLAY});
    if (!AnyRowChecked()) disabled.push_back(ID_DELETE_CHECKED);
    if (shownKind != kMovie && row != -1) disabled.push_back(ID_PLAY);
    return disabled;
}

void TestAAA_CL::ShowContextMenu(const POINT* at)
{
    settings.selectedItemIndex = resultList->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED);
    const DuplicateGroup group = CurrentGroup();
    if (settings.selectedItemIndex >= 0 && settings.selectedItemIndex < static_cast<int>(group.size()))
        contextPath = group[settings.selectedItemIndex]->path;
    PopupMenu_CL::ShowCommands(hwnd, settings.programFolder + L"\\menu_image.bmp",
                               {{ID_ALL_COMPARE, kCompareText, 8}, {}, {ID_OPEN_FOLDER, kOpenFolderText, 1}, {},
                                {ID_PLAY, kPlayText, 6}, {}, {ID_DELETE_CHECKED, kDeleteText, 7}},
                               DisabledCommands(), at);
}

void TestAAA_CL::OnListKey(WORD key)
{
    // Space ticks the focused row by the list's own doing (an item change, kept as any tick).
    if (key == VK_DELETE) {
        ::SendMessageW(hwnd, WM_COMMAND, ID_DELETE_CHECKED, 0);
    } else if (key == VK_APPS) {
        const POINT at = resultList->MenuPointForFocusedItem();
        ShowContextMenu(&at);
    } else if (key == VK_RETURN) {
        // Plays the focused file, as the menu's play item does for the row under the click.
        const int row = resultList->GetNextItem(-1, LVNI_FOCUSED);
        const DuplicateGroup group = CurrentGroup();
        if (row < 0 || row >= static_cast<int>(group.size()) || KindOf(group[row]->path) != kMovie) return;
        settings.selectedItemIndex = row;
        contextPath = group[row]->path;
        Play();
    }
}

void TestAAA_CL::OnCommand(UINT command)
{
    switch (command) {
    case ID_ALL_COMPARE:
        CompareWholeFile();
        break;
    case ID_OPEN_FOLDER:
        OpenFolder();
        break;
    case ID_PLAY:
        Play();
        break;
    case ID_DELETE_CHECKED:
        DeleteChecked();
        break;
    }
    mainWindow.OnPaneActionEnded();
}

bool TestAAA_CL::StopMovie()
{
    // The decoder is the decode thread's until the cancel is carried out: released only then.
    // Files are about to be compared or deleted, so the window waits longer than for a
    // preview; a graph stuck for good keeps its file, and the deletion then says so.
    if (!CancelDecoding(kReleaseWaitMs)) return false;
    decoder.Finalize();
    return true;
}

void TestAAA_CL::StopMovieBefore(FileDelete_CL& deletion)
{
    const bool isReleased = StopMovie();
    // A graph given up on by a cancel may still be opening a movie of the group: most end
    // soon after, and let their file go.
    DShowMovieHelper_CL::WaitForGraphThreads(kReleaseWaitMs);
    deletion.SetHeldOpenTest([isReleased, held = requestedMovie](const std::wstring& path) {
        return (!isReleased && path == held) || DShowMovieHelper_CL::IsHeldByGraphThread(path);
    });
}

void TestAAA_CL::ShowRow(int row, const CompareFileEntry& entry)
{
    // On the comparison's thread: the entry is a snapshot of the row's file.
    if (row < 0 || row >= resultList->GetItemCount()) return;
    FillRow(row, entry, false);
}

void TestAAA_CL::CompareWholeFile()
{
    const int row = settings.selectedItemIndex;
    const DuplicateGroup group = CurrentGroup();
    if (row < 1 || row >= static_cast<int>(group.size())) return;
    TheLog().Write(L"Finalize()");
    StopMovie();
    int result = -1;
    {
        AllCompare_CL compare({{group[0]->path, group[row], contextPath, row}}, *this);
        runningCompare = &compare;
        compare.Start(0, 0);
        compare.DoModal(hwnd);
        compare.Wait();
        runningCompare = nullptr;
        result = compare.GetResult();
    }
    if (mainWindow.IsClosing()) return;  // the window goes: no box over it
    ::MessageBeep(MB_ICONASTERISK);
    ::MessageBoxW(hwnd, AllCompare_CL::ResultText(result), L"比較結果", MB_OK);
}

void TestAAA_CL::OpenFolder()
{
    if (settings.selectedItemIndex < 0) return;
    const std::wstring explorer = GetWindowsFolder() + L"\\EXPLORER.EXE";
    const std::wstring parameters = L"/select," + ShellPathForm(contextPath);
    TheShellExecute()(hwnd, L"open", explorer.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void TestAAA_CL::Play()
{
    if (settings.selectedItemIndex < 0) return;
    if (settings.playerPath.empty()) {
        ::MessageBoxW(hwnd, L"再生するには「Brisklet」が必要です。", L"お知らせ", MB_OK);
        return;
    }
    const std::wstring parameters = L"\"" + ShellPathForm(contextPath) + L"\"";
    TheShellExecute()(hwnd, nullptr, settings.playerPath.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

bool TestAAA_CL::ConfirmDeletingWholeGroup(const DuplicateGroup& group)
{
    const std::wstring text = L"「" + GetFileNamePart(group.front()->path) +
                              L"」のグループは、すべてのファイルにチェックがついています。\r\n"
                              L"削除すると、このファイルは1つも残りません。すべて削除しますか？";
    return ::MessageBoxW(hwnd, text.c_str(), L"削除の確認", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool TestAAA_CL::ConfirmDeletingSimilar(size_t count, bool forGood)
{
    const std::wstring text = L"このグループのファイルは同一ではなく、内容の似ている別のファイルです。\r\n\r\n"
                              L"チェックした " + std::to_wstring(count) + L" 個のファイルを" +
                              (forGood ? L"完全に削除しますか？" : L"ごみ箱に移しますか？");
    return ::MessageBoxW(hwnd, text.c_str(), L"削除の確認", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool TestAAA_CL::IsShiftHeld()
{
    return ((::GetKeyState(VK_SHIFT) | ::GetAsyncKeyState(VK_SHIFT)) & 0x8000) != 0;
}

void TestAAA_CL::DeleteInGroups(FirstFileCompare_CL& scanner, const std::vector<FileDelete_CL::GroupTicks>& ticks,
                                bool forGood,
                                const std::function<std::wstring(const std::vector<FileDelete_CL::GroupOutcome>&)>& afterDelete)
{
    frames.SetImage(nullptr);
    FileDelete_CL deletion(hwnd, scanner, settings, *this, groupIndex);
    StopMovieBefore(deletion);
    deletion.SkipShellConfirmation();  // the user has just confirmed this delete
    runningDelete = &deletion;
    const std::vector<FileDelete_CL::GroupOutcome> outcomes = deletion.Run(ticks, forGood);
    runningDelete = nullptr;
    shownRow = -1;
    frames.CreateFrameBitmap();
    const std::wstring lead = afterDelete(outcomes);
    ::InvalidateRect(hwnd, nullptr, FALSE);
    deletion.ShowResult(lead);
    mainWindow.OnPaneActionEnded();
}

void TestAAA_CL::DeleteChecked()
{
    const bool forGood = IsShiftHeld();  // as it is at the moment of the command
    const DuplicateGroup group = CurrentGroup();
    FileDelete_CL::GroupTicks ticks;
    ticks.groupIndex = groupIndex;
    std::vector<int> keptRows;
    for (int row = resultList->GetItemCount() - 1; row >= 0; --row) {
        if (row < static_cast<int>(group.size())) (resultList->GetCheckState(row) == 1 ? ticks.tickedRows : keptRows).push_back(row);
    }
    if (ticks.tickedRows.empty()) return;
    if (keptRows.empty() && !ConfirmDeletingWholeGroup(group)) return;
    // Files that differ are never taken for copies: the user is told so and asked, and the
    // shell does not ask once more.
    const bool asksHere = group.isSimilar && settings.confirmDelete;
    if (asksHere && !ConfirmDeletingSimilar(ticks.tickedRows.size(), forGood)) return;
    ticks.keptRow = keptRows.empty() ? -1 : keptRows.back();  // the first row that stays
    frames.SetImage(nullptr);
    FileDelete_CL deletion(hwnd, *groupSource, settings, *this, groupIndex);
    StopMovieBefore(deletion);
    if (asksHere) deletion.SkipShellConfirmation();
    runningDelete = &deletion;
    const std::vector<FileDelete_CL::GroupOutcome> outcomes = deletion.Run({ticks}, forGood);
    runningDelete = nullptr;
    for (int row : outcomes.front().goneRows) resultList->DeleteItem(row);
    // The preview was let go: any row selected next is shown again.
    shownRow = -1;
    if (CurrentGroup().empty()) ShowGroup(nullptr, -1);
    mainWindow.UpdateGroups(outcomes);
    ShowMovieTraits();  // a similar group whose first file went is scored anew
    UpdateDeleteButton();
    frames.CreateFrameBitmap();
    ::InvalidateRect(hwnd, nullptr, FALSE);
    deletion.ShowResult();
}

void TestAAA_CL::StopBusyWork()
{
    if (runningDelete) runningDelete->Stop();
    if (runningCompare) runningCompare->Cancel();
}

void TestAAA_CL::Layout(int width, int height)
{
    ::MoveWindow(resultList->GetHwnd(), 0, height - kListHeight, width, kListHeight, TRUE);
    deleteButton->Move(width - deleteButton->GetWidth(), height - kListHeight + 2, TRUE);
    frames.CreateBackBuffer(width, height - kListHeight);
    ::InvalidateRect(hwnd, nullptr, FALSE);
}

void TestAAA_CL::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    RECT client;
    ::GetClientRect(hwnd, &client);
    const int width = client.right, height = client.bottom - kListHeight;
    Gdiplus::Bitmap* back = frames.GetBackBuffer();
    if (width > 0 && height > 0 && back) {
        {
            Gdiplus::Graphics canvas(back);
            canvas.Clear(Gdiplus::Color(255, 0, 0, 0));
            if (Gdiplus::Image* image = frames.GetDisplayImage()) {
                RECT place = FitCentred(width, height, static_cast<int>(image->GetWidth()), static_cast<int>(image->GetHeight()));
                canvas.DrawImage(image, static_cast<INT>(place.left), static_cast<INT>(place.top),
                                 static_cast<INT>(place.right - place.left), static_cast<INT>(place.bottom - place.top));
            }
        }
        Gdiplus::Graphics screen(dc);
        screen.DrawImage(back, 0, 0, width, height);
    }
    ::EndPaint(hwnd, &paint);
}

void TestAAA_CL::OnMouse(UINT message)
{
    POINT cursor;
    ::GetCursorPos(&cursor);
    HWND main = mainWindow.GetHwnd();
    if (message == WM_RBUTTONUP) {
        ::SendMessageW(main, WM_COMMAND, MAKEWPARAM(ID_APP_MENU, 0), 0);
    } else if (message == WM_LBUTTONDOWN && !isDragging) {
        // Measured from the main window's corner, so the window does not jump as it follows.
        RECT frame;
        ::GetWindowRect(main, &frame);
        dragOffset = POINT{cursor.x - frame.left, cursor.y - frame.top};
        isDragging = true;
        ::SetCapture(hwnd);
    } else if (message == WM_MOUSEMOVE && isDragging) {
        if (!settings.isMaximised)
            ::SetWindowPos(main, nullptr, cursor.x - dragOffset.x, cursor.y - dragOffset.y, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (message == WM_LBUTTONUP && isDragging) {
        isDragging = false;
        ::ReleaseCapture();
    } else if (message == WM_CAPTURECHANGED) {
        isDragging = false;
    }
}

LRESULT TestAAA_CL::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint();
        SetHandled(1);
        return 0;
    case WM_ERASEBKGND:
        SetHandled(1);
        return 1;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        break;
    case MSG_DECODE_RESULT:
        OnDecodeResult(std::unique_ptr<MovieDecodoRequestItem_CL>(reinterpret_cast<MovieDecodoRequestItem_CL*>(lParam)));
        SetHandled(1);
        return 0;
    case MSG_PICTURE_LOADED:
        OnPictureLoaded(std::unique_ptr<PictureLoader_CL::Result>(reinterpret_cast<PictureLoader_CL::Result*>(lParam)));
        SetHandled(1);
        return 0;
    case MSG_DECODE_CANCELED:
        SetHandled(1);
        return 0;
    case WM_TIMER:
        if (wParam != kDeferredRequestTimer) break;
        SendDeferredRequest();
        SetHandled(1);
        return 0;
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.hwndFrom == resultList->GetHwnd() && header.code == LVN_ITEMCHANGED) {
            OnRowChanged(reinterpret_cast<const NMLISTVIEW&>(header));
            const int row = resultList->GetNextItem(-1, LVNI_SELECTED | LVNI_FOCUSED);
            if (row >= 0) ShowFile(row);
            UpdateDeleteButton();
        } else if (header.hwndFrom == resultList->GetHwnd() && header.code == NM_RCLICK) {
            ShowContextMenu();
        } else if (header.hwndFrom == resultList->GetHwnd() && header.code == LVN_KEYDOWN) {
            OnListKey(reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey);
        }
        break;
    }
    case WM_CONTEXTMENU:
        // From the keyboard (Shift+F10); a click comes as the list's NM_RCLICK.
        if (reinterpret_cast<HWND>(wParam) == resultList->GetHwnd() && lParam == -1) {
            const POINT at = resultList->MenuPointForFocusedItem();
            ShowContextMenu(&at);
            SetHandled(1);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (deleteButton && reinterpret_cast<HWND>(lParam) == deleteButton->GetHwnd()) {
            if (HIWORD(wParam) == BN_CLICKED) ::SendMessageW(hwnd, WM_COMMAND, ID_DELETE_CHECKED, 0);
        } else if (lParam == 0) {
            OnCommand(LOWORD(wParam));
        }
        SetHandled(1);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_CAPTURECHANGED:
        OnMouse(message);
        break;
    case WM_DESTROY:
        StopDecoding();
        break;
    }
    if (PopupMenu_CL::DrawMenuItem(window, message, wParam, lParam)) {
        SetHandled(1);
        return TRUE;
    }
    return 0;
}
