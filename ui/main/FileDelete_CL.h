#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/ExactFile_CL.h"
#include "ui/main/AllCompare_CL.h"

class ApplicationData_CL;
class FirstFileCompare_CL;

// The deletion of ticked files of one or more duplicate groups, with one progress dialog
// and one result message for all of them. It deletes exactly the files the user ticked and
// never the last copy of some content:
// - every file is judged by its identity (volume, file index, size, write time, change
//   time) as the search saw it; a ticked file replaced or changed since, or whose file that
//   stays is missing or changed, is compared again or kept;
// - "compared to the end" counts only where both the ticked file and the file that stays
//   were compared to the end with the group's first file (or one of them is that file);
// - after the user's answer to our own question, both files are looked at once more; a
//   delete for good by handle checks the ticked file on the very handle that deletes it;
// - the shell gets a path only when that path reached the very file just before the call
//   (the shell's own confirmation still lies between); where no path does (a name ending
//   in a dot or a space, an 8.3 form that names another file) a delete for good goes
//   through a handle, and the recycle bin is not used: the file is kept and named;
// - what is gone is judged by identity, not by whether the name still finds some file, and
//   a file gone is taken out of every group that held it.
// In a similar group the files differ by design: nothing is compared, but the ticked file
// must still be the one the search saw and the file that stays must still be there, by its
// identity, at the moment of deletion.
class FileDelete_CL {
public:
    // One group's part: its ticked rows, and the row whose file stays (-1 when the user
    // confirmed that none does).
    struct GroupTicks {
        int groupIndex = -1;
        std::vector<int> tickedRows;
        int keptRow = -1;
    };
    // The rows (of the groups as they were) whose files are gone now, last row first. Their
    // entries are already taken out of the scanner's groups; groups left empty stay. The
    // groups ticked come first, in their order; after them any other group that held a file
    // now gone.
    struct GroupOutcome {
        int groupIndex = -1;
        std::vector<int> goneRows;
    };

    // `view` shows the rows of the group `viewedGroup` while they are compared.
    FileDelete_CL(HWND owner, FirstFileCompare_CL& scanner, const ApplicationData_CL& settings, AllCompare_CL::RowView& view,
                  int viewedGroup);

    std::vector<GroupOutcome> Run(const std::vector<GroupTicks>& ticks, bool forGood);
    // The one "削除結果" message (none when everything ticked is gone and there is no
    // `lead`, a text put before what stayed), and the beep.
    void ShowResult(const std::wstring& lead = std::wstring()) const;
    // Files something of ours may still hold open (a preview's graph given up on): a file
    // that stays among them cannot be checked, since under Wine a file deleted meanwhile by
    // another program is only marked and still opens until the last handle goes.
    void SetHeldOpenTest(std::function<bool(const std::wstring&)> isHeldOpen) { heldOpen = std::move(isHeldOpen); }
    // The caller has asked the user already: the shell does not ask again.
    void SkipShellConfirmation() { isShellAsking = false; }
    // The window closes: what has not started will not (a comparison under way is cancelled).
    void Stop();

    // The paths as the shell's source list, each ended by a NUL, the list by one more.
    static std::wstring DoubleNulList(const std::vector<std::wstring>& paths);
    // Of the checked paths, those that may be deleted: one path per file, and none that
    // names the same file as a path that stays (another spelling of it would take the kept
    // copy with it; another hard link to it would free nothing).
    static std::vector<std::wstring> PathsSafeToDelete(const std::vector<std::wstring>& checked,
                                                       const std::vector<std::wstring>& kept);

private:
    enum Reason { kNone, kGone, kDiffers, kChanged, kReplaced, kKeptMissing, kCannotCheck, kSameFileAsKept,
                  kNoExactName, kDeclined, kNotDeleted, kReasonCount };
    struct Target {
        int groupIndex = -1;
        int row = -1;
        CompareFileEntry* entry = nullptr;
        ExactFile_CL::State seen;
        CompareFileEntry* kept = nullptr;
        ExactFile_CL::State keptSeen;
        bool isKeptGroupBase = false;
        bool isSimilar = false;  // of a similar group: never compared, the kept file judged by identity
        bool needsComparing = false;
        bool viaShell = false;
        std::wstring shellPath;
        int sameFileAs = -1;  // another ticked name of this file, whose delete takes it too
        Reason reason = kNone;
    };

    void LookAtGroup(const GroupTicks& ticks, const DuplicateGroup& members);
    // What keeps a file ticked in several groups, by any group's look; kNone if every look lets it go.
    Reason StrictestLook(const Target& target) const;
    // The last check of both files, for every group the file is ticked in.
    Reason ReasonNowEverywhere(const Target& target) const;
    // False when the comparisons were cancelled.
    bool CompareWhereNeeded();
    void Delete(bool forGood);
    // Why the ticked file may not go now, looked at once more against the states seen at the
    // first look (kNone: both files stand as they were; in a similar group, the kept file
    // may have been written meanwhile, as long as it is the same file).
    static Reason ReasonNow(const Target& target);
    // Why a ticked file of a similar group may not go, from how it and the kept file stand
    // against the search (kNone: it may).
    static Reason SimilarReason(ExactFile_CL::Standing ticked, ExactFile_CL::Standing kept, bool hasKept);
    // Takes the files gone out of the groups not ticked that held them too, with an outcome
    // for each such group.
    void TakeOutOfOtherGroups(const std::vector<GroupTicks>& ticks, std::vector<GroupOutcome>& outcomes);
    void DeclineAllLeft();
    bool AskDeleteForGood(const std::vector<Target*>& forGood) const;
    // Why a ticked file stayed, as the result message says it (before the files' names).
    static const wchar_t* ReasonText(Reason reason);
    std::vector<GroupOutcome> TakeOutGone(const std::vector<GroupTicks>& ticks);
    // The group's first file went: what is "compared" now counts against the new first file.
    static void CountFromNewBase(DuplicateGroup& group);

    HWND owner;
    FirstFileCompare_CL& scanner;
    const ApplicationData_CL& settings;
    AllCompare_CL::RowView& view;
    int viewedGroup;
    std::vector<Target> targets;
    AllCompare_CL* comparison = nullptr;  // while the comparisons run
    bool isStopped = false;
    bool wasCanceled = false;
    bool isShellAsking = true;
    std::function<bool(const std::wstring&)> heldOpen;
};
