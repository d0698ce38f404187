#pragma once
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/ApplicationData_CL.h"
#include "engine/FindCompareFile_CL.h"
#include "engine/SearchListener_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/MainWindowBase_CL.h"
#include "ui/toolkit/SplitFrame_CL.h"
#include "ui/toolkit/ListHoverTip_CL.h"
#include "ui/main/BackgroundSimilarSearch_CL.h"
#include "ui/main/FileDelete_CL.h"
#include "ui/main/GroupTable_CL.h"

class ApplicationData_CL;
class Button_CL;
class ListView_CL;
class ProgressBar_CL;
class StaticText_CL;
class Tab_CL;
class TestAAA_CL;

// The program's top-level window: the preview pane above a splitter, below it a tab
// control showing the folder list (or the listed files) and the group list, and a bottom
// row with the progress bar and the start/cancel button. It starts and cancels the search
// job and shows what it finds.
//
// The search job works on a copy of the folders (or files) taken when it starts, so the
// user may edit the folder list during a search. Reads and changes of the job's groups go
// through FirstFileCompare_CL::GroupsLock().
//
// With "似ている動画も探す" on, the search goes on after the exact groups with the similar
// movies (BackgroundSimilarSearch_CL): the button still cancels, the bar counts the movies,
// and the similar groups join the list after the exact ones, marked "類似". The window
// stays free meanwhile; only the group list's menu waits for the end, as it does for the
// exact search.
class MainWindow_CL : public MainWindowBase_CL, public SearchListener_CL {
public:
    static constexpr int kFirstControlId = 0x1100;
    static constexpr int kInitialLowerPaneHeight = 200;

    explicit MainWindow_CL(ApplicationData_CL& settings);
    ~MainWindow_CL() override;

    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCreate(CREATESTRUCTW* createStruct) override;
    int OnClose() override;
    virtual void OnLayout();

    // Asks the update server without holding up the window; a newer version than
    // `currentVersion` is offered when the answer comes.
    void CheckForUpdate(const std::wstring& title, const std::wstring& currentVersion);

    // Started with a list file: compare the files it names instead of the folders.
    void SetStartPath(const std::wstring& path);

    // SearchListener_CL, called on the search worker thread.
    void SetSearchProgress(int value) override;
    void AddGroup(const DuplicateGroup& group) override;
    void OnSearchFinished() override;
    const std::vector<std::wstring>* GetFileList() const override;

    // After a deletion in the result pane: refresh the group's count, drop it when empty.
    // A deleted file is taken out of every group that held it (a movie may stand in an exact
    // group and a similar one): those groups go when fewer than two files are left.
    void UpdateGroups(const std::vector<FileDelete_CL::GroupOutcome>& outcomes);
    // The user ticked or unticked files of the group in the result pane.
    void OnTicksChanged(int index);
    void ShowTab(int index);
    // The pane's comparison or deletion is over: a close asked for meanwhile happens now.
    void OnPaneActionEnded();
    bool IsClosing() const { return closeAfterPaneAction; }

private:
    void CreateLists();
    void ReadListFile();
    void FillFolderList();
    void StartOrCancel();
    void SetBusy();
    void SetIdle();
    void OnCompareFinished();
    // The search's end as the user learns it: the message, the idle button.
    void EndSearch();
    // False when there is nothing to look at (fewer than two movies).
    bool StartSimilarPhase();
    void OnSimilarNews();
    // The owner of a notice the user did not ask for: the dialog of the window open now, if any.
    HWND NoticeOwner() const;
    void AddSimilarGroup(const SimilarGroup& found);
    // A similar group whose first file went is scored against the new first file; members no
    // longer like it leave unless `keepMembers` (the group on show keeps its rows).
    void RescoreSimilarGroup(DuplicateGroup& group, bool keepMembers = false);
    void AddFolder(const std::wstring& path);
    void OnFolderCheckChanged(const NMLISTVIEW& change);
    bool FolderListShows(const std::vector<CheckFolderEntry>& folders) const;
    void OnDropFiles(HDROP drop);
    void OnUpdateAnswer(LPARAM answer);
    void OnSettingsUnsaved(LPARAM reason);
    void OnCommand(UINT command);
    LRESULT OnNotify(const NMHDR& header);
    void ShowFolderMenu();
    void ShowSettingsSheet();
    void ShowAppMenu();
    void OnGroupFound();
    void OnGroupListKey(WORD key);
    void ShowGroupMenu(const POINT* at);
    std::vector<UINT> DisabledGroupCommands();
    void ApplySelectionRule(UINT command);
    void UntickAll();
    // Deletes the ticked files of every group after one confirmation; a group whose every
    // file is ticked is left whole (the pane's "削除" asks for those).
    void DeleteTickedEverywhere();
    // Takes a finished delete into the list: counts refreshed, groups with no copy left
    // gone. Gives the opening of the result message.
    std::wstring TakeInDeletion(const std::vector<FileDelete_CL::GroupOutcome>& outcomes,
                                const std::map<int, DuplicateGroup>& before, bool forGood);
    void SaveResult();
    // The count of groups, files and the space the copies take, below the lists.
    void UpdateSummary();
    void LayoutBottomRow(int width, int height);

    ApplicationData_CL& settings;
    ControlFactory_CL factory{kFirstControlId};
    ListView_CL* folderList = nullptr;
    ListView_CL* fileListView = nullptr;
    ListView_CL* groupList = nullptr;
    ProgressBar_CL* progressBar = nullptr;
    Button_CL* startButton = nullptr;
    Tab_CL* tab = nullptr;
    TestAAA_CL* resultPane = nullptr;
    StaticText_CL* summary = nullptr;
    std::unique_ptr<GroupTable_CL> groupTable;
    SplitFrame_CL splitFrame{Split_CL::kHorizontal};
    int lowerPaneHeight = kInitialLowerPaneHeight;
    FindCompareFile_CL searchJob;
    // After the search job: it reads the job's entries, so it must end first.
    BackgroundSimilarSearch_CL similarSearch;
    bool findsSimilar = false;     // the option as it was when the search started
    int similarThreshold = 0;
    std::unordered_map<const CompareFileEntry*, MovieFingerprint> fingerprints;  // of this search's movies
    std::unordered_set<const CompareFileEntry*> outOfSimilarGroups;  // taken out of theirs by a rescore
    ListHoverTip_CL groupListTip;
    ListHoverTip_CL folderListTip;
    bool isFileListMode = false;
    std::wstring listFilePath;
    std::vector<std::wstring> fileList;
    bool isFillingFolders = false;
    bool closeAfterSearch = false;
    bool closeAfterPaneAction = false;
    std::wstring updateTitle;
    std::wstring currentVersion;
};
