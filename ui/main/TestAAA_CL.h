#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/FrameInfo_CL.h"
#include "decode/PictureLoader_CL.h"
#include "engine/DuplicateGroup.h"
#include "ui/main/AllCompare_CL.h"
#include "ui/main/FileDelete_CL.h"
#include "ui/toolkit/ControlFactory_CL.h"
#include "ui/toolkit/ListHoverTip_CL.h"
#include "ui/toolkit/StaticText_CL.h"

class ApplicationData_CL;
class Button_CL;
class FileDelete_CL;
class FirstFileCompare_CL;
class ListView_CL;
class MainWindow_CL;
class MovieDecodoRequestItem_CL;

// The result pane, the upper half of the main window: the files of the selected duplicate
// group in a list along its bottom, and above them a preview of the selected file: a grid
// of frames decoded from a movie, the picture of a still image, or the application image.
// It owns the decoder, its decode thread and the preview images.
//
// The actions on the group's files run from its context menu and its "削除" button: the
// whole-file comparison with the group's first file, the file's folder in the shell, the
// player, and the deletion of the checked files.
class TestAAA_CL : public StaticText_CL, public AllCompare_CL::RowView {
public:

    static constexpr int kFirstControlId = 0x1100;
    static constexpr int kListHeight = 100;
    // How long the window waits for the decode thread to take a cancel before it moves on.
    static constexpr DWORD kCancelWaitMs = 300;
    static constexpr DWORD kReleaseWaitMs = 5000;  // the same before files are compared or deleted
    static constexpr UINT_PTR kDeferredRequestTimer = 1;
    static constexpr UINT kDeferredRequestPollMs = 50;
    enum FileKind { kNeither = -1, kStillImage = 1, kMovie = 2 };

    TestAAA_CL(MainWindow_CL& mainWindow, ApplicationData_CL& settings);
    ~TestAAA_CL() override;

    HWND Create(HWND parent, int controlId);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // The group `groupIndex` of the scanner's groups; a null source (or -1) shows none.
    void ShowGroup(FirstFileCompare_CL* source, int groupIndex);
    void ShowFile(int row);
    void UpdateList();
    // The group on show gained files at its end (a similar group growing as the movies are
    // looked at): their rows join, and the file previewed stays.
    void ShowGrownGroup();
    int GetShownGroup() const { return groupIndex; }
    // The ticks of the shown group's files changed elsewhere (a selection rule): show them.
    void ShowTicks();
    // The movies' frame sizes and lengths became known (or a similar score changed): show them.
    void ShowMovieTraits();
    // Deletes the ticked files of many groups at once, behind one progress dialog and with
    // one result message. `afterDelete` takes the outcome into the lists before the message
    // and gives the text that opens it.
    void DeleteInGroups(FirstFileCompare_CL& scanner, const std::vector<FileDelete_CL::GroupTicks>& ticks, bool forGood,
                        const std::function<std::wstring(const std::vector<FileDelete_CL::GroupOutcome>&)>& afterDelete);
    // SHIFT held now: a delete goes past the recycle bin.
    static bool IsShiftHeld();
    // The main window closes: no decoding may outlive it.
    void StopDecoding();

    // The context menu's commands that are greyed now.
    std::vector<UINT> DisabledCommands() const;
    void ShowRow(int row, const CompareFileEntry& entry) override;

    int GetShownRow() const { return shownRow; }
    int GetShownKind() const { return shownKind; }
    int GetRequestKey() const { return requestKey; }
    const FrameInfo_CL& GetFrames() const { return frames; }

    // Where a picture of w x h goes in an area of W x H: shrunk to fit (never enlarged),
    // keeping its proportions, centred.
    static RECT FitCentred(int areaWidth, int areaHeight, int imageWidth, int imageHeight);
    // What the user weighs to keep the best copy of a movie: "1920x1080", "1:32:05",
    // "2,400 kbps"; empty while not known.
    static void MovieTraitsForRow(const CompareFileEntry& entry, std::wstring& frameSize, std::wstring& length,
                                  std::wstring& bitRate);
    // The four columns of a file's row: 比較量, ファイル名, 拡張子, フォルダ.
    static std::wstring ComparedShareText(const CompareFileEntry& entry, bool isGroupBase);
    static void SplitPathForRow(const std::wstring& path, std::wstring& name, std::wstring& extension,
                                std::wstring& folder);
    // A comparison or a deletion is under way: it must not go on behind a closed window.
    bool IsBusy() const { return runningDelete || runningCompare; }
    // The window closes: cancel what has not started.
    void StopBusyWork();

private:
    DuplicateGroup CurrentGroup() const;
    int KindOf(const std::wstring& path) const;
    // Cancels every request of the decoder (and a request not yet sent) and waits up to
    // `waitMs` for the decode thread to take the cancel (it wakes from any frame wait at
    // once). False when it has not: the thread is still busy with the last movie.
    bool CancelDecoding(DWORD waitMs);
    void RequestMovie(const std::wstring& path);
    // False when the decode thread refused it (a cancel still pending).
    bool SendMovieRequest(const std::wstring& path);
    // The request of the shown movie, once no cancel is pending any more.
    void SendDeferredRequest();
    void OnDecodeResult(std::unique_ptr<MovieDecodoRequestItem_CL> result);
    void RequestPicture(const std::wstring& path);
    // The picture of the newest request, or the error image when it was too large to decode.
    void OnPictureLoaded(std::unique_ptr<PictureLoader_CL::Result> result);
    void UpdateDeleteButton();
    void Layout(int width, int height);
    void Paint();
    void OnMouse(UINT message);
    void ReleasePostedResults();
    void ShowContextMenu(const POINT* at = nullptr);
    void OnListKey(WORD key);
    // A tick set or taken off by hand is kept with its file.
    void OnRowChanged(const NMLISTVIEW& change);
    void OnCommand(UINT command);
    // No decoder may hold a movie open (or read the disk) while files are compared or deleted.
    // False when the decode thread did not let go of its movie in time.
    bool StopMovie();
    // StopMovie before a delete, which is told what may still be held open.
    void StopMovieBefore(FileDelete_CL& deletion);
    void CompareWholeFile();
    void OpenFolder();
    void Play();
    void DeleteChecked();
    // Whether the user wants every file of the group gone (no copy would stay).
    bool ConfirmDeletingWholeGroup(const DuplicateGroup& group);
    bool AnyRowChecked() const;
    // The columns of one row from its file (of the group shown).
    void FillRow(int row, const CompareFileEntry& entry, bool isNewRow);
    // A movie's frame size and length, learnt from its preview when no fingerprint gave them.
    void LearnMovieTraits(const MovieDecodoRequestItem_CL& frame);
    // Asks before deleting ticked files of a similar group: they are not copies.
    bool ConfirmDeletingSimilar(size_t count, bool forGood);

    ControlFactory_CL factory{kFirstControlId};
    ListView_CL* resultList = nullptr;
    Button_CL* deleteButton = nullptr;
    ListHoverTip_CL listTip;
    MainWindow_CL& mainWindow;
    ApplicationData_CL& settings;
    int shownKind = kNeither;
    std::wstring shownPath;
    std::wstring requestedMovie;  // the movie last handed to the decode thread
    FrameInfo_CL frames;
    DShowMovieFrameDecode_CL decoder;
    DShowMovieFrameDecodeThread_CL decodeThread;
    int requestKey = 0;
    std::wstring deferredMovie;  // shown, but its request waits for the cancel to be taken
    PictureLoader_CL pictureLoader;
    int pictureKey = 0;  // of the newest picture request
    int shownRow = -2;
    bool isDragging = false;
    POINT dragOffset = {0, 0};
    std::wstring contextPath;
    FirstFileCompare_CL* groupSource = nullptr;
    int groupIndex = -1;
    FileDelete_CL* runningDelete = nullptr;
    AllCompare_CL* runningCompare = nullptr;
    bool isFillingList = false;
    bool isSimilarShown = false;  // the group listed is a similar group
};
